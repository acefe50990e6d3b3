// Building blocks of the window's pages, placed at fixed positions: a label
// sized to its text, and a button that does not become the default button
// when it takes the focus.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace korvex {

inline QLabel *MakeLabel(QWidget *page, const QString &text, int x, int y)
{
    auto *label = new QLabel(text, page);
    label->move(x, y);
    label->adjustSize();
    return label;
}

inline QPushButton *MakeButton(QWidget *page, const QString &text, int x, int y, int w, int h,
                               bool enabled)
{
    auto *button = new QPushButton(text, page);
    button->setGeometry(x, y, w, h);
    button->setAutoDefault(false);
    button->setEnabled(enabled);
    return button;
}

}  // namespace korvex
