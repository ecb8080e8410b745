#include "TForm5.h"

#include "AccountTab.h"
#include "AdminSql.h"
#include "ListEditorTab.h"
#include "ObjectImeis.h"
#include "ObjectTab.h"
#include "RuleTab.h"
#include "WindowPlacement.h"

#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

ListEditorTab::Description groupEditor()
{
    return {QStringLiteral("TabSheet1"),
            QStringLiteral("Label1"),
            QStringLiteral("Групп:"),
            QStringLiteral("Label2"),
            QStringLiteral("StringGrid1"),
            {},
            {220},
            {{QStringLiteral("Edit1"), QStringLiteral("Название группы"), 0}},
            QStringLiteral("SpeedButton1"),
            QStringLiteral("SpeedButton2"),
            AdminSql::groupNames(),
            QStringLiteral("Нет доступа к таблице групп"),
            QStringLiteral("Введите название группы"),
            [](const SqlEscaper &q, const QStringList &v) { return AdminSql::addGroup(q, v.value(0)); },
            &AdminSql::deleteGroup};
}

ListEditorTab::Description textEditor()
{
    return {QStringLiteral("TabSheet4"),
            QStringLiteral("Label20"),
            QStringLiteral("Сообщения"),
            {},
            QStringLiteral("StringGrid4"),
            {},
            {220},
            {{QStringLiteral("Edit9"), QStringLiteral("Текст сообщения"), 20}},
            QStringLiteral("SpeedButton8"),
            QStringLiteral("SpeedButton9"),
            AdminSql::texts(),
            QStringLiteral("Нет доступа к таблице сообщений"),
            QStringLiteral("Введите сообщение"),
            [](const SqlEscaper &q, const QStringList &v) { return AdminSql::addText(q, v.value(0)); },
            &AdminSql::deleteText};
}

ListEditorTab::Description keyEditor()
{
    return {QStringLiteral("TabSheet5"),
            QStringLiteral("Label21"),
            QStringLiteral("Список ключей"),
            {},
            QStringLiteral("StringGrid5"),
            {QStringLiteral("Код ключа"), QStringLiteral("Владелец")},
            {93, 197},
            {{QStringLiteral("Edit10"), QStringLiteral("Код ключа"), 12},
             {QStringLiteral("Edit11"), QStringLiteral("Владелец"), 20}},
            QStringLiteral("SpeedButton10"),
            QStringLiteral("SpeedButton11"),
            AdminSql::keys(),
            QStringLiteral("Нет доступа к таблице ключей"),
            QStringLiteral("Введите данные"),
            [](const SqlEscaper &q, const QStringList &v) { return AdminSql::addKey(q, v.value(0), v.value(1)); },
            &AdminSql::deleteKey};
}

} // namespace

TForm5::TForm5(StationState &state, Database &database, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_imeis(new ObjectImeis(this))
{
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QStringLiteral("Настройка базы данных"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new ListEditorTab(state, database, groupEditor());
    TabSheet2 = new ObjectTab(state, database, *m_imeis);
    TabSheet3 = new AccountTab(state, database);
    TabSheet4 = new ListEditorTab(state, database, textEditor());
    TabSheet5 = new ListEditorTab(state, database, keyEditor());
    TabSheet6 = new RuleTab(state, database, *m_imeis);
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
            tab(index)->reload();
    });
}

TForm5::~TForm5() = default;

AdminTab *TForm5::tab(int index) const
{
    return static_cast<AdminTab *>(PageControl1->widget(index));
}

void TForm5::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window brought back from the task bar shows what it showed.
    if (event->spontaneous())
        return;
    m_imeis->expire();
    tab(PageControl1->currentIndex())->reload();
}
