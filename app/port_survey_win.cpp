// Port states on Windows, from the registry's serial map only: opening a
// port to look at it would take it from the program that holds it and
// raise an adapter's modem lines, so whether it is free shows only when
// the link library opens it (its trace then says "busy" or "missing").
#include "app/port_survey.h"

namespace korvex {

PortSurvey SurveyPort(int port, const std::vector<link::SerialDevice> &listed,
                      const std::string &root)
{
    PortSurvey s;
    s.port = port;
    s.where = link::ResolvePort(port, listed, root);
    if (s.where.path.empty())
        s.state = PortState::NoDevice;
    else
        s.state = s.where.device.name.empty() ? PortState::Missing : PortState::Free;
    return s;
}

}  // namespace korvex
