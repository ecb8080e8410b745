#pragma once

class QCoreApplication;

// Qt's own texts (the buttons of message boxes, edit fields' context menus,
// the date pickers' calendars) in Russian, as every text of the station is:
// Qt's translations as the system ships them, and the Russian locale.
namespace QtTranslations {

// False when the translations are not installed; Qt then speaks English.
bool install(QCoreApplication &application);

} // namespace QtTranslations
