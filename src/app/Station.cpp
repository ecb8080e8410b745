#include "Station.h"

#include "ObjectList.h"
#include "ServerLink.h"
#include "StateReports.h"
#include "TForm1.h"
#include "TForm2.h"
#include "TForm3.h"
#include "TForm4.h"
#include "TForm5.h"
#include "TForm6.h"
#include "TForm7.h"

#include <QToolButton>

Station::Station(const QString &homeDir, Dialogs *dialogs, QObject *parent)
    : QObject(parent)
    , m_link(std::make_unique<ServerLink>(m_state))
{
    m_state.Home_dir = homeDir;
    m_state.dialogs = dialogs;

    m_form3 = std::make_unique<TForm3>(m_state);
    m_form1 = std::make_unique<TForm1>(m_state, m_database, m_watcher, *m_link, m_rights, m_sounds);
    m_form2 = std::make_unique<TForm2>(m_state, *m_link);
    m_form4 = std::make_unique<TForm4>(m_state);
    m_form5 = std::make_unique<TForm5>(m_state, m_database);
    m_form6 = std::make_unique<TForm6>(m_state, m_database, *m_link, m_rights);
    m_form7 = std::make_unique<TForm7>(m_state, m_database);
    wire();
}

Station::~Station()
{
    // The windows go first (in reverse order of creation), then the services
    // they used; the connection is closed by its owner.
    m_form7.reset();
    m_form6.reset();
    m_form5.reset();
    m_form4.reset();
    m_form2.reset();
    m_form1.reset();
    m_form3.reset();
}

void Station::wire()
{
    TForm1 *main = m_form1.get();
    TForm6 *card = m_form6.get();
    ObjectList &objects = main->objects();

    m_link->setMessageParent(main);
    m_form2->setCentreOn(main);
    m_form4->setCentreOn(main);
    m_form3->attachMainWindow(main, main->SpeedButton2);
    main->setWindows({m_form2.get(), m_form3.get(), m_form4.get(), m_form5.get(), m_form6.get(), m_form7.get()});
    connect(m_form3.get(), &TForm3::applicationEnd, this, &Station::applicationEnd);
    connect(m_form3.get(), &TForm3::loggedIn, main, &TForm1::onLoggedIn);
    connect(m_form3.get(), &TForm3::loggedIn, m_form7.get(), &TForm7::abandon);

    // The server link.
    connect(m_link.get(), &ServerLink::linkStateChanged, main, [main](bool connected) { main->Show_Link_State(connected); });
    connect(m_link.get(), &ServerLink::linkClosed, main, &TForm1::onLinkClosed);
    connect(m_link.get(), &ServerLink::authAnswer, main, &TForm1::onAuthAnswer);
    connect(m_link.get(), &ServerLink::stateReport, &main->reports(), &StateReports::On_State_Report);
    // The card shows the reports of its own unit, whether or not it is open.
    connect(m_link.get(), &ServerLink::statusReport, card, &TForm6::showStatusReport);

    // The card's guard text follows only the object the card shows.
    connect(&objects, &ObjectList::guardStateShown, card,
            [card](quint8 code, const QString &imei) { card->Show_Object_State(imei, code); });
    connect(&objects, &ObjectList::statesLoaded, card, [card, &objects] {
        const int code = objects.stateCode(card->shownImei());
        if (code >= 0)
            card->Show_Object_State(card->shownImei(), quint8(code));
    });
    connect(&objects, &ObjectList::objectDoubleClicked, card, [card] {
        card->show();
        card->raise();
        card->activateWindow();
    });
}

void Station::start()
{
    m_form3->show();
}
