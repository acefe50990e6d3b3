// Port tooltips on the settings page.
#include "host/port_tips.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QObject>

#include "app/port_diagnosis.h"
#include "app/port_survey.h"

namespace korvex {

namespace {

void FillItemTips(QComboBox *list, const std::vector<link::SerialDevice> &listed)
{
    for (int i = 0; i < list->count(); ++i)
        list->setItemData(i, DeviceTextZh(i + 1, link::ResolvePort(i + 1, listed, {})),
                          Qt::ToolTipRole);
}

// Refreshes the item tooltips whenever the drop-down list is shown.
class RefreshOnShow : public QObject {
public:
    explicit RefreshOnShow(QComboBox *list) : QObject(list), list_(list) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            FillItemTips(list_, link::ListSerialDevices());
        return false;
    }

private:
    QComboBox *list_;
};

}  // namespace

void InstallPortTips(QComboBox *list)
{
    EnableExchangeRecord();
    FillItemTips(list, link::ListSerialDevices());
    list->view()->installEventFilter(new RefreshOnShow(list));
}

void ShowPortStatusTip(QComboBox *list, QWidget *panel, int port, bool connected)
{
    // One look at the machine's devices serves both tooltips.
    const std::vector<link::SerialDevice> listed = link::ListSerialDevices();
    panel->setToolTip(PortStatusTip(port, connected, listed));
    FillItemTips(list, listed);
}

}  // namespace korvex
