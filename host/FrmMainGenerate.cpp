// The picture list's 生成图形...: a picture made by the pattern dialog,
// added as New adds a captured one.
#include <QPushButton>
#include <algorithm>

#include "host/FrmMain.h"
#include "host/FrmPattern.h"
#include "model/pattern.h"

namespace korvex {

void TFormMain::MnuPatternClick()
{
    if (doc.PicturesFull()) {
        BtnNew->setEnabled(false);  // as New does
        return;
    }
    // The pattern fills the controller's pixels when one was checked (a
    // count of 0, as a record without a signature has, is no count).
    const PatternRange range = RangeOf(PatternParam::Pixels);
    const int count = connected ? GetWord(hostCopy, cfg::kPixelCount) : 0;
    const int pixels = count > 0 ? std::clamp(count, range.lo, range.hi) : range.hi;
    TFormPattern dialog(this, pixels);
    const int result = runPattern ? runPattern(this, dialog) : dialog.exec();
    if (result != 1)
        return;
    AppendPicture(dialog.colours, dialog.name);
}

}  // namespace korvex
