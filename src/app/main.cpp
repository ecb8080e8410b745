#include "Dialogs.h"
#include "QtTranslations.h"
#include "Station.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvex-station"));
    QApplication::setApplicationDisplayName(QStringLiteral("Монитор ORVEX"));
    QtTranslations::install(app);
    // The login window is the main form: only its closing ends the program,
    // not the last visible window going away.
    QApplication::setQuitOnLastWindowClosed(false);

    QtDialogs dialogs;
    Station station(QApplication::applicationDirPath(), &dialogs);
    QObject::connect(&station, &Station::applicationEnd, &app, &QApplication::quit, Qt::QueuedConnection);
    station.start();
    return QApplication::exec();
}
