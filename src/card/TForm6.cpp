#include "TForm6.h"

#include "WindowPlacement.h"

#include "CardObject.h"
#include "CardSql.h"
#include "Cp1251.h"
#include "Database.h"
#include "Dialogs.h"
#include "Indicator.h"
#include "OperatorRights.h"
#include "Packets.h"
#include "ServerLink.h"
#include "StationState.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <optional>

namespace {

const QString DefaultCaption = QStringLiteral("Банкомат");
const QString RequestCaption = QStringLiteral("Запрос состояния");
const QString WaitingCaption = QStringLiteral("Ожидание...");
const QString CallNotRequested = QStringLiteral(": голосовое соединение не запрошено");

// The colour of the value labels: the classic active caption blue.
const QColor ActiveCaption(0x00, 0x54, 0xe3);

QLabel *valueLabel(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ActiveCaption);
    label->setPalette(palette);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QGroupBox *groupBox(QWidget *parent, const QString &name, const QString &caption)
{
    auto *box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption)
{
    auto *result = new QPushButton(caption, parent);
    result->setObjectName(name);
    result->setAutoDefault(false);
    return result;
}

QWidget *widgetOf(const QWindow *window)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->windowHandle() == window)
            return w;
    }
    return nullptr;
}

} // namespace

TForm6::TForm6(StationState &state, Database &database, ServerLink &link, OperatorRights &rights, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
    , m_database(database)
    , m_link(link)
    , m_rights(rights)
{
    setObjectName(QStringLiteral("TForm6"));
    setWindowTitle(DefaultCaption);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    setFont(font);

    buildDescription();
    buildGuard();
    buildSensors();
    buildService();
    buildOutputs();

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setSpacing(4);
    grid->addWidget(RzGroupBox1, 0, 0);
    grid->addWidget(RzGroupBox2, 0, 1);
    grid->addWidget(RzGroupBox3, 1, 0, 2, 1);
    grid->addWidget(RzGroupBox5, 1, 1);
    grid->addWidget(RzGroupBox4, 2, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    // The columns are as wide as laid out, or wider where this desktop's font
    // needs the room; the descriptions then wrap within them.
    int left = 241;
    for (QWidget *box : {RzGroupBox1, RzGroupBox3})
        left = qMax(left, box->sizeHint().width());
    int right = 185;
    for (QWidget *box : {RzGroupBox2, RzGroupBox5, RzGroupBox4})
        right = qMax(right, box->sizeHint().width());
    for (QWidget *box : {RzGroupBox1, RzGroupBox3})
        box->setFixedWidth(left);
    for (QWidget *box : {RzGroupBox2, RzGroupBox5, RzGroupBox4})
        box->setFixedWidth(right);

    // Nothing to command until an activation has found the object.
    setCommandsEnabled(false);

    // A unit that never answers must not leave the request pending forever.
    m_statusWait = new QTimer(this);
    m_statusWait->setObjectName(QStringLiteral("StatusWait"));
    m_statusWait->setSingleShot(true);
    m_statusWait->setInterval(StatusWaitMilliseconds);
    connect(m_statusWait, &QTimer::timeout, this, &TForm6::statusWaitEnded);

    // Where the platform leaves the focus nowhere after the card's own box,
    // a visit to any other window makes the next activation a real return.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *focused) {
        if (focused && focused != windowHandle() && !ownsWindow(widgetOf(focused)))
            m_backFromOwnWindow = false;
    });
}

void TForm6::buildDescription()
{
    RzGroupBox1 = groupBox(this, QStringLiteral("RzGroupBox1"), QStringLiteral("Описание объекта"));
    auto *grid = new QGridLayout(RzGroupBox1);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    const auto row = [&](int line, const QString &caption, QLabel *&member, const QString &name) {
        auto *title = new QLabel(caption, RzGroupBox1);
        grid->addWidget(title, line, 0, Qt::AlignLeft | Qt::AlignTop);
        member = valueLabel(RzGroupBox1, name);
        // An address may span lines and an owner's name may be long.
        member->setWordWrap(true);
        grid->addWidget(member, line, 1, Qt::AlignTop);
    };
    row(0, QStringLiteral("Имя объекта:"), Label6, QStringLiteral("Label6"));
    row(1, QStringLiteral("Адрес:"), Label7, QStringLiteral("Label7"));
    row(2, QStringLiteral("Телефон 1:"), Label8, QStringLiteral("Label8"));
    row(3, QStringLiteral("Телефон 2:"), Label9, QStringLiteral("Label9"));
    row(4, QStringLiteral("Владелец:"), Label10, QStringLiteral("Label10"));
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(5, 1);
}

void TForm6::buildGuard()
{
    RzGroupBox2 = groupBox(this, QStringLiteral("RzGroupBox2"), QStringLiteral("Состояние охраны"));
    auto *column = new QVBoxLayout(RzGroupBox2);
    Label24 = valueLabel(RzGroupBox2, QStringLiteral("Label24"));
    QFont font = Label24->font();
    font.setPointSize(10);
    Label24->setFont(font);
    Label24->setMinimumHeight(19);
    Label24->setAlignment(Qt::AlignCenter);
    Label24->setText(QStringLiteral("На охране"));
    column->addWidget(Label24);
    auto *buttons = new QHBoxLayout;
    SpeedButton1 = button(RzGroupBox2, QStringLiteral("SpeedButton1"), QStringLiteral("Поставить"));
    SpeedButton2 = button(RzGroupBox2, QStringLiteral("SpeedButton2"), QStringLiteral("Снять"));
    buttons->addWidget(SpeedButton1);
    buttons->addWidget(SpeedButton2);
    column->addLayout(buttons);
    column->addStretch(1);
    connect(SpeedButton1, &QPushButton::clicked, this, &TForm6::SpeedButton1Click);
    connect(SpeedButton2, &QPushButton::clicked, this, &TForm6::SpeedButton2Click);
}

Indicator *TForm6::addIndicatorRow(QWidget *box, QGridLayout *grid, int line, const StatusBits::Row &row)
{
    grid->addWidget(new QLabel(row.label, box), line, 0);
    auto *shape = new Indicator(row.shape, box);
    grid->addWidget(shape, line, 1, Qt::AlignRight | Qt::AlignVCenter);
    m_indicators.append({shape, row});
    return shape;
}

void TForm6::buildSensors()
{
    RzGroupBox3 = groupBox(this, QStringLiteral("RzGroupBox3"), QStringLiteral("Последнее состояние датчиков"));
    RzGroupBox3->setMinimumHeight(257);
    auto *grid = new QGridLayout(RzGroupBox3);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    Indicator **members[] = {&Shape1, &Shape2, &Shape3, &Shape4, &Shape5, &Shape6,
                             &Shape7, &Shape8, &Shape9, &Shape10, &Shape11, &Shape12};
    const QList<StatusBits::Row> &rows = StatusBits::sensors();
    Q_ASSERT(rows.size() == int(std::size(members)));
    for (int line = 0; line < rows.size(); ++line)
        *members[line] = addIndicatorRow(RzGroupBox3, grid, line, rows.at(line));

    grid->addWidget(new QLabel(QStringLiteral("Текущая СИМ карта"), RzGroupBox3), int(rows.size()), 0);
    Label31 = valueLabel(RzGroupBox3, QStringLiteral("Label31"));
    Label31->setMinimumWidth(30);
    Label31->setAlignment(Qt::AlignCenter);
    grid->addWidget(Label31, int(rows.size()), 1, Qt::AlignRight | Qt::AlignVCenter);
    grid->setColumnStretch(0, 1);
}

void TForm6::buildService()
{
    RzGroupBox5 = groupBox(this, QStringLiteral("RzGroupBox5"), QStringLiteral("Сервис"));
    auto *column = new QVBoxLayout(RzGroupBox5);
    SpeedButton3 = button(RzGroupBox5, QStringLiteral("SpeedButton3"), RequestCaption);
    SpeedButton4 = button(RzGroupBox5, QStringLiteral("SpeedButton4"), QStringLiteral("Голосовое соединение"));
    SpeedButton5 = button(RzGroupBox5, QStringLiteral("SpeedButton5"), QStringLiteral("Кадр с камеры"));
    column->addWidget(SpeedButton3);
    column->addWidget(SpeedButton4);
    column->addWidget(SpeedButton5);
    column->addStretch(1);
    connect(SpeedButton3, &QPushButton::clicked, this, &TForm6::SpeedButton3Click);
    connect(SpeedButton4, &QPushButton::clicked, this, &TForm6::SpeedButton4Click);
    connect(SpeedButton5, &QPushButton::clicked, this, &TForm6::SpeedButton5Click);
}

void TForm6::buildOutputs()
{
    RzGroupBox4 = groupBox(this, QStringLiteral("RzGroupBox4"), QStringLiteral("Управление выходами"));
    RzGroupBox4->setMinimumHeight(145);
    auto *grid = new QGridLayout(RzGroupBox4);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    Indicator **members[] = {&Shape13, &Shape14, &Shape15, &Shape16, &Shape17, &Shape18};
    const QList<StatusBits::Row> &rows = StatusBits::outputs();
    Q_ASSERT(rows.size() == int(std::size(members)));
    for (int line = 0; line < rows.size(); ++line) {
        Indicator *shape = addIndicatorRow(RzGroupBox4, grid, line, rows.at(line));
        *members[line] = shape;
        shape->setCursor(Qt::PointingHandCursor);
        shape->setToolTip(rows.at(line).label);
        connect(shape, &Indicator::mouseDown, this, [this, shape](Qt::MouseButton pressed) { ShapeMouseDown(shape, pressed); });
    }
    grid->setColumnStretch(0, 1);
}

bool TForm6::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::WindowActivate:
        // Focus coming back from the card's own message box is no return from
        // another window: reloading then would show a failure's box once more,
        // and again, without end.
        if (m_backFromOwnWindow)
            m_backFromOwnWindow = false;
        else if (!m_activating)
            FormActivate();
        break;
    case QEvent::WindowDeactivate:
        m_backFromOwnWindow = ownsWindow(QApplication::activeWindow());
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool TForm6::ownsWindow(const QWidget *window) const
{
    for (const QWidget *w = window ? window->parentWidget() : nullptr; w; w = w->parentWidget()) {
        if (w == this)
            return true;
    }
    return false;
}

void TForm6::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    WindowPlacement::centreOver(this, parentWidget() ? parentWidget()->window() : nullptr);
}

void TForm6::FormActivate()
{
    const QScopedValueRollback<bool> guard(m_activating, true);
    const QString imei = m_state.Selected_IMEI;
    std::optional<CardObject> object;
    if (!imei.isEmpty()) {
        const auto found = m_database.selectOne(CardSql::object(m_database.escaper(), imei),
                                                [&](const DbRow &row) { object = CardObject::fromRow(row); });
        if (found == Database::Lookup::Failed) {
            if (m_state.dialogs)
                m_state.dialogs->message(this, QStringLiteral("Нет доступа к таблице объектов"));
            return;
        }
    }
    if (!object) {
        showNoObject();
        return;
    }

    m_imei = imei;
    setWindowTitle(object->Name.isEmpty() ? DefaultCaption : object->Name);
    Label6->setText(object->Name);
    Label8->setText(object->Number1);
    Label9->setText(object->Number2);
    Label7->setText(object->Address);
    Label10->setText(object->Owner);
    Show_Guard_State(object->State);
    StatusDecoding(object->Status);
    setCommandsEnabled(true);
}

void TForm6::showNoObject()
{
    m_imei.clear();
    m_statusWait->stop();
    setWindowTitle(DefaultCaption);
    for (QLabel *label : {Label6, Label7, Label8, Label9, Label10, Label24, Label31})
        label->clear();
    for (const auto &[shape, row] : std::as_const(m_indicators))
        IndState(shape, 0);
    SpeedButton3->setText(RequestCaption);
    setCommandsEnabled(false);
}

void TForm6::setCommandsEnabled(bool enabled)
{
    for (QPushButton *b : {SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4, SpeedButton5})
        b->setEnabled(enabled);
    for (Indicator *shape : {Shape13, Shape14, Shape15, Shape16, Shape17, Shape18})
        shape->setEnabled(enabled);
}

void TForm6::Show_Guard_State(quint8 code)
{
    if (const std::optional<QString> text = CardObject::guardText(code))
        Label24->setText(*text);
}

void TForm6::Show_Object_State(const QString &imei, quint8 code)
{
    if (!m_imei.isEmpty() && imei == m_imei)
        Show_Guard_State(code);
}

void TForm6::StatusDecoding(quint32 word)
{
    Label31->setText(StatusBits::simCard(word));
    for (const auto &[shape, row] : std::as_const(m_indicators))
        IndState(shape, StatusBits::isActive(row, word));
    SpeedButton3->setText(RequestCaption);
    m_statusWait->stop();
}

void TForm6::showStatusReport(const QByteArray &imeiField, quint32 word)
{
    // A report answers whoever asked for that unit, the object list's
    // commands included: another unit's sensors are not this object's.
    if (Packets::isBlankImei(imeiField) || Packets::namesUnit(imeiField, m_imei))
        StatusDecoding(word);
}

void TForm6::setStatusWaitMilliseconds(int milliseconds)
{
    m_statusWait->setInterval(milliseconds);
}

void TForm6::statusWaitEnded()
{
    SpeedButton3->setText(RequestCaption);
    if (m_state.dialogs)
        m_state.dialogs->message(this, QStringLiteral("Объект не ответил на запрос состояния"));
}

void TForm6::IndState(Indicator *shape, int flag)
{
    shape->setHatched(false);
    shape->setColour(QColor(flag ? Indicator::clLime : Indicator::clGreen));
}

bool TForm6::mayCommand()
{
    // A packet needs the IMEI of an object the card has found; and a command
    // the link cannot take is not sent, so nothing is marked as pending.
    if (m_imei.isEmpty() || !m_link.isActive())
        return false;
    if (!Packets::imeiFits(m_imei)) {
        if (m_state.dialogs)
            m_state.dialogs->message(this, Packets::imeiMisfitMessage());
        return false;
    }
    return true;
}

void TForm6::SpeedButton1Click()
{
    if (mayCommand())
        m_link.Send_Packet(Packets::guard(m_imei, true));
}

void TForm6::SpeedButton2Click()
{
    if (mayCommand())
        m_link.Send_Packet(Packets::guard(m_imei, false));
}

void TForm6::SpeedButton3Click()
{
    if (!mayCommand())
        return;
    m_link.Send_Packet(Packets::command(m_imei, Packets::RequestStatus));
    SpeedButton3->setText(WaitingCaption);
    m_statusWait->start();
}

QString TForm6::voiceCallRefusal(QString *number)
{
    switch (m_rights.User_Number(number)) {
    case Database::Lookup::Failed:
        return QStringLiteral("Не удается прочитать номер телефона оператора") + CallNotRequested;
    case Database::Lookup::Missing:
        return QStringLiteral("У оператора не указан номер телефона") + CallNotRequested;
    case Database::Lookup::Found:
        break;
    }
    // The unit would call "0" or whatever the cut field still holds.
    if (number->trimmed().isEmpty())
        return QStringLiteral("У оператора не указан номер телефона") + CallNotRequested;
    if (Cp1251::firstUnencodable(*number) >= 0 || Cp1251::encode(*number).size() > Packets::TextFieldSize)
        return QStringLiteral("Номер телефона оператора не помещается в %1 символов кодовой страницы 1251")
                   .arg(Packets::TextFieldSize)
            + CallNotRequested;
    return {};
}

void TForm6::SpeedButton4Click()
{
    if (!mayCommand())
        return;
    QString number;
    if (const QString refusal = voiceCallRefusal(&number); !refusal.isEmpty()) {
        if (m_state.dialogs)
            m_state.dialogs->message(this, refusal);
        return;
    }
    m_link.Send_Packet(Packets::command(m_imei, Packets::VoiceCall, Packets::textField(number)));
}

void TForm6::SpeedButton5Click()
{
    if (mayCommand())
        m_link.Send_Packet(Packets::command(m_imei, Packets::Camera, QByteArray(1, '\3')));
}

void TForm6::ShapeMouseDown(Indicator *shape, Qt::MouseButton button)
{
    if (button != Qt::LeftButton || m_imei.isEmpty())
        return;
    for (const auto &[candidate, row] : std::as_const(m_indicators)) {
        if (candidate != shape || row.output < 0)
            continue;
        const quint8 value = StatusBits::outputValue(row, shape->colour() != QColor(Indicator::clGreen));
        if (Send_Output(quint8(row.output), value))
            shape->setHatched(true);
        return;
    }
}

bool TForm6::Send_Output(quint8 output, quint8 value)
{
    if (!mayCommand())
        return false;
    m_link.Send_Packet(Packets::output(m_imei, output, value));
    return true;
}
