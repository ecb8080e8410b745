#include "Station.h"

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
{
    m_state.Home_dir = homeDir;
    m_state.dialogs = dialogs;

    m_form3 = std::make_unique<TForm3>(m_state);
    m_form1 = std::make_unique<TForm1>(m_state);
    m_form2 = std::make_unique<TForm2>(m_state, m_form1->link());
    m_form4 = std::make_unique<TForm4>(m_state);
    m_form5 = std::make_unique<TForm5>(m_state);
    m_form6 = std::make_unique<TForm6>(m_state, m_form1->database(), m_form1->link(), m_form1->rights());
    m_form7 = std::make_unique<TForm7>(m_state, m_form1->database());

    m_form2->setCentreOn(m_form1.get());
    m_form4->setCentreOn(m_form1.get());
    m_form3->attachMainWindow(m_form1.get(), m_form1->SpeedButton2);
    m_form1->attachWindows({m_form2.get(), m_form3.get(), m_form4.get(), m_form5.get(), m_form6.get(), m_form7.get()});
    connect(m_form3.get(), &TForm3::applicationEnd, this, &Station::applicationEnd);
}

Station::~Station() = default;

void Station::start()
{
    m_form3->show();
}
