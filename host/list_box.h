// The list boxes of the picture and program pages: fixed 12-pixel rows,
// and click handling that runs for the operator's picks only.
#pragma once

#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <functional>

namespace korvex {

// Every list box draws its items 12 pixels high.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(12);
        return s;
    }
};

// A list box whose click handler runs when the operator picks an item with
// the mouse or moves the selection with the keyboard, never when code
// changes the selection; the double-click handler runs on any double-click
// inside the list.
class ListBox : public QListWidget {
public:
    explicit ListBox(QWidget *parent) : QListWidget(parent)
    {
        setSelectionMode(QAbstractItemView::SingleSelection);
        setUniformItemSizes(true);
        setItemDelegate(new FixedRowDelegate(this));
        connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem *) {
            clicked_ = true;
            if (onClick)
                onClick();
        });
    }
    std::function<void()> onClick;
    std::function<void()> onDblClick;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const int before = currentRow();
        const int selectedBefore = SelectedRow();
        QListWidget::keyPressEvent(event);
        // A move of the current item, or Ctrl+Space taking the selection
        // off the current item.
        if ((currentRow() != before || SelectedRow() != selectedBefore) && onClick)
            onClick();
    }
    // The selection follows the mouse while the button is held, so a press
    // on one item and a release on another picks the second without a click
    // on either: the handler must still run, or the page would go on showing
    // (and a change would write) the item picked before.
    void mousePressEvent(QMouseEvent *event) override
    {
        rowAtPress_ = SelectedRow();
        QListWidget::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        clicked_ = false;
        QListWidget::mouseReleaseEvent(event);
        if (!clicked_ && SelectedRow() != rowAtPress_ && onClick)
            onClick();
    }
    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        QListWidget::mouseDoubleClickEvent(event);
        if (onDblClick)
            onDblClick();
    }

private:
    int SelectedRow() const
    {
        const QList<QListWidgetItem *> items = selectedItems();
        return items.isEmpty() ? -1 : row(items.first());
    }
    int rowAtPress_ = -1;
    bool clicked_ = false;
};

}  // namespace korvex
