// The two numeric fields with rules of their own: the pixel count field of
// the settings page and the speed or stay field of the program page.
#pragma once

#include <QLineEdit>
#include <QSpinBox>
#include <QValidator>
#include <algorithm>

#include "model/config_record.h"

namespace korvex {

// The pixel count field: digits only, at most four of them. A typed value
// is not rounded; leaving the field brings it within 16..2048, and an empty
// text reads as 16.
class WidthSpin : public QSpinBox {
public:
    explicit WidthSpin(QWidget *parent) : QSpinBox(parent)
    {
        setRange(kPixelCountMin, kPixelCountMax);
        setSingleStep(8);
        lineEdit()->setMaxLength(4);
        setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    }

    // The value as the field's text gives it: a non-number reads as 16,
    // a number is brought within the limits.
    int shownValue() const
    {
        bool ok = false;
        const int v = text().trimmed().toInt(&ok);
        if (!ok)
            return kPixelCountMin;
        return std::clamp(v, kPixelCountMin, kPixelCountMax);
    }

protected:
    QValidator::State validate(QString &input, int &) const override
    {
        if (input.size() > 4)
            return QValidator::Invalid;
        for (QChar c : input)
            if (!c.isDigit())
                return QValidator::Invalid;
        bool ok = false;
        const int v = input.toInt(&ok);
        if (ok && v >= kPixelCountMin && v <= kPixelCountMax)
            return QValidator::Acceptable;
        return QValidator::Intermediate;
    }
    void fixup(QString &input) const override
    {
        bool ok = false;
        const int v = input.trimmed().toInt(&ok);
        input =
            QString::number(ok ? std::clamp(v, kPixelCountMin, kPixelCountMax) : kPixelCountMin);
    }
    int valueFromText(const QString &text) const override
    {
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        return ok ? std::clamp(v, kPixelCountMin, kPixelCountMax) : kPixelCountMin;
    }
};

// The speed or stay field: only the arrows (and arrow keys) change it.
class ArrowSpin : public QSpinBox {
public:
    explicit ArrowSpin(QWidget *parent) : QSpinBox(parent) { lineEdit()->setReadOnly(true); }
};

}  // namespace korvex
