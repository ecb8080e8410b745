#include "TForm2.h"

#include "Cp1251.h"
#include "Dialogs.h"

#include "NumberBox.h"
#include "ServerLink.h"
#include "StationState.h"
#include "WindowPlacement.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QLineEdit *portBox(QWidget *parent, const QString &name)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setMaxLength(5);
    box->setFixedWidth(48);
    NumberBox::installDigitFilter(box);
    return box;
}

QLineEdit *addressBox(QWidget *parent, const QString &name)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setFixedWidth(110);
    return box;
}

QToolButton *textButton(QWidget *parent, const QString &name, const QString &text)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setMinimumWidth(90);
    return button;
}

} // namespace

TForm2::TForm2(StationState &state, ServerLink &link, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
    , m_state(state)
    , m_link(link)
{
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("Настройки соединения"));

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);

    Edit1 = addressBox(panel, QStringLiteral("Edit1"));
    Edit2 = portBox(panel, QStringLiteral("Edit2"));
    Edit3 = addressBox(panel, QStringLiteral("Edit3"));
    Edit4 = portBox(panel, QStringLiteral("Edit4"));
    SpeedButton1 = textButton(panel, QStringLiteral("SpeedButton1"), QStringLiteral("Сохранить"));
    SpeedButton2 = textButton(panel, QStringLiteral("SpeedButton2"), QStringLiteral("Отмена"));

    auto *grid = new QGridLayout(panel);
    grid->addWidget(new QLabel(QStringLiteral("Адрес сервера"), panel), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Порт"), panel), 0, 1);
    grid->addWidget(Edit1, 1, 0);
    grid->addWidget(Edit2, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Адрес базы данных"), panel), 2, 0);
    grid->addWidget(new QLabel(QStringLiteral("Порт"), panel), 2, 1);
    grid->addWidget(Edit3, 3, 0);
    grid->addWidget(Edit4, 3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SpeedButton1);
    buttons->addWidget(SpeedButton2);
    grid->addLayout(buttons, 4, 0, 1, 2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QLineEdit *box : {Edit2, Edit4})
        connect(box, &QLineEdit::textChanged, this, [this, box] { Edit2Change(box); });
    WindowPlacement::closeOnEscape(this);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm2::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm2::SpeedButton2Click);
}

void TForm2::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    FormShow();
    WindowPlacement::centreOver(this, m_centreOn);
}

void TForm2::FormShow()
{
    Edit1->setText(m_state.Server_address);
    Edit2->setText(QString::number(m_state.Server_port));
    Edit3->setText(m_state.Base_address);
    Edit4->setText(QString::number(m_state.Base_port));
}

void TForm2::Edit2Change(QLineEdit *box)
{
    NumberBox::Edit_value(box, 1, 65535);
}

void TForm2::SpeedButton1Click()
{
    // Config.ini holds code page 1251 only; an address it cannot carry is
    // refused here rather than saved as '?'.
    for (QLineEdit *box : {Edit1, Edit3}) {
        const QString text = box->text();
        const QString character = Cp1251::firstUnencodableCharacter(text);
        if (character.isEmpty())
            continue;
        m_state.dialogs->message(this, QStringLiteral("Символ \"%1\" в адресе \"%2\" нельзя сохранить в Config.ini. "
                                                      "Настройки не изменены.")
                                           .arg(character, text));
        box->setFocus();
        return;
    }
    // A port box whose text is no whole number (a lone "-") keeps the port as
    // it was and shows it again; the other values are still taken.
    long long port = 0;
    m_state.Server_address = Edit1->text();
    if (NumberBox::valueOf(Edit2, &port))
        m_state.Server_port = static_cast<quint16>(port);
    else
        Edit2->setText(QString::number(m_state.Server_port));
    m_state.Base_address = Edit3->text();
    if (NumberBox::valueOf(Edit4, &port))
        m_state.Base_port = static_cast<quint16>(port);
    else
        Edit4->setText(QString::number(m_state.Base_port));
    m_link.Connect_Server();
}

void TForm2::SpeedButton2Click()
{
    close();
}
