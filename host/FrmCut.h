// The capture dialog: loads a BMP or JPEG, lets the operator choose a width
// and stretching, names the picture and samples its top row into 2048
// colours (each ANDed with 0xF0F0F0).
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>

namespace korvex {

class TFormCut : public QDialog {
    Q_OBJECT
public:
    explicit TFormCut(QWidget *owner);
    ~TFormCut() override;

    // Set before exec(); after a result of 1 it holds the name as typed.
    QString name;
    // Valid after a result of 1: the capture result.
    std::array<uint32_t, 2048> colours{};
};

} // namespace korvex
