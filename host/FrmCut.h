// The capture dialog: loads a BMP or JPEG, lets the operator choose a width
// and stretching, names the picture and samples its top row into 2048
// colours (each ANDed with 0xF0F0F0).
#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "app/capture.h"

class QCheckBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;

namespace korvex {

// The image control: shows the capture model's display picture from its
// top-left corner, or scaled to the control's size while stretching
// (QLabel's scaledContents mirrors that state). It paints only the part
// that is exposed, so a large picture is never copied whole.
class PictView : public QLabel {
public:
    PictView(const CaptureModel *model, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const CaptureModel *model_;
};

class TFormCut : public QDialog {
    Q_OBJECT
public:
    explicit TFormCut(QWidget *owner);
    ~TFormCut() override;

    // Set before exec(); after a result of 1 it holds the name as typed.
    QString name;
    // Valid after a result of 1: the capture result.
    std::array<uint32_t, 2048> colours{};

    // Asks for the picture file; an empty result is a cancel. The default
    // shows DlgOpen; tests put their own file here.
    std::function<QString()> chooseFile;

    QFrame *PictPanel = nullptr;
    QScrollArea *Box = nullptr;
    PictView *Pict = nullptr;
    QFrame *Panel1 = nullptr;
    QPushButton *BtnLoad = nullptr;
    QCheckBox *bStretch = nullptr;
    QLabel *Label2 = nullptr;
    QSpinBox *vWidth = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *sPictName = nullptr;
    QPushButton *BtnSave = nullptr;

    const CaptureModel &Model() const { return model_; }

    void FormShow();
    void BtnLoadClick();
    void vWidthChange();
    void bStretchClick();
    void BtnSaveClick();

    // The open-picture dialog (non-native, with a preview beside the list);
    // returns the chosen path or an empty text.
    QString RunDlgOpen();

    // The close box (and Escape) end the dialog with the cancel result, 2.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ShowModel();  // puts the model's state into the controls
    void Notice(const QString &text);

    CaptureModel model_;
    QWidget *canvas_ = nullptr;  // Box's content: Pict sits on it
};

}  // namespace korvex
