// The rename dialog: one edit field for a picture's name and an OK button.
// The caller sets `name`, runs exec(); a result of 1 means the name changed
// and `name` holds the new text. Every other result leaves `name` alone.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace korvex {

class TFormRename : public QDialog {
    Q_OBJECT
public:
    explicit TFormRename(QWidget *owner = nullptr);
    ~TFormRename() override;

    // Set before exec(); after a result of 1 it holds the new name.
    QString name;

    QLineEdit *sName = nullptr;
    QPushButton *BtnOK = nullptr;

    // Puts the name into sName (run when the dialog is shown).
    void FormShow();
    // Result 1 when sName differs from the name, 2 when it is the same.
    void BtnOKClick();

    // The close box and Escape end the dialog with result 2.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
};

}  // namespace korvex
