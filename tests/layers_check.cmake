# cmake -DROOT=<project folder> -P layers_check.cmake
# Fails when a folder includes what its layer may not use:
#   link/  nothing of the project outside link/
#   model/ link/ only, and no Qt
#   app/   model/ and link/, Qt Core and Gui but no Qt Widgets
#   cli/   app/, model/, link/; never host/
#   sim/   nothing of the host side
set(widget_headers
  "QtWidgets" "QWidget" "QApplication" "QListWidget" "QLabel" "QPushButton" "QComboBox"
  "QSpinBox" "QCheckBox" "QMessageBox" "QDialog" "QFileDialog" "QProgressBar" "QTabWidget"
  "QFrame" "QLineEdit" "QScrollArea" "QMenu" "QStyledItemDelegate" "QAbstractItemView"
  "QVBoxLayout" "QHBoxLayout" "QGridLayout" "QAbstractSpinBox" "QAbstractButton")
list(JOIN widget_headers "|" widgets)

# folder -> regular expression of forbidden include lines
set(rule_link  "#include \"(model|app|host|cli|sim)/")
set(rule_model "#include \"(app|host|cli|sim)/|#include <Q")
set(rule_app   "#include \"(host|cli|sim)/|#include <(QtWidgets/)?(${widgets})[>.]")
set(rule_cli   "#include \"(host|sim)/|#include <(QtWidgets/)?(${widgets})[>.]")
set(rule_sim   "#include \"(link|model|app|host|cli)/")

set(failures "")
foreach(folder link model app cli sim)
  file(GLOB_RECURSE files "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.h")
  foreach(f ${files})
    file(STRINGS "${f}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      if(line MATCHES "${rule_${folder}}")
        string(APPEND failures "  ${f}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "includes across layers:\n${failures}")
endif()
message(STATUS "every folder includes only what its layer may use")
