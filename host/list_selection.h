// Selection helpers shared by the picture page and the program page.
#pragma once

#include <QListWidget>
#include <QSignalBlocker>

namespace korvex {

// The selected row of a single-selection list, or -1.
inline int SelectedRow(const QListWidget *list)
{
    const QList<QListWidgetItem *> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

// Selects a row from code without raising the list's own signals, so a
// handler wired to them does not run a second time.
inline void SelectRow(QListWidget *list, int row)
{
    const QSignalBlocker block(list);
    list->setCurrentRow(row);
}

}  // namespace korvex
