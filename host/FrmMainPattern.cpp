// Picture management page handlers (placeholder bodies until the page lands).
#include "host/FrmMain.h"

namespace korvex {

void TFormMain::PictListClick() {}
void TFormMain::BtnNewClick() {}
void TFormMain::BtnReplaceClick() {}
void TFormMain::BtnRenameClick() {}
void TFormMain::BtnDeleteClick() {}

} // namespace korvex
