// Program editor page handlers (placeholder bodies until the page lands).
#include "host/FrmMain.h"

namespace korvex {

void TFormMain::RebuildProgList(int) {}
void TFormMain::nPictListDblClick() {}
void TFormMain::nProgListClick() {}
void TFormMain::SelAnimationChange(QObject *) {}
void TFormMain::BtnDelProgClick() {}

} // namespace korvex
