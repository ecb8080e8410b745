#include "ObjectTab.h"

#include "AdminSql.h"
#include "KeptField.h"
#include "ObjectImeis.h"

#include <QComboBox>
#include <QCompleter>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>

using namespace AdminWidgets;

namespace {

// The editor's fields in the order of the columns they show: name, caption
// and the most that may be typed (0: no limit).
struct FieldRow
{
    const char *name;
    const char *caption;
    int limit;
    const char *column;
};
constexpr FieldRow LineFields[] = {
    {"Edit2", "Модель", 20, "Name"},
    {"Edit3", "Тел. номер 1", 11, "Number1"},
    {"Edit4", "Тел. номер 2", 11, "Number2"},
    {"Edit5", "Ответственный", 40, "Owner"},
    {"Edit6", "Телефон ответственного", 11, "Num_owner"},
};
constexpr FieldRow AddressField = {"Memo1", "Адрес", 100, "Address"};
constexpr FieldRow TailFields[] = {{"Edit7", "Уточнение", 40, "Addr_"}, {"Edit8", "Врем опроса объекта, мин", 0, "Timeout"}};
constexpr FieldRow GroupField = {"GroupBox", "Группа", 0, "Group_"};

} // namespace

ObjectTab::ObjectTab(StationState &state, Database &database, ObjectImeis &imeis, QWidget *parent)
    : AdminTab(state, database, QStringLiteral("TabSheet2"), parent)
    , m_imeis(imeis)
{
    Label3 = label(this, QStringLiteral("Label3"), QStringLiteral("Объектов:"));
    Label4 = label(this, QStringLiteral("Label4"), QStringLiteral("0"));
    ObjectFind = edit(this, QStringLiteral("ObjectFind"));
    ObjectFind->setPlaceholderText(QStringLiteral("Найти IMEI"));
    ObjectFind->setClearButtonEnabled(true);
    ObjectFind->setCompleter(imeiCompleter(&m_imeis, ObjectFind));
    connect(ObjectFind->completer(), qOverload<const QString &>(&QCompleter::activated), this, &ObjectTab::find);
    connect(ObjectFind, &QLineEdit::returnPressed, this, [this] { find(ObjectFind->text().trimmed()); });
    StringGrid2 = grid(this, QStringLiteral("StringGrid2"), {}, {150});
    StringGrid2->setMaximumWidth(190);

    auto *form = new QFormLayout;
    const auto addLine = [this, form](const FieldRow &row) {
        QLineEdit *line = edit(this, QLatin1String(row.name));
        m_fields << new KeptField(line, QString::fromUtf8(row.caption), row.limit);
        m_columns << QLatin1String(row.column);
        form->addRow(label(this, QString(), QString::fromUtf8(row.caption)), line);
        return line;
    };
    QLineEdit **lines[] = {&Edit2, &Edit3, &Edit4, &Edit5, &Edit6};
    for (size_t i = 0; i < std::size(LineFields); ++i)
        *lines[i] = addLine(LineFields[i]);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QLatin1String(AddressField.name));
    Memo1->setFixedHeight(2 * Memo1->fontMetrics().lineSpacing() + 12);
    Memo1->setTabChangesFocus(true);
    m_fields << new KeptField(Memo1, QString::fromUtf8(AddressField.caption), AddressField.limit);
    m_columns << QLatin1String(AddressField.column);
    form->addRow(label(this, QString(), QString::fromUtf8(AddressField.caption)), Memo1);
    Edit7 = addLine(TailFields[0]);
    Edit8 = addLine(TailFields[1]);
    GroupBox = new QComboBox(this);
    GroupBox->setObjectName(QLatin1String(GroupField.name));
    GroupBox->setEditable(true);
    GroupBox->setInsertPolicy(QComboBox::NoInsert);
    // Group names compare exactly: completing "север" to "Север" would store
    // another group than the one typed.
    GroupBox->completer()->setCaseSensitivity(Qt::CaseSensitive);
    m_fields << new KeptField(GroupBox, QString::fromUtf8(GroupField.caption));
    m_columns << QLatin1String(GroupField.column);
    form->addRow(label(this, QString(), QString::fromUtf8(GroupField.caption)), GroupBox);
    SpeedButton3 = button(this, QStringLiteral("SpeedButton3"), QStringLiteral("Сохранить"));
    auto *saveRow = new QHBoxLayout;
    saveRow->addStretch();
    saveRow->addWidget(SpeedButton3);
    form->addRow(saveRow);

    auto *count = new QHBoxLayout;
    count->addWidget(Label3);
    count->addWidget(Label4);
    count->addStretch();
    auto *list = new QVBoxLayout;
    list->addWidget(ObjectFind);
    list->addWidget(StringGrid2);
    auto *layout = new QGridLayout(this);
    layout->addLayout(count, 0, 0);
    layout->addLayout(list, 1, 0);
    layout->addLayout(form, 1, 1);
    layout->setColumnStretch(1, 1);

    connect(StringGrid2, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0)
            showObject(row);
    });
    connect(StringGrid2, &QTableWidget::cellClicked, this, [this](int row) { showObject(row); });
    connect(SpeedButton3, &QPushButton::clicked, this, &ObjectTab::save);
}

void ObjectTab::reload()
{
    readImeis(m_imeis);
    if (m_imeis.isFresh()) {
        const QStringList &imeis = m_imeis.stringList();
        QList<QStringList> rows;
        rows.reserve(imeis.size());
        for (const QString &imei : imeis)
            rows.append({imei});
        Label4->setText(QString::number(imeis.size()));
        fillGrid(StringGrid2, rows);
    }
    loadGroupNames(GroupBox);
    {
        const QSignalBlocker blocker(StringGrid2);
        StringGrid2->setCurrentCell(0, 0);
    }
    showObject(0);
}

void ObjectTab::showObject(int row)
{
    const QString imei = cellText(StringGrid2, row, 0);
    QStringList values;
    const Database::Lookup found = imei.isEmpty()
        ? Database::Lookup::Missing
        : m_database.selectOne(AdminSql::objectFields(q(), imei), [&values](const DbRow &r) {
              for (unsigned int column = 0; column < r.fields(); ++column)
                  values << r.text(column);
          });
    // Only an object read whole can be saved: nothing of the object shown
    // before may stand under this IMEI, and an object that is not there
    // (an empty list, or removed since the list was read) has nothing to
    // save.
    SpeedButton3->setEnabled(found == Database::Lookup::Found);
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (found == Database::Lookup::Found)
            m_fields.at(i)->show(values.value(i));
        else
            m_fields.at(i)->clear();
    }
    if (found == Database::Lookup::Failed)
        say(QStringLiteral("Нет доступа к таблице объектов"));
}

void ObjectTab::save()
{
    const QString imei = cellText(StringGrid2, actedRow(StringGrid2), 0);
    // Only what the administrator changed: a column another program wrote
    // since the object was read keeps what it wrote.
    QList<QPair<QString, QString>> changed;
    QStringList typed;
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        const KeptField *field = m_fields.at(i);
        if (field->tooLong()) {
            say(QStringLiteral("В поле \"%1\" не более %2 символов. Данные не сохранены.")
                    .arg(field->caption())
                    .arg(field->limit()));
            return;
        }
        if (!field->changed())
            continue;
        changed.append({m_columns.at(i), field->text()});
        typed << field->text();
    }
    if (changed.isEmpty()) {
        say(QStringLiteral("Данные не изменены"));
        return;
    }
    if (refuseUnencodable(typed))
        return;
    if (!m_database.exec(AdminSql::saveObject(q(), changed, imei))) {
        say(QStringLiteral("Некорректные данные, проверьте правильность ввода"));
        return;
    }
    if (m_database.matchedRows() == 0) {
        say(QStringLiteral("Объекта %1 больше нет в базе данных: данные не сохранены").arg(imei));
        return;
    }
    // What is stored now is what the fields show.
    for (KeptField *field : std::as_const(m_fields))
        field->show(field->text());
    say(QStringLiteral("Данные обновлены"));
}

void ObjectTab::find(const QString &imei)
{
    for (int row = 0; row < StringGrid2->rowCount(); ++row) {
        if (cellText(StringGrid2, row, 0) == imei) {
            StringGrid2->setCurrentCell(row, 0);
            StringGrid2->scrollToItem(StringGrid2->item(row, 0));
            return;
        }
    }
}
