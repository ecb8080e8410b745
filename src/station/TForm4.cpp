#include "TForm4.h"

#include "ConfigIni.h"
#include "Cp1251.h"
#include "Dialogs.h"
#include "PasswordDelegate.h"
#include "StationState.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QShowEvent>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

TForm4::TForm4(StationState &state, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
{
    setObjectName(QStringLiteral("TForm4"));
    setWindowTitle(QStringLiteral("Локальные пользователи"));

    StringGrid1 = new QTableWidget(0, 2, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setHorizontalHeaderLabels({QStringLiteral("Логин"), QStringLiteral("Пароль")});
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(std::max(16, fontMetrics().height() + 4));
    StringGrid1->setColumnWidth(0, 115);
    StringGrid1->setColumnWidth(1, 111);
    StringGrid1->setEditTriggers(QAbstractItemView::AllEditTriggers);
    StringGrid1->setMinimumSize(115 + 111 + 2 * StringGrid1->frameWidth() + 20, 180);
    m_passwords = new PasswordDelegate(StringGrid1);
    StringGrid1->setItemDelegateForColumn(1, m_passwords);

    CheckBox1 = new QCheckBox(QStringLiteral("Показать пароли"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool shown) {
        // An open cell editor keeps the echo mode it was made with.
        StringGrid1->setCurrentItem(nullptr);
        m_passwords->setShown(shown);
        StringGrid1->viewport()->update();
    });

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("Сохранить изменения"));
    SpeedButton2 = new QToolButton(this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setText(QStringLiteral("Добавить строку"));
    for (QToolButton *button : {SpeedButton1, SpeedButton2})
        button->setAutoRaise(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SpeedButton1);
    buttons->addWidget(SpeedButton2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(StringGrid1);
    layout->addWidget(CheckBox1);
    layout->addLayout(buttons);

    WindowPlacement::closeOnEscape(this);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm4::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm4::SpeedButton2Click);
}

void TForm4::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    FormShow();
    WindowPlacement::centreOver(this, m_centreOn);
}

void TForm4::FormShow()
{
    // Every opening starts with the passwords hidden again.
    CheckBox1->setChecked(false);
    const ConfigIni config(m_state);
    const int count = config.userCount();
    StringGrid1->setRowCount(count);
    for (int n = 0; n < count; ++n) {
        StringGrid1->setItem(n, 0, new QTableWidgetItem(config.userLogin(n)));
        StringGrid1->setItem(n, 1, new QTableWidgetItem(config.userPass(n)));
    }
}

void TForm4::SpeedButton2Click()
{
    if (StringGrid1->rowCount() >= ConfigIni::MaxUsers) {
        m_state.dialogs->message(this, QStringLiteral("Можно сохранить не более %1 локальных пользователей")
                                           .arg(ConfigIni::MaxUsers));
        return;
    }
    const int row = StringGrid1->rowCount();
    StringGrid1->insertRow(row);
    StringGrid1->setItem(row, 0, new QTableWidgetItem);
    StringGrid1->setItem(row, 1, new QTableWidgetItem);
}

void TForm4::SpeedButton1Click()
{
    // A cell still being edited belongs to what is saved.
    if (QWidget *editor = StringGrid1->focusWidget(); editor && editor != StringGrid1)
        StringGrid1->setFocus();
    StringGrid1->setCurrentItem(nullptr);

    const int count = std::min(StringGrid1->rowCount(), ConfigIni::MaxUsers);
    const auto cell = [this](int row, int column) {
        const QTableWidgetItem *item = StringGrid1->item(row, column);
        return item ? item->text() : QString();
    };
    // Config.ini holds code page 1251 only: a character outside it would be
    // saved as '?', and a password saved that way could never match.
    for (int n = 0; n < count; ++n) {
        for (int column = 0; column < 2; ++column) {
            const QString text = cell(n, column);
            const QString character = Cp1251::firstUnencodableCharacter(text);
            if (character.isEmpty())
                continue;
            m_state.dialogs->message(
                this, QStringLiteral("Символ \"%1\" в строке %2 нельзя сохранить в Config.ini (только кириллица и латиница). "
                                     "Изменения не сохранены.")
                          .arg(character, QString::number(n + 1)));
            StringGrid1->setCurrentCell(n, column);
            return;
        }
    }

    QList<ConfigIni::LocalUser> users;
    for (int n = 0; n < count; ++n)
        users.append({cell(n, 0), cell(n, 1)});
    ConfigIni(m_state).writeUsers(users);
}
