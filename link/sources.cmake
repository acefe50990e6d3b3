# The link library's sources, named once for the Linux build (link/) and
# the Windows DLL build (win/). The caller sets KORVEX_ROOT to the project
# folder; the platform's serial-port file is added from KORVEX_LINK_PORT.
set(KORVEX_LINK_SOURCES
  ${KORVEX_ROOT}/link/exchange.cpp
  ${KORVEX_ROOT}/link/frame.cpp
  ${KORVEX_ROOT}/link/port_state.cpp
  ${KORVEX_ROOT}/link/trace.cpp)
set(KORVEX_LINK_API ${KORVEX_ROOT}/link/korvex_api.cpp)
if(WIN32)
  set(KORVEX_LINK_PORT ${KORVEX_ROOT}/link/port_win32.cpp)
  # The host side's port list on Windows: the registry's serial map.
  set(KORVEX_PORT_NAMES ${KORVEX_ROOT}/link/port_names_win.cpp)
else()
  set(KORVEX_LINK_PORT ${KORVEX_ROOT}/link/port_posix.cpp ${KORVEX_ROOT}/link/port_names.cpp)
  # The port naming rule is also compiled into the host side (korvex-cli
  # and the window name, list and diagnose ports with it); it holds no state.
  set(KORVEX_PORT_NAMES ${KORVEX_ROOT}/link/port_names.cpp)
endif()
