// The pattern dialog: a picture from a few parameters (kind, colours,
// pixels, runs, width, tail length, reverse, dither) instead of an image,
// with a live preview of the whole row. Every change runs MakePattern once;
// the preview shows that result and OK hands the same colours back.
#pragma once

#include <QColor>
#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "model/library.h"
#include "model/pattern.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;

namespace korvex {

class TFormPattern : public QDialog {
    Q_OBJECT
public:
    // `pixels` is what the pixels field starts with (the controller's
    // pixel count when one was checked); it is kept within its range.
    TFormPattern(QWidget *owner, int pixels);
    ~TFormPattern() override;

    // Valid after a result of 1: the name as typed and the picture, the
    // colours the preview showed.
    QString name;
    PictureColours colours{};

    // Asks for a colour, starting from `current`; an invalid colour is a
    // cancel. The default shows Qt's colour dialog; tests put their own here.
    std::function<QColor(const QColor &current)> chooseColour;

    static constexpr int kColourButtons = 8;

    QLabel *Pict = nullptr;  // the preview
    QComboBox *SelKind = nullptr;
    QWidget *ColoursBox = nullptr;  // the count of colours, for kinds with several
    QSpinBox *vColours = nullptr;
    std::array<QPushButton *, kColourButtons> BtnColour{};
    QWidget *PixelsBox = nullptr, *RepeatBox = nullptr, *WidthBox = nullptr, *LengthBox = nullptr;
    QSpinBox *vPixels = nullptr, *vRepeat = nullptr, *vWidth = nullptr, *vLength = nullptr;
    QCheckBox *ChkReverse = nullptr, *ChkDither = nullptr;
    QLineEdit *sPictName = nullptr;
    QPushButton *BtnSave = nullptr, *BtnCancel = nullptr;

    // The description the controls hold.
    PatternDescription Described() const;

    void SelKindChange();
    void BtnColourClick(int i);
    void BtnSaveClick();

    // The close box, Escape and 取消 end the dialog with the cancel result, 2.
    void reject() override;

private:
    void ShowKind();  // which fields and colour buttons the kind uses
    void Generate();  // MakePattern, then the preview

    std::array<QColor, kColourButtons> picked_{};
};

}  // namespace korvex
