// The survey of every port and the words for a port's device, the same on
// every system; the look at one port is port_survey_posix.cpp or
// port_survey_win.cpp.
#include "app/port_survey.h"

namespace korvex {

std::vector<PortSurvey> SurveyPorts(int count, const std::string &root)
{
    const std::vector<link::SerialDevice> listed = link::ListSerialDevices(root);
    std::vector<PortSurvey> out;
    for (int n = 1; n <= count; ++n)
        out.push_back(SurveyPort(n, listed, root));
    return out;
}

QString DeviceTextZh(int port, const link::PortDevice &where)
{
    if (where.path.empty())
        return QStringLiteral("没有接入串口设备");
    QString text = QString::fromStdString(where.path);
    if (where.fromVariable)
        text +=
            QStringLiteral("（由 %1 指定）").arg(QString::fromStdString(link::PortVariable(port)));
    const link::SerialDevice &d = where.device;
    if (!d.byId.empty())
        text += QStringLiteral("\n") + QString::fromStdString(d.byId.substr(d.byId.rfind('/') + 1));
    if (!d.usbId.empty()) {
        text += QStringLiteral("\nUSB ") + QString::fromStdString(d.usbId);
        if (!d.serial.empty())
            text += QStringLiteral("，序列号 ") + QString::fromStdString(d.serial);
    }
    if (!d.product.empty())
        text += QStringLiteral("\n") + QString::fromStdString(d.product);
    return text;
}

}  // namespace korvex
