#pragma once

class QCoreApplication;

namespace tramelo {

// Qt's own Catalan texts (Debian's qt6-translations-l10n) for the standard
// dialogs and buttons, whatever the desktop's language: the program speaks
// Catalan throughout. False, and English left, when they are not installed.
bool installQtTranslations(QCoreApplication &application);

} // namespace tramelo
