#include "AccountTab.h"

#include "AdminSql.h"
#include "Dialogs.h"
#include "StationState.h"
#include "KeptField.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace AdminWidgets;

namespace {

// MariaDB's ER_CANNOT_USER: for CREATE USER, the account is already there.
constexpr unsigned int AccountExists = 1396;

enum Column { LoginColumn, PassColumn, HostColumn, AdminColumn, NumberColumn, GroupsColumn };

} // namespace

AccountTab::AccountTab(StationState &state, Database &database, QWidget *parent)
    : AdminTab(state, database, QStringLiteral("TabSheet3"), parent)
{
    Label14 = label(this, QStringLiteral("Label14"), QStringLiteral("Пользователей:"));
    Label15 = label(this, QStringLiteral("Label15"), QStringLiteral("0"));
    StringGrid3 = grid(this, QStringLiteral("StringGrid3"),
                       {QStringLiteral("Логин"), QStringLiteral("Пароль"), QStringLiteral("Хост"), QStringLiteral("Админ"),
                        QStringLiteral("Номер"), QStringLiteral("Группы")},
                       {70, 70, 69, 43, 69, 165});
    StringGrid3->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    auto *form = new QFormLayout;
    const auto field = [this, form](QLineEdit *&member, const char *name, const QString &caption, int limit) {
        member = edit(this, QLatin1String(name));
        form->addRow(label(this, QString(), caption), member);
        return new KeptField(member, caption, limit);
    };
    m_login = field(Edit12, "Edit12", QStringLiteral("Логин"), 16);
    m_password = field(Edit13, "Edit13", QStringLiteral("Пароль"), 16);
    m_host = field(Edit14, "Edit14", QStringLiteral("Хост"), 15);
    m_number = field(Edit15, "Edit15", QStringLiteral("Номер"), 11);
    RzCheckBox1 = new QCheckBox(QStringLiteral("Администратор"), this);
    RzCheckBox1->setObjectName(QStringLiteral("RzCheckBox1"));
    form->addRow(RzCheckBox1);
    RzCheckList1 = new QListWidget(this);
    RzCheckList1->setObjectName(QStringLiteral("RzCheckList1"));
    SpeedButton5 = button(this, QStringLiteral("SpeedButton5"), QStringLiteral("Добавить"));
    SpeedButton6 = button(this, QStringLiteral("SpeedButton6"), QStringLiteral("Удалить"));
    SpeedButton7 = button(this, QStringLiteral("SpeedButton7"), QStringLiteral("Обновить"));
    FramesButton = button(this, QStringLiteral("FramesButton"), QStringLiteral("Доступ к кадрам"));
    FramesButton->setToolTip(QStringLiteral("Открыть операторам кадры с камер всех объектов, чьи таблицы кадров есть "
                                            "в базе данных сейчас"));

    auto *count = new QHBoxLayout;
    count->addWidget(Label14);
    count->addWidget(Label15);
    count->addStretch();
    auto *groups = new QVBoxLayout;
    groups->addWidget(label(this, QString(), QStringLiteral("Группы под контролем")));
    groups->addWidget(RzCheckList1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(SpeedButton5);
    buttons->addWidget(SpeedButton6);
    buttons->addWidget(SpeedButton7);
    buttons->addStretch();
    buttons->addWidget(FramesButton);
    auto *fields = new QHBoxLayout;
    fields->addLayout(form);
    fields->addLayout(groups);
    fields->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(count);
    layout->addWidget(StringGrid3, 1);
    layout->addLayout(fields);

    connect(StringGrid3, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0)
            showOperator(row);
    });
    connect(StringGrid3, &QTableWidget::cellClicked, this, [this](int row) { showOperator(row); });
    connect(SpeedButton5, &QPushButton::clicked, this, &AccountTab::create);
    connect(SpeedButton6, &QPushButton::clicked, this, &AccountTab::remove);
    connect(SpeedButton7, &QPushButton::clicked, this, &AccountTab::rewrite);
    connect(FramesButton, &QPushButton::clicked, this, &AccountTab::openFrames);
}

bool AccountTab::loadGroupChecklist()
{
    RzCheckList1->clear();
    QList<QStringList> rows;
    const bool read = readRows(AdminSql::groupNames(), QStringLiteral("Нет доступа к таблице групп"), &rows);
    for (const QStringList &row : std::as_const(rows)) {
        auto *item = new QListWidgetItem(row.value(0), RzCheckList1);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    return read;
}

void AccountTab::reload()
{
    QList<QStringList> rows;
    if (readRows(AdminSql::users(), QStringLiteral("Нет доступа к таблице пользователей"), &rows)) {
        Label15->setText(QString::number(rows.size()));
        fillGrid(StringGrid3, rows);
    }
    m_groupsRead = loadGroupChecklist();
    // The operator named in the login field is shown again as stored, his
    // groups ticked: a second "Обновить" must not write boxes a reload
    // emptied.
    const QString login = m_login->value();
    for (int row = 0; !login.isEmpty() && row < StringGrid3->rowCount(); ++row) {
        if (cellText(StringGrid3, row, LoginColumn) == login) {
            const QSignalBlocker blocker(StringGrid3);
            StringGrid3->setCurrentCell(row, 0);
            showOperator(row);
            break;
        }
    }
}

void AccountTab::showOperator(int row)
{
    const QStringList lines = AdminSql::groupLines(cellText(StringGrid3, row, GroupsColumn));
    for (int i = 0; i < RzCheckList1->count(); ++i) {
        QListWidgetItem *item = RzCheckList1->item(i);
        item->setCheckState(lines.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
    m_login->show(cellText(StringGrid3, row, LoginColumn));
    m_password->show(cellText(StringGrid3, row, PassColumn));
    m_host->show(cellText(StringGrid3, row, HostColumn));
    m_number->show(cellText(StringGrid3, row, NumberColumn));
    RzCheckBox1->setChecked(cellText(StringGrid3, row, AdminColumn) == QLatin1String("1"));
    m_shownAdministrator = RzCheckBox1->isChecked();
    m_shownGroups = tickedGroups();
}

void AccountTab::showNobody()
{
    for (KeptField *field : {m_login, m_password, m_host, m_number})
        field->clear();
    RzCheckBox1->setChecked(false);
    for (int i = 0; i < RzCheckList1->count(); ++i)
        RzCheckList1->item(i)->setCheckState(Qt::Unchecked);
    m_shownAdministrator = false;
    m_shownGroups.clear();
    const QSignalBlocker blocker(StringGrid3);
    StringGrid3->setCurrentCell(-1, -1);
}

bool AccountTab::typedOk()
{
    if (!m_groupsRead) {
        say(QStringLiteral("Список групп не прочитан из базы данных: группы оператора неизвестны. "
                           "Изменения не сохранены."));
        return false;
    }
    QStringList typed;
    for (const KeptField *field : {m_login, m_password, m_host, m_number}) {
        if (field->tooLong()) {
            say(QStringLiteral("В поле \"%1\" не более %2 символов. Изменения не сохранены.")
                    .arg(field->caption())
                    .arg(field->limit()));
            return false;
        }
        if (field->changed())
            typed << field->text();
    }
    return !refuseUnencodable(typed);
}

QStringList AccountTab::tickedGroups() const
{
    QStringList ticked;
    for (int i = 0; i < RzCheckList1->count(); ++i) {
        if (RzCheckList1->item(i)->checkState() == Qt::Checked)
            ticked << RzCheckList1->item(i)->text();
    }
    return ticked;
}

OperatorRow AccountTab::typedRow(const OperatorRow *stored) const
{
    const auto value = [stored](const KeptField *field, const QString &now) {
        return stored && !field->changed() ? now : field->value();
    };
    OperatorRow row;
    row.login = m_login->value();
    row.password = value(m_password, stored ? stored->password : QString());
    row.host = value(m_host, stored ? stored->host : QString());
    row.number = value(m_number, stored ? stored->number : QString());
    const bool administrator = RzCheckBox1->isChecked();
    row.flag = stored && administrator == m_shownAdministrator ? stored->flag
                                                               : administrator ? QStringLiteral("1") : QStringLiteral("0");
    const QStringList ticked = tickedGroups();
    if (stored && ticked == m_shownGroups) {
        row.groups = stored->groups;
    } else {
        QStringList groups = ticked;
        // Names the list does not offer are no box to untick: they stay.
        if (stored) {
            QStringList offered;
            for (int i = 0; i < RzCheckList1->count(); ++i)
                offered << RzCheckList1->item(i)->text();
            for (const QString &name : AdminSql::groupLines(stored->groups)) {
                if (!offered.contains(name))
                    groups << name;
            }
        }
        row.groups = AdminSql::groupsText(groups);
    }
    return row;
}

Database::Lookup AccountTab::storedRow(const QString &login, OperatorRow *row)
{
    row->login = login;
    return m_database.selectOne(AdminSql::storedUser(q(), login), [row](const DbRow &r) {
        row->password = r.text(0);
        row->host = r.text(1);
        row->flag = r.text(2);
        row->number = r.text(3);
        row->groups = r.text(4);
    });
}

void AccountTab::create()
{
    // An empty name makes the server's anonymous account: it would let anyone
    // in under any name and could hide the operators' own accounts; the
    // server drops blanks around a name, so a blank login is empty, and a
    // login with a blank at its end names another account than its row's.
    const QString login = m_login->value();
    if (login.trimmed().isEmpty()) {
        say(QStringLiteral("Введите логин пользователя"));
        return;
    }
    if (login != login.trimmed()) {
        say(QStringLiteral("Логин не может начинаться или заканчиваться пробелом"));
        return;
    }
    // An empty password lets anyone in under this login.
    if (m_password->value().isEmpty()) {
        say(QStringLiteral("Введите пароль пользователя"));
        return;
    }
    if (!typedOk())
        return;
    const AccountPlan::Outcome outcome = AccountPlan::run(m_database, AccountPlan::create(q(), typedRow(nullptr)));
    if (!outcome.done) {
        using Kind = AccountPlan::Step::Kind;
        // A refused account has its own reason (no right to create accounts,
        // a name the server does not take), which the operator must see.
        if (outcome.failed == Kind::Account && outcome.error == AccountExists)
            say(QStringLiteral("Пользователь с таким логином уже существует"));
        else if (outcome.failed == Kind::Row)
            say(QStringLiteral("Не удалось создать пользователя"));
        else
            say(outcome.errorText);
        return;
    }
    reload();
    say(QStringLiteral("Пользователь добавлен"));
}

void AccountTab::remove()
{
    const int row = StringGrid3->currentRow();
    const QString login = cellText(StringGrid3, row, LoginColumn);
    if (row < 0 || login.isEmpty()) {
        say(QStringLiteral("Выберите пользователя в списке"));
        return;
    }
    if (login == m_state.Login) {
        say(QStringLiteral("Нельзя удалить учетную запись, под которой работает станция"));
        return;
    }
    if (m_state.dialogs && !m_state.dialogs->confirm(window(), QStringLiteral("Удалить пользователя %1?").arg(login)))
        return;
    OperatorRow stored;
    const Database::Lookup found = storedRow(login, &stored);
    if (found == Database::Lookup::Failed) {
        say(QStringLiteral("Ошибка при удалении данных"));
        return;
    }
    // Only an account whose row is there goes: a row another station
    // removed names no operator of ours.
    bool accountMissing = false;
    if (found == Database::Lookup::Found) {
        const AccountPlan::Outcome outcome = AccountPlan::run(m_database, AccountPlan::remove(q(), stored));
        if (!outcome.done) {
            // The account stays, and with it its row: the server's reason.
            if (outcome.failed == AccountPlan::Step::Kind::Account)
                say(outcome.errorText);
            else
                say(QStringLiteral("Ошибка при удалении данных"));
            return;
        }
        accountMissing = outcome.foundAlreadySo;
    }
    showNobody();
    reload();
    if (accountMissing)
        say(QStringLiteral("Пользователь удален. Учетной записи %1@%2 на сервере баз данных не было: если она "
                           "переименована, удалите ее там.")
                .arg(stored.login, stored.host));
    else
        say(QStringLiteral("Пользователь удален"));
}

void AccountTab::rewrite()
{
    if (!typedOk())
        return;
    const QString login = m_login->value();
    OperatorRow stored;
    const Database::Lookup found = storedRow(login, &stored);
    if (found == Database::Lookup::Failed) {
        say(serverError());
        return;
    }
    if (found == Database::Lookup::Missing) {
        say(QStringLiteral("Пользователь %1 не найден: изменения не сохранены").arg(login));
        return;
    }
    const OperatorRow row = typedRow(&stored);
    // The station's own account keeps the rights it is working with.
    if (login == m_state.Login && stored.administrator() && !row.administrator()) {
        say(QStringLiteral("Нельзя снять права администратора с учетной записи, под которой работает станция"));
        return;
    }
    // The account follows its row: the operator's station logs in to the
    // monitoring server with the row and to the database with the account.
    const AccountPlan::Outcome outcome = AccountPlan::run(m_database, AccountPlan::rewrite(q(), stored, row));
    if (!outcome.done) {
        say(outcome.errorText);
        return;
    }
    reload();
}

void AccountTab::openFrames()
{
    QList<QStringList> tables;
    if (!readRows(AdminSql::frameTables(), QStringLiteral("Нет доступа к списку таблиц кадров"), &tables))
        return;
    // One grant per table: with many objects this takes a while, and the
    // station's work goes on meanwhile.
    QProgressDialog progress(QStringLiteral("Открывается доступ к кадрам…"), QStringLiteral("Отмена"), 0,
                             int(tables.size()), window());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    int opened = 0;
    for (const QStringList &table : std::as_const(tables)) {
        // Given up when canceled, and when the window goes (another
        // operator logs in): the grants are this administrator's.
        if (progress.wasCanceled() || !isVisible())
            break;
        if (!m_database.exec(AdminSql::grantFrames(table.value(0)))) {
            progress.reset();
            say(QStringLiteral("Доступ к кадрам открыт не полностью (таблиц: %1 из %2).\n")
                    .arg(opened)
                    .arg(tables.size())
                + serverError());
            return;
        }
        progress.setValue(++opened);
    }
    progress.reset();
    say(QStringLiteral("Операторам открыты кадры объектов: таблиц кадров %1 из %2.").arg(opened).arg(tables.size()));
}
