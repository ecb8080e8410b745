#include "TForm3.h"

#include "ConfigIni.h"
#include "Dialogs.h"
#include "StationState.h"
#include "WindowPlacement.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

// The emblem of the login window: a shield over a cash machine's keypad.
QPixmap emblem(qreal dpr)
{
    QPixmap pixmap(QSize(128, 128) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shield;
    shield.moveTo(64, 8);
    shield.cubicTo(88, 20, 104, 22, 116, 22);
    shield.cubicTo(116, 74, 98, 104, 64, 122);
    shield.cubicTo(30, 104, 12, 74, 12, 22);
    shield.cubicTo(24, 22, 40, 20, 64, 8);
    QLinearGradient fill(0, 0, 0, 128);
    fill.setColorAt(0, QColor(0x2f, 0x6f, 0xc0));
    fill.setColorAt(1, QColor(0x12, 0x3a, 0x73));
    p.setPen(QPen(QColor(0x0c, 0x27, 0x4e), 3));
    p.setBrush(fill);
    p.drawPath(shield);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawRoundedRect(QRectF(40, 34, 48, 20), 3, 3);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            p.drawRoundedRect(QRectF(42 + column * 16, 62 + row * 12, 12, 8), 2, 2);
    return pixmap;
}

QToolButton *textButton(QWidget *parent, const QString &name, const QString &text)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setMinimumWidth(80);
    return button;
}

} // namespace

TForm3::TForm3(StationState &state, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_state(state)
{
    setObjectName(QStringLiteral("TForm3"));
    setWindowTitle(QStringLiteral("Аутентификация пользователя"));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(128, 128);
    Image1->setPixmap(emblem(devicePixelRatioF()));

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setMinimumWidth(160);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));

    SpeedButton1 = textButton(this, QStringLiteral("SpeedButton1"), QStringLiteral("ОК"));
    SpeedButton2 = textButton(this, QStringLiteral("SpeedButton2"), QStringLiteral("Отмена"));

    auto *grid = new QGridLayout(this);
    grid->addWidget(Image1, 0, 0, 5, 1);
    grid->addWidget(new QLabel(QStringLiteral("Пользователь"), this), 0, 1, 1, 2);
    grid->addWidget(ComboBox1, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Пароль"), this), 2, 1, 1, 2);
    grid->addWidget(Edit1, 3, 1, 1, 2);
    grid->addWidget(SpeedButton1, 4, 1);
    grid->addWidget(SpeedButton2, 4, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(SpeedButton1, &QToolButton::clicked, this, &TForm3::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm3::SpeedButton2Click);
    // Enter in the password box is "ОК".
    connect(Edit1, &QLineEdit::returnPressed, this, &TForm3::SpeedButton1Click);
}

void TForm3::attachMainWindow(QWidget *mainWindow, QAbstractButton *localUsersButton)
{
    m_mainWindow = mainWindow;
    m_localUsersButton = localUsersButton;
}

void TForm3::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    FormShow();
    WindowPlacement::centreOver(this, nullptr);
}

void TForm3::FormShow()
{
    ComboBox1->clear();
    Edit1->clear();
    const ConfigIni config(m_state);
    const int count = config.userCount();
    for (int n = 0; n < count; ++n)
        ComboBox1->addItem(config.userLogin(n));
    const int index = config.userIndex();
    ComboBox1->setCurrentIndex(index >= 0 && index < count ? index : -1);
    Edit1->setFocus();
}

void TForm3::SpeedButton1Click()
{
    const int position = ComboBox1->currentIndex();
    // Without a chosen user the password would be compared with the default
    // of a section that does not exist, "Pilot", which would let anyone in as
    // nobody and open the local user editor.
    if (position < 0) {
        m_state.dialogs->message(this, QStringLiteral("Выберите пользователя"));
        ComboBox1->setFocus();
        return;
    }
    const QString stored = ConfigIni(m_state).userPass(position);
    const QString typed = Edit1->text();
    if (typed != stored) {
        m_state.dialogs->message(this, QStringLiteral("Неправильно введен пароль"));
        return;
    }
    const QString login = ComboBox1->itemText(position);

    if (typed == QLatin1String("Pilot") && m_localUsersButton)
        m_localUsersButton->setEnabled(true);
    if (m_mainWindow)
        m_mainWindow->show();
    hide();
    if (m_mainWindow)
        m_mainWindow->setWindowTitle(QStringLiteral("Монитор ORVEX - ") + login);
    m_state.User_index = static_cast<quint8>(position);
    m_state.Login = login;
    m_state.Password = typed;
    emit loggedIn();
}

void TForm3::SpeedButton2Click()
{
    if (m_mainWindow && m_mainWindow->isVisible())
        hide();
    else
        closeApplication();
}

void TForm3::closeApplication()
{
    m_ending = true;
    close();
    emit applicationEnd();
}

void TForm3::closeEvent(QCloseEvent *event)
{
    // The window has no close box; a close asked for by the window manager
    // (Alt+F4) is taken as "Отмена".
    if (m_ending) {
        event->accept();
        return;
    }
    event->ignore();
    SpeedButton2Click();
}

void TForm3::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        SpeedButton2Click();
        return;
    }
    QWidget::keyPressEvent(event);
}
