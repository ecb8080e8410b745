#include "TForm5.h"

#include "AdminSql.h"
#include "Cp1251.h"
#include "Database.h"
#include "Dialogs.h"
#include "StationState.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// MariaDB's ER_CANNOT_USER: for CREATE USER, the account is already there.
constexpr unsigned int AccountExists = 1396;

const QString Administrator = QStringLiteral("1");

const QStringList SourceKeywords = {
    QStringLiteral("TIME"),  QStringLiteral("ING"),    QStringLiteral("SEIF"), QStringLiteral("VIBRA"),
    QStringLiteral("UIN"),   QStringLiteral("GSENS"),  QStringLiteral("HSENS"), QStringLiteral("TUMPER"),
    QStringLiteral("POW"),   QStringLiteral("AKK"),    QStringLiteral("SIREN"), QStringLiteral("LOCK"),
    QStringLiteral("UOUT"),  QStringLiteral("RES"),    QStringLiteral("RELE"), QStringLiteral("ARM"),
    QStringLiteral("DISARM"),
};

const QStringList ActionKeywords = {
    QStringLiteral("ARM"),       QStringLiteral("DISARM"),    QStringLiteral("SIREN ON"), QStringLiteral("SIREN OFF"),
    QStringLiteral("LOCK ON"),   QStringLiteral("LOCK OFF"),  QStringLiteral("UOUT ON"),  QStringLiteral("UOUT OFF"),
    QStringLiteral("RESOUT ON"), QStringLiteral("RESOUT OFF"), QStringLiteral("RELE ON"), QStringLiteral("RELE OFF"),
    QStringLiteral("RESET"),     QStringLiteral("SINT ON"),   QStringLiteral("SINT OFF"), QStringLiteral("PICTURE"),
};

template<typename T>
T *named(T *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel *label(QWidget *parent, const QString &name, const QString &text)
{
    auto *result = named(new QLabel(text, parent), name);
    result->setTextFormat(Qt::PlainText);
    return result;
}

QLabel *caption(QWidget *parent, const QString &text)
{
    return label(parent, QString(), text);
}

QLineEdit *edit(QWidget *parent, const QString &name, int maxLength = 0)
{
    auto *result = named(new QLineEdit(parent), name);
    if (maxLength > 0)
        result->setMaxLength(maxLength);
    return result;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &text)
{
    auto *result = named(new QPushButton(text, parent), name);
    result->setAutoDefault(false);
    return result;
}

// A read-only grid; headers, when given, stand over the columns.
QTableWidget *grid(QWidget *parent, const QString &name, const QStringList &headers, const QList<int> &widths)
{
    auto *result = named(new QTableWidget(1, int(widths.size()), parent), name);
    result->verticalHeader()->hide();
    result->verticalHeader()->setDefaultSectionSize(std::max(16, result->fontMetrics().height() + 4));
    result->setEditTriggers(QAbstractItemView::NoEditTriggers);
    result->setSelectionBehavior(QAbstractItemView::SelectRows);
    result->setSelectionMode(QAbstractItemView::SingleSelection);
    result->setWordWrap(false);
    if (headers.isEmpty()) {
        result->horizontalHeader()->hide();
        result->horizontalHeader()->setStretchLastSection(true);
    } else {
        result->setHorizontalHeaderLabels(headers);
        result->horizontalHeader()->setStretchLastSection(true);
    }
    // The laid-out widths, or wider where this desktop's font needs the room
    // for a heading.
    const QFontMetrics metrics = result->horizontalHeader()->fontMetrics();
    for (int column = 0; column < widths.size(); ++column) {
        const int heading = headers.isEmpty() ? 0 : metrics.horizontalAdvance(headers.at(column)) + 16;
        result->setColumnWidth(column, std::max(widths.at(column), heading));
    }
    return result;
}

QTableWidgetItem *cellItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

QString cellText(const QTableWidget *grid, int row, int column)
{
    const QTableWidgetItem *item = grid->item(row, column);
    return item ? item->text() : QString();
}

// The row the grid's buttons act on: the current one, the first when none is.
int actedRow(const QTableWidget *grid)
{
    return std::max(grid->currentRow(), 0);
}

// The rows read into the grid; it keeps at least one row, emptied when there
// is nothing to show.
void fillGrid(QTableWidget *grid, const QList<QStringList> &rows)
{
    const QSignalBlocker blocker(grid);
    const int columns = grid->columnCount();
    grid->setRowCount(std::max(int(rows.size()), 1));
    for (int column = 0; column < columns; ++column)
        grid->setItem(0, column, cellItem(QString()));
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < columns; ++column)
            grid->setItem(row, column, cellItem(rows.at(row).value(column)));
    }
    // A column of a headed grid grows to show its longest value whole.
    if (!grid->horizontalHeader()->isHidden()) {
        const QFontMetrics metrics = grid->fontMetrics();
        for (int column = 0; column + 1 < columns; ++column) {
            int width = grid->columnWidth(column);
            for (const QStringList &row : rows)
                width = std::max(width, metrics.horizontalAdvance(row.value(column)) + 12);
            grid->setColumnWidth(column, width);
        }
    }
}

} // namespace

TForm5::TForm5(StationState &state, Database &database, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
    , m_database(database)
{
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QStringLiteral("Настройка базы данных"));

    PageControl1 = named(new QTabWidget(this), QStringLiteral("PageControl1"));
    TabSheet1 = buildGroupTab();
    TabSheet2 = buildObjectTab();
    TabSheet3 = buildUserTab();
    TabSheet4 = buildTextTab();
    TabSheet5 = buildKeyTab();
    TabSheet6 = buildRuleTab();
    PageControl1->addTab(TabSheet1, QStringLiteral("Редактор групп"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Объекты"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Пользователи"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Текст. сообщения"));
    PageControl1->addTab(TabSheet5, QStringLiteral("Определение ключей"));
    PageControl1->addTab(TabSheet6, QStringLiteral("Настройка событий"));
    PageControl1->setCurrentIndex(0);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(PageControl1);
    resize(820, 500);

    WindowPlacement::closeOnEscape(this);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (isVisible())
            tabShown(index);
    });
}

QWidget *TForm5::buildGroupTab()
{
    auto *tab = named(new QWidget, QStringLiteral("TabSheet1"));
    Label1 = label(tab, QStringLiteral("Label1"), QStringLiteral("Групп:"));
    Label2 = label(tab, QStringLiteral("Label2"), QStringLiteral("0"));
    StringGrid1 = grid(tab, QStringLiteral("StringGrid1"), {}, {220});
    StringGrid1->verticalHeader()->setDefaultSectionSize(16);
    StringGrid1->setMaximumWidth(260);
    Edit1 = edit(tab, QStringLiteral("Edit1"));
    SpeedButton1 = button(tab, QStringLiteral("SpeedButton1"), QStringLiteral("Добавить"));
    SpeedButton2 = button(tab, QStringLiteral("SpeedButton2"), QStringLiteral("Удалить"));

    auto *count = new QHBoxLayout;
    count->addWidget(Label1);
    count->addWidget(Label2);
    count->addStretch();
    auto *side = new QVBoxLayout;
    side->addWidget(caption(tab, QStringLiteral("Название группы")));
    side->addWidget(Edit1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SpeedButton1);
    buttons->addWidget(SpeedButton2);
    side->addLayout(buttons);
    side->addStretch();
    auto *grid = new QGridLayout(tab);
    grid->addLayout(count, 0, 0);
    grid->addWidget(StringGrid1, 1, 0);
    grid->addLayout(side, 1, 1);
    grid->setColumnStretch(1, 1);

    connect(SpeedButton1, &QPushButton::clicked, this, &TForm5::SpeedButton1Click);
    connect(Edit1, &QLineEdit::returnPressed, this, &TForm5::SpeedButton1Click);
    connect(SpeedButton2, &QPushButton::clicked, this, &TForm5::SpeedButton2Click);
    return tab;
}

QWidget *TForm5::buildObjectTab()
{
    auto *tab = named(new QWidget, QStringLiteral("TabSheet2"));
    Label3 = label(tab, QStringLiteral("Label3"), QStringLiteral("Объектов:"));
    Label4 = label(tab, QStringLiteral("Label4"), QStringLiteral("0"));
    StringGrid2 = grid(tab, QStringLiteral("StringGrid2"), {}, {150});
    StringGrid2->setMaximumWidth(190);
    Edit2 = edit(tab, QStringLiteral("Edit2"), 20);
    Edit3 = edit(tab, QStringLiteral("Edit3"), 11);
    Edit4 = edit(tab, QStringLiteral("Edit4"), 11);
    Edit5 = edit(tab, QStringLiteral("Edit5"), 40);
    Edit6 = edit(tab, QStringLiteral("Edit6"), 11);
    Memo1 = named(new QPlainTextEdit(tab), QStringLiteral("Memo1"));
    Memo1->setFixedHeight(2 * Memo1->fontMetrics().lineSpacing() + 12);
    Memo1->setTabChangesFocus(true);
    Edit7 = edit(tab, QStringLiteral("Edit7"), 40);
    Edit8 = edit(tab, QStringLiteral("Edit8"));
    GroupBox = named(new QComboBox(tab), QStringLiteral("GroupBox"));
    GroupBox->setEditable(true);
    GroupBox->setInsertPolicy(QComboBox::NoInsert);
    // Group names compare exactly: completing "север" to "Север" would store
    // another group than the one typed.
    GroupBox->completer()->setCaseSensitivity(Qt::CaseSensitive);
    SpeedButton3 = button(tab, QStringLiteral("SpeedButton3"), QStringLiteral("Сохранить"));

    // A memo has no length limit of its own: what goes past 100 characters is cut off.
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = Memo1->toPlainText();
        if (text.size() <= 100)
            return;
        const QSignalBlocker blocker(Memo1);
        Memo1->setPlainText(text.left(100));
        Memo1->moveCursor(QTextCursor::End);
    });

    auto *count = new QHBoxLayout;
    count->addWidget(Label3);
    count->addWidget(Label4);
    count->addStretch();
    auto *form = new QFormLayout;
    form->addRow(caption(tab, QStringLiteral("Модель")), Edit2);
    form->addRow(caption(tab, QStringLiteral("Тел. номер 1")), Edit3);
    form->addRow(caption(tab, QStringLiteral("Тел. номер 2")), Edit4);
    form->addRow(caption(tab, QStringLiteral("Ответственный")), Edit5);
    form->addRow(caption(tab, QStringLiteral("Телефон ответственного")), Edit6);
    form->addRow(caption(tab, QStringLiteral("Адрес")), Memo1);
    form->addRow(caption(tab, QStringLiteral("Уточнение")), Edit7);
    form->addRow(caption(tab, QStringLiteral("Врем опроса объекта, мин")), Edit8);
    form->addRow(caption(tab, QStringLiteral("Группа")), GroupBox);
    auto *save = new QHBoxLayout;
    save->addStretch();
    save->addWidget(SpeedButton3);
    form->addRow(save);
    auto *grid = new QGridLayout(tab);
    grid->addLayout(count, 0, 0);
    grid->addWidget(StringGrid2, 1, 0);
    grid->addLayout(form, 1, 1);
    grid->setColumnStretch(1, 1);

    connect(StringGrid2, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0)
            StringGrid2SelectCell(row);
    });
    connect(StringGrid2, &QTableWidget::cellClicked, this, [this](int row) { StringGrid2SelectCell(row); });
    connect(SpeedButton3, &QPushButton::clicked, this, &TForm5::SpeedButton3Click);
    return tab;
}

QWidget *TForm5::buildUserTab()
{
    auto *tab = named(new QWidget, QStringLiteral("TabSheet3"));
    Label14 = label(tab, QStringLiteral("Label14"), QStringLiteral("Пользователей:"));
    Label15 = label(tab, QStringLiteral("Label15"), QStringLiteral("0"));
    StringGrid3 = grid(tab, QStringLiteral("StringGrid3"),
                       {QStringLiteral("Логин"), QStringLiteral("Пароль"), QStringLiteral("Хост"), QStringLiteral("Админ"),
                        QStringLiteral("Номер"), QStringLiteral("Группы")},
                       {70, 70, 69, 43, 69, 165});
    StringGrid3->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Edit12 = edit(tab, QStringLiteral("Edit12"), 16);
    Edit13 = edit(tab, QStringLiteral("Edit13"), 16);
    Edit14 = edit(tab, QStringLiteral("Edit14"), 15);
    Edit15 = edit(tab, QStringLiteral("Edit15"), 11);
    RzCheckBox1 = named(new QCheckBox(QStringLiteral("Администратор"), tab), QStringLiteral("RzCheckBox1"));
    RzCheckList1 = named(new QListWidget(tab), QStringLiteral("RzCheckList1"));
    SpeedButton5 = button(tab, QStringLiteral("SpeedButton5"), QStringLiteral("Добавить"));
    SpeedButton6 = button(tab, QStringLiteral("SpeedButton6"), QStringLiteral("Удалить"));
    SpeedButton7 = button(tab, QStringLiteral("SpeedButton7"), QStringLiteral("Обновить"));

    auto *count = new QHBoxLayout;
    count->addWidget(Label14);
    count->addWidget(Label15);
    count->addStretch();
    auto *form = new QFormLayout;
    form->addRow(caption(tab, QStringLiteral("Логин")), Edit12);
    form->addRow(caption(tab, QStringLiteral("Пароль")), Edit13);
    form->addRow(caption(tab, QStringLiteral("Хост")), Edit14);
    form->addRow(caption(tab, QStringLiteral("Номер")), Edit15);
    form->addRow(RzCheckBox1);
    auto *groups = new QVBoxLayout;
    groups->addWidget(caption(tab, QStringLiteral("Группы под контролем")));
    groups->addWidget(RzCheckList1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(SpeedButton5);
    buttons->addWidget(SpeedButton6);
    buttons->addWidget(SpeedButton7);
    buttons->addStretch();
    auto *fields = new QHBoxLayout;
    fields->addLayout(form);
    fields->addLayout(groups);
    fields->addLayout(buttons);
    auto *layout = new QVBoxLayout(tab);
    layout->addLayout(count);
    layout->addWidget(StringGrid3, 1);
    layout->addLayout(fields);

    connect(StringGrid3, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0)
            StringGrid3SelectCell(row);
    });
    connect(StringGrid3, &QTableWidget::cellClicked, this, [this](int row) { StringGrid3SelectCell(row); });
    connect(SpeedButton5, &QPushButton::clicked, this, &TForm5::SpeedButton5Click);
    connect(SpeedButton6, &QPushButton::clicked, this, &TForm5::SpeedButton6Click);
    connect(SpeedButton7, &QPushButton::clicked, this, &TForm5::SpeedButton7Click);
    return tab;
}

QWidget *TForm5::buildTextTab()
{
    auto *tab = named(new QWidget, QStringLiteral("TabSheet4"));
    Label20 = label(tab, QStringLiteral("Label20"), QStringLiteral("Сообщения"));
    StringGrid4 = grid(tab, QStringLiteral("StringGrid4"), {}, {220});
    StringGrid4->setMaximumWidth(260);
    Edit9 = edit(tab, QStringLiteral("Edit9"), 20);
    SpeedButton8 = button(tab, QStringLiteral("SpeedButton8"), QStringLiteral("Добавить"));
    SpeedButton9 = button(tab, QStringLiteral("SpeedButton9"), QStringLiteral("Удалить"));

    auto *side = new QVBoxLayout;
    side->addWidget(caption(tab, QStringLiteral("Текст сообщения")));
    side->addWidget(Edit9);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SpeedButton8);
    buttons->addWidget(SpeedButton9);
    side->addLayout(buttons);
    side->addStretch();
    auto *grid = new QGridLayout(tab);
    grid->addWidget(Label20, 0, 0);
    grid->addWidget(StringGrid4, 1, 0);
    grid->addLayout(side, 1, 1);
    grid->setColumnStretch(1, 1);

    connect(SpeedButton8, &QPushButton::clicked, this, &TForm5::SpeedButton8Click);
    connect(Edit9, &QLineEdit::returnPressed, this, &TForm5::SpeedButton8Click);
    connect(SpeedButton9, &QPushButton::clicked, this, &TForm5::SpeedButton9Click);
    return tab;
}

QWidget *TForm5::buildKeyTab()
{
    auto *tab = named(new QWidget, QStringLiteral("TabSheet5"));
    Label21 = label(tab, QStringLiteral("Label21"), QStringLiteral("Список ключей"));
    StringGrid5 = grid(tab, QStringLiteral("StringGrid5"), {QStringLiteral("Код ключа"), QStringLiteral("Владелец")},
                       {93, 197});
    StringGrid5->setMinimumWidth(330);
    StringGrid5->setMaximumWidth(360);
    Edit10 = edit(tab, QStringLiteral("Edit10"), 12);
    Edit11 = edit(tab, QStringLiteral("Edit11"), 20);
    SpeedButton10 = button(tab, QStringLiteral("SpeedButton10"), QStringLiteral("Добавить"));
    SpeedButton11 = button(tab, QStringLiteral("SpeedButton11"), QStringLiteral("Удалить"));

    auto *form = new QFormLayout;
    form->addRow(caption(tab, QStringLiteral("Код ключа")), Edit10);
    form->addRow(caption(tab, QStringLiteral("Владелец")), Edit11);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(SpeedButton10);
    buttons->addWidget(SpeedButton11);
    auto *side = new QVBoxLayout;
    side->addLayout(form);
    side->addLayout(buttons);
    side->addStretch();
    auto *grid = new QGridLayout(tab);
    grid->addWidget(Label21, 0, 0);
    grid->addWidget(StringGrid5, 1, 0);
    grid->addLayout(side, 1, 1);
    grid->setColumnStretch(1, 1);

    connect(SpeedButton10, &QPushButton::clicked, this, &TForm5::SpeedButton10Click);
    connect(Edit10, &QLineEdit::returnPressed, this, &TForm5::SpeedButton10Click);
    connect(Edit11, &QLineEdit::returnPressed, this, &TForm5::SpeedButton10Click);
    connect(SpeedButton11, &QPushButton::clicked, this, &TForm5::SpeedButton11Click);
    return tab;
}

QWidget *TForm5::buildRuleTab()
{
    auto *tab = named(new QWidget, QStringLiteral("TabSheet6"));
    StringGrid6 = grid(tab, QStringLiteral("StringGrid6"),
                       {QStringLiteral("Событие"), QStringLiteral("Объект/группа"), QStringLiteral("Источник"),
                        QStringLiteral("Действие")},
                       {140, 143, 100, 94});
    StringGrid6->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);

    RzRadioGroup1 = named(new QGroupBox(QStringLiteral("Событие"), tab), QStringLiteral("RzRadioGroup1"));
    Edit16 = edit(RzRadioGroup1, QStringLiteral("Edit16"));
    Edit16->setText(QStringLiteral("Название"));
    RzRadioButton1 = named(new QRadioButton(QStringLiteral("Объект"), RzRadioGroup1), QStringLiteral("RzRadioButton1"));
    RzRadioButton2 = named(new QRadioButton(QStringLiteral("Группа"), RzRadioGroup1), QStringLiteral("RzRadioButton2"));
    ComboBox2 = named(new QComboBox(RzRadioGroup1), QStringLiteral("ComboBox2"));
    ComboBox3 = named(new QComboBox(RzRadioGroup1), QStringLiteral("ComboBox3"));
    ComboBox3->hide();
    {
        auto *radios = new QHBoxLayout;
        radios->addWidget(RzRadioButton1);
        radios->addWidget(RzRadioButton2);
        radios->addStretch();
        auto *box = new QVBoxLayout(RzRadioGroup1);
        box->addWidget(Edit16);
        box->addLayout(radios);
        box->addWidget(ComboBox2);
        box->addWidget(ComboBox3);
    }

    RzGroupBox1 = named(new QGroupBox(QStringLiteral("Источник события"), tab), QStringLiteral("RzGroupBox1"));
    MaskEdit1 = edit(RzGroupBox1, QStringLiteral("MaskEdit1"));
    // The hour's first digit may be left out; the blank stands for it.
    MaskEdit1->setInputMask(QStringLiteral("90:00;_"));
    MaskEdit1->setMaximumWidth(MaskEdit1->fontMetrics().horizontalAdvance(QStringLiteral("00:00")) + 24);
    ComboBox4 = named(new QComboBox(RzGroupBox1), QStringLiteral("ComboBox4"));
    ComboBox4->addItems(SourceKeywords);
    {
        auto *form = new QFormLayout(RzGroupBox1);
        form->addRow(caption(RzGroupBox1, QStringLiteral("Время")), MaskEdit1);
        form->addRow(caption(RzGroupBox1, QStringLiteral("Источник")), ComboBox4);
    }

    RzGroupBox2 = named(new QGroupBox(QStringLiteral("Действие"), tab), QStringLiteral("RzGroupBox2"));
    ComboBox5 = named(new QComboBox(RzGroupBox2), QStringLiteral("ComboBox5"));
    ComboBox5->addItems(ActionKeywords);
    (new QVBoxLayout(RzGroupBox2))->addWidget(ComboBox5);

    SpeedButton12 = button(tab, QStringLiteral("SpeedButton12"), QStringLiteral("Добавить"));
    SpeedButton13 = button(tab, QStringLiteral("SpeedButton13"), QStringLiteral("Удалить"));

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(SpeedButton12);
    buttons->addWidget(SpeedButton13);
    buttons->addStretch();
    auto *editors = new QHBoxLayout;
    editors->addWidget(RzRadioGroup1, 2);
    editors->addWidget(RzGroupBox1, 1);
    editors->addWidget(RzGroupBox2, 1);
    editors->addLayout(buttons);
    auto *layout = new QVBoxLayout(tab);
    layout->addWidget(StringGrid6, 1);
    layout->addLayout(editors);

    connect(RzRadioButton1, &QRadioButton::clicked, this, &TForm5::RzRadioButton1Click);
    connect(RzRadioButton2, &QRadioButton::clicked, this, &TForm5::RzRadioButton1Click);
    connect(SpeedButton12, &QPushButton::clicked, this, &TForm5::SpeedButton12Click);
    connect(SpeedButton13, &QPushButton::clicked, this, &TForm5::SpeedButton13Click);
    return tab;
}

void TForm5::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window brought back from the task bar shows what it showed.
    if (event->spontaneous())
        return;
    tabShown(PageControl1->currentIndex());
}

void TForm5::tabShown(int index)
{
    switch (index) {
    case 0: TabSheet1Show(); break;
    case 1: TabSheet2Show(); break;
    case 2: TabSheet3Show(); break;
    case 3: TabSheet4Show(); break;
    case 4: TabSheet5Show(); break;
    case 5: TabSheet6Show(); break;
    default: break;
    }
}

void TForm5::say(const QString &text)
{
    if (m_state.dialogs)
        m_state.dialogs->message(this, text);
}

QString TForm5::serverError() const
{
    return m_database.errorMessage();
}

bool TForm5::change(const QString &sql, const QString &failure)
{
    if (m_database.exec(sql))
        return true;
    say(failure.isEmpty() ? serverError() : failure);
    return false;
}

bool TForm5::refuseUnencodable(const QStringList &texts)
{
    // The tables hold code page 1251; the server would refuse such a text with
    // a message that does not say which character it was.
    for (const QString &text : texts) {
        const QString character = Cp1251::firstUnencodableCharacter(text);
        if (character.isEmpty())
            continue;
        say(QStringLiteral("Символ \"%1\" нельзя сохранить в базе данных (только кириллица и латиница). "
                           "Данные не сохранены.")
                .arg(character));
        return true;
    }
    return false;
}

bool TForm5::readRows(const QString &sql, const QString &failText, QList<QStringList> *rows)
{
    const Database::Rows outcome = m_database.forEach(sql, [rows](const DbRow &row) {
        QStringList texts;
        for (unsigned int column = 0; column < row.fields(); ++column)
            texts << row.text(column);
        rows->append(texts);
        return true;
    });
    if (outcome == Database::Rows::Failed) {
        say(failText);
        return false;
    }
    if (outcome == Database::Rows::Cut)
        say(serverError());
    return true;
}

void TForm5::Load_Group_Names(QComboBox *box)
{
    box->clear();
    box->clearEditText();
    QList<QStringList> rows;
    readRows(AdminSql::groupNames(), QStringLiteral("Нет доступа к таблице групп"), &rows);
    for (const QStringList &row : std::as_const(rows))
        box->addItem(row.value(0));
    box->setCurrentIndex(-1);
}

// ---- groups

void TForm5::TabSheet1Show()
{
    QList<QStringList> rows;
    if (!readRows(AdminSql::groupNames(), QStringLiteral("Нет доступа к таблице групп"), &rows))
        return;
    Label2->setText(QString::number(rows.size()));
    fillGrid(StringGrid1, rows);
}

void TForm5::SpeedButton1Click()
{
    const QString name = Edit1->text();
    if (name.isEmpty()) {
        say(QStringLiteral("Введите название группы"));
        return;
    }
    if (refuseUnencodable({name}))
        return;
    if (change(AdminSql::addGroup(m_database.escaper(), name), QStringLiteral("Ошибка при добавлении данных")))
        TabSheet1Show();
}

void TForm5::SpeedButton2Click()
{
    const QString name = cellText(StringGrid1, actedRow(StringGrid1), 0);
    if (change(AdminSql::deleteGroup(m_database.escaper(), name), QStringLiteral("Ошибка при удалении данных")))
        TabSheet1Show();
}

// ---- objects

void TForm5::TabSheet2Show()
{
    QList<QStringList> rows;
    if (readRows(AdminSql::objectImeis(), QStringLiteral("Нет доступа к таблице объектов"), &rows)) {
        Label4->setText(QString::number(rows.size()));
        fillGrid(StringGrid2, rows);
    }
    Load_Group_Names(GroupBox);
    {
        const QSignalBlocker blocker(StringGrid2);
        StringGrid2->setCurrentCell(0, 0);
    }
    StringGrid2SelectCell(0);
}

void TForm5::showObjectFields(const QStringList &values)
{
    Edit2->setText(values.value(0));
    Edit3->setText(values.value(1));
    Edit4->setText(values.value(2));
    Edit5->setText(values.value(3));
    Edit6->setText(values.value(4));
    Memo1->setPlainText(values.value(5));
    Edit7->setText(values.value(6));
    Edit8->setText(values.value(7));
    GroupBox->setEditText(values.value(8));
}

void TForm5::StringGrid2SelectCell(int row)
{
    const QString imei = cellText(StringGrid2, row, 0);
    QStringList values;
    const Database::Lookup found =
        m_database.selectOne(AdminSql::objectFields(m_database.escaper(), imei), [&values](const DbRow &r) {
            for (unsigned int column = 0; column < r.fields(); ++column)
                values << r.text(column);
        });
    if (found == Database::Lookup::Failed) {
        say(QStringLiteral("Нет доступа к таблице объектов"));
        return;
    }
    // No row (an empty list, or an object removed since the list was read):
    // empty fields, so that nothing of another object stands under this IMEI.
    showObjectFields(values);
}

void TForm5::SpeedButton3Click()
{
    const QString imei = cellText(StringGrid2, actedRow(StringGrid2), 0);
    const AdminSql::ObjectFields fields{Edit2->text(), Edit3->text(),        Edit4->text(),
                                        Edit5->text(), Edit6->text(),        Memo1->toPlainText(),
                                        Edit7->text(), Edit8->text(),        GroupBox->currentText()};
    if (refuseUnencodable({fields.name, fields.number1, fields.number2, fields.owner, fields.numOwner, fields.address,
                           fields.addr, fields.timeout, fields.group}))
        return;
    if (m_database.exec(AdminSql::saveObject(m_database.escaper(), fields, imei)))
        say(QStringLiteral("Данные обновлены"));
    else
        say(QStringLiteral("Некорректные данные, проверьте правильность ввода"));
}

// ---- operators

void TForm5::Load_Group_Checklist()
{
    RzCheckList1->clear();
    QList<QStringList> rows;
    readRows(AdminSql::groupNames(), QStringLiteral("Нет доступа к таблице групп"), &rows);
    for (const QStringList &row : std::as_const(rows)) {
        auto *item = new QListWidgetItem(row.value(0), RzCheckList1);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
}

void TForm5::TabSheet3Show()
{
    QList<QStringList> rows;
    if (readRows(AdminSql::users(), QStringLiteral("Нет доступа к таблице пользователей"), &rows)) {
        Label15->setText(QString::number(rows.size()));
        fillGrid(StringGrid3, rows);
    }
    Load_Group_Checklist();
}

void TForm5::StringGrid3SelectCell(int row)
{
    const QStringList lines = AdminSql::groupLines(cellText(StringGrid3, row, 5));
    for (int i = 0; i < RzCheckList1->count(); ++i) {
        QListWidgetItem *item = RzCheckList1->item(i);
        item->setCheckState(lines.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
    Edit12->setText(cellText(StringGrid3, row, 0));
    Edit13->setText(cellText(StringGrid3, row, 1));
    Edit14->setText(cellText(StringGrid3, row, 2));
    Edit15->setText(cellText(StringGrid3, row, 4));
    RzCheckBox1->setChecked(cellText(StringGrid3, row, 3) == Administrator);
}

namespace {

QString tickedGroups(const QListWidget *list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            names << list->item(i)->text();
    }
    return AdminSql::groupsText(names);
}

} // namespace

void TForm5::runQuietly(const QString &sql)
{
    m_database.exec(sql);
}

bool TForm5::runAccountSteps(const QList<QPair<QString, QString>> &steps, QString *error)
{
    for (qsizetype done = 0; done < steps.size(); ++done) {
        if (m_database.exec(steps.at(done).first))
            continue;
        *error = serverError();
        for (qsizetype back = done - 1; back >= 0; --back)
            runQuietly(steps.at(back).second);
        return false;
    }
    return true;
}

void TForm5::SpeedButton5Click()
{
    const QString login = Edit12->text();
    const QString password = Edit13->text();
    const QString host = Edit14->text();
    const QString number = Edit15->text();
    const QString flag = RzCheckBox1->isChecked() ? Administrator : QStringLiteral("0");
    const QString groups = tickedGroups(RzCheckList1);
    // An empty name makes the server's anonymous account: it would let anyone
    // in under any name and could hide the operators' own accounts.
    if (login.isEmpty()) {
        say(QStringLiteral("Введите логин пользователя"));
        return;
    }
    if (refuseUnencodable({login, password, host, number}))
        return;
    const SqlEscaper q = m_database.escaper();

    if (!m_database.exec(AdminSql::createAccount(q, login, host, password))) {
        // Other refusals (no right to create accounts, a name the server does
        // not take) have their own reason, which the operator must see.
        if (m_database.errorNumber() == AccountExists)
            say(QStringLiteral("Пользователь с таким логином уже существует"));
        else
            say(serverError());
        return;
    }
    // An account without its grants cannot work at a station: it goes again.
    QStringList grants = AdminSql::operatorGrants(q, login, host);
    if (flag == Administrator)
        grants << AdminSql::grantAdministrator(q, login, host);
    for (const QString &grant : std::as_const(grants)) {
        if (m_database.exec(grant))
            continue;
        const QString error = serverError();
        runQuietly(AdminSql::dropAccount(q, login, host));
        say(error);
        return;
    }
    if (!m_database.exec(AdminSql::insertUser(q, login, password, host, flag, number, groups))) {
        runQuietly(AdminSql::dropAccount(q, login, host));
        say(QStringLiteral("Не удалось создать пользователя"));
        return;
    }
    TabSheet3Show();
    say(QStringLiteral("Пользователь добавлен"));
}

void TForm5::SpeedButton6Click()
{
    const int row = actedRow(StringGrid3);
    const QString login = cellText(StringGrid3, row, 0);
    const QString host = cellText(StringGrid3, row, 2);
    const SqlEscaper q = m_database.escaper();
    if (!m_database.exec(AdminSql::deleteUser(q, login))) {
        say(QStringLiteral("Ошибка при удалении данных"));
        return;
    }
    // Only an account whose row was there goes: the empty row of an empty
    // list, or a row another station removed, names no operator of ours.
    if (m_database.affectedRows() > 0)
        runQuietly(AdminSql::dropAccount(q, login, host));
    TabSheet3Show();
    say(QStringLiteral("Пользователь удален"));
}

void TForm5::SpeedButton7Click()
{
    const QString login = Edit12->text();
    const QString password = Edit13->text();
    const QString host = Edit14->text();
    const QString number = Edit15->text();
    const QString flag = RzCheckBox1->isChecked() ? Administrator : QStringLiteral("0");
    const QString groups = tickedGroups(RzCheckList1);
    if (refuseUnencodable({login, password, host, number}))
        return;
    const SqlEscaper q = m_database.escaper();

    QString storedPassword;
    QString storedHost;
    QString storedFlag;
    const Database::Lookup stored =
        m_database.selectOne(AdminSql::storedUser(q, login), [&](const DbRow &row) {
            storedPassword = row.text(0);
            storedHost = row.text(1);
            storedFlag = row.text(2);
        });
    if (stored == Database::Lookup::Failed) {
        say(serverError());
        return;
    }

    // The account follows its row: the operator's station logs in to the
    // monitoring server with the row and to the database with the account.
    // Each step knows how to take itself back should a later one be refused.
    QList<QPair<QString, QString>> steps;
    if (stored == Database::Lookup::Found) {
        if (password != storedPassword)
            steps.append({AdminSql::setPassword(q, login, storedHost, password),
                          AdminSql::setPassword(q, login, storedHost, storedPassword)});
        if (host != storedHost)
            steps.append({AdminSql::renameAccount(q, login, storedHost, host),
                          AdminSql::renameAccount(q, login, host, storedHost)});
        const bool wasAdministrator = storedFlag == Administrator;
        if (wasAdministrator != (flag == Administrator)) {
            const QString grant = AdminSql::grantAdministrator(q, login, host);
            const QString revoke = AdminSql::revokeAdministrator(q, login, host);
            steps.append(wasAdministrator ? qMakePair(revoke, grant) : qMakePair(grant, revoke));
        }
    }
    QString error;
    if (!runAccountSteps(steps, &error)) {
        say(error);
        return;
    }
    if (!m_database.exec(AdminSql::updateUser(q, password, host, flag, number, groups, login))) {
        error = serverError();
        for (qsizetype back = steps.size() - 1; back >= 0; --back)
            runQuietly(steps.at(back).second);
        say(error);
        return;
    }
    TabSheet3Show();
}

// ---- canned texts

void TForm5::TabSheet4Show()
{
    QList<QStringList> rows;
    if (readRows(AdminSql::texts(), QStringLiteral("Нет доступа к таблице сообщений"), &rows))
        fillGrid(StringGrid4, rows);
}

void TForm5::SpeedButton8Click()
{
    const QString text = Edit9->text();
    if (text.isEmpty()) {
        say(QStringLiteral("Введите сообщение"));
        return;
    }
    if (refuseUnencodable({text}))
        return;
    if (change(AdminSql::addText(m_database.escaper(), text), QStringLiteral("Ошибка при добавлении данных")))
        TabSheet4Show();
}

void TForm5::SpeedButton9Click()
{
    const QString text = cellText(StringGrid4, actedRow(StringGrid4), 0);
    if (change(AdminSql::deleteText(m_database.escaper(), text), QStringLiteral("Ошибка при удалении данных")))
        TabSheet4Show();
}

// ---- keys

void TForm5::TabSheet5Show()
{
    QList<QStringList> rows;
    if (readRows(AdminSql::keys(), QStringLiteral("Нет доступа к таблице ключей"), &rows))
        fillGrid(StringGrid5, rows);
}

void TForm5::SpeedButton10Click()
{
    const QString code = Edit10->text();
    const QString owner = Edit11->text();
    if (code.isEmpty() || owner.isEmpty()) {
        say(QStringLiteral("Введите данные"));
        return;
    }
    if (refuseUnencodable({code, owner}))
        return;
    if (change(AdminSql::addKey(m_database.escaper(), code, owner), QStringLiteral("Ошибка при добавлении данных")))
        TabSheet5Show();
}

void TForm5::SpeedButton11Click()
{
    const QString code = cellText(StringGrid5, actedRow(StringGrid5), 0);
    if (change(AdminSql::deleteKey(m_database.escaper(), code), QStringLiteral("Ошибка при удалении данных")))
        TabSheet5Show();
}

// ---- event rules

void TForm5::TabSheet6Show()
{
    QList<QStringList> rows;
    if (readRows(AdminSql::rules(), QStringLiteral("Нет доступа к таблице событий"), &rows))
        fillGrid(StringGrid6, rows);

    ComboBox2->clear();
    QList<QStringList> objects;
    readRows(AdminSql::objectImeis(), QStringLiteral("Нет доступа к таблице объектов"), &objects);
    for (const QStringList &row : std::as_const(objects))
        ComboBox2->addItem(row.value(0));
    ComboBox2->setCurrentIndex(-1);

    Load_Group_Names(ComboBox3);
}

void TForm5::RzRadioButton1Click()
{
    const bool object = RzRadioButton1->isChecked();
    ComboBox2->setVisible(object);
    ComboBox3->setVisible(!object);
}

QString TForm5::timeText() const
{
    QString text = MaskEdit1->displayText();
    text.replace(QLatin1Char('_'), QLatin1Char(' '));
    return text;
}

void TForm5::SpeedButton12Click()
{
    const QString action = ComboBox5->currentText();
    const QString source = ComboBox4->currentText() == QLatin1String("TIME") ? timeText() : ComboBox4->currentText();
    const QString object =
        RzRadioButton1->isChecked() ? ComboBox2->currentText() : QStringLiteral("G_") + ComboBox3->currentText();
    const QString name = Edit16->text();
    if (refuseUnencodable({name}))
        return;
    if (change(AdminSql::addRule(m_database.escaper(), name, object, source, action), {}))
        TabSheet6Show();
}

void TForm5::SpeedButton13Click()
{
    const int row = actedRow(StringGrid6);
    if (change(AdminSql::deleteRule(m_database.escaper(), cellText(StringGrid6, row, 1), cellText(StringGrid6, row, 2),
                                    cellText(StringGrid6, row, 3)),
               {}))
        TabSheet6Show();
}
