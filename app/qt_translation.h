// Qt's own texts (the buttons of message boxes, the file dialog, Qt's error
// texts) in simplified Chinese, to match the window's.
#pragma once

class QCoreApplication;
class QTranslator;

namespace korvex {

// Installs Qt's zh_CN translation from Qt's translations folder into `app`,
// which owns it. Null when the translation is not installed (Debian:
// qt6-translations-l10n); Qt's texts then stay English.
QTranslator *InstallQtTranslation(QCoreApplication &app);

}  // namespace korvex
