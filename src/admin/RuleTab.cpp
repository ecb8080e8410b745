#include "RuleTab.h"

#include "AdminSql.h"
#include "ObjectImeis.h"

#include <QComboBox>
#include <QCompleter>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace AdminWidgets;

namespace {

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

const QString Untouched = QStringLiteral("  :  ");

QComboBox *selector(QWidget *parent, const QString &name)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    return box;
}

} // namespace

RuleTab::RuleTab(StationState &state, Database &database, ObjectImeis &imeis, QWidget *parent)
    : AdminTab(state, database, QStringLiteral("TabSheet6"), parent)
    , m_imeis(imeis)
{
    StringGrid6 = grid(this, QStringLiteral("StringGrid6"),
                       {QStringLiteral("Событие"), QStringLiteral("Объект/группа"), QStringLiteral("Источник"),
                        QStringLiteral("Действие")},
                       {140, 143, 100, 94});
    StringGrid6->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);

    RzRadioGroup1 = new QGroupBox(QStringLiteral("Событие"), this);
    RzRadioGroup1->setObjectName(QStringLiteral("RzRadioGroup1"));
    Edit16 = edit(RzRadioGroup1, QStringLiteral("Edit16"));
    Edit16->setText(QStringLiteral("Название"));
    RzRadioButton1 = new QRadioButton(QStringLiteral("Объект"), RzRadioGroup1);
    RzRadioButton1->setObjectName(QStringLiteral("RzRadioButton1"));
    RzRadioButton2 = new QRadioButton(QStringLiteral("Группа"), RzRadioGroup1);
    RzRadioButton2->setObjectName(QStringLiteral("RzRadioButton2"));
    // With 100,000 objects a list to scroll through is no way to choose one:
    // the field finds it by any part of its IMEI as it is typed.
    ComboBox2 = selector(RzRadioGroup1, QStringLiteral("ComboBox2"));
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->setModel(&m_imeis);
    if (auto *list = qobject_cast<QListView *>(ComboBox2->view()))
        list->setUniformItemSizes(true);
    ComboBox2->setCompleter(imeiCompleter(&m_imeis, ComboBox2));
    ComboBox2->lineEdit()->setPlaceholderText(QStringLiteral("IMEI или его часть"));
    ComboBox3 = selector(RzRadioGroup1, QStringLiteral("ComboBox3"));
    ComboBox3->hide();
    // The object's selector is the one shown at first: its mode is the one
    // chosen, so that an IMEI typed there is what the rule is on.
    RzRadioButton1->setChecked(true);
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

    RzGroupBox1 = new QGroupBox(QStringLiteral("Источник события"), this);
    RzGroupBox1->setObjectName(QStringLiteral("RzGroupBox1"));
    MaskEdit1 = edit(RzGroupBox1, QStringLiteral("MaskEdit1"));
    // Typing cannot put a blank first (the mask skips it): timeText()
    // right-aligns the hour instead.
    MaskEdit1->setInputMask(QStringLiteral("90:00;_"));
    MaskEdit1->setMaximumWidth(MaskEdit1->fontMetrics().horizontalAdvance(QStringLiteral("00:00")) + 24);
    ComboBox4 = selector(RzGroupBox1, QStringLiteral("ComboBox4"));
    ComboBox4->addItems(SourceKeywords);
    {
        auto *form = new QFormLayout(RzGroupBox1);
        form->addRow(label(RzGroupBox1, QString(), QStringLiteral("Время")), MaskEdit1);
        form->addRow(label(RzGroupBox1, QString(), QStringLiteral("Источник")), ComboBox4);
    }

    RzGroupBox2 = new QGroupBox(QStringLiteral("Действие"), this);
    RzGroupBox2->setObjectName(QStringLiteral("RzGroupBox2"));
    ComboBox5 = selector(RzGroupBox2, QStringLiteral("ComboBox5"));
    ComboBox5->addItems(ActionKeywords);
    (new QVBoxLayout(RzGroupBox2))->addWidget(ComboBox5);

    SpeedButton12 = button(this, QStringLiteral("SpeedButton12"), QStringLiteral("Добавить"));
    SpeedButton13 = button(this, QStringLiteral("SpeedButton13"), QStringLiteral("Удалить"));

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(SpeedButton12);
    buttons->addWidget(SpeedButton13);
    buttons->addStretch();
    auto *editors = new QHBoxLayout;
    editors->addWidget(RzRadioGroup1, 2);
    editors->addWidget(RzGroupBox1, 1);
    editors->addWidget(RzGroupBox2, 1);
    editors->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(StringGrid6, 1);
    layout->addLayout(editors);

    connect(RzRadioButton1, &QRadioButton::clicked, this, &RuleTab::showSelector);
    connect(RzRadioButton2, &QRadioButton::clicked, this, &RuleTab::showSelector);
    connect(SpeedButton12, &QPushButton::clicked, this, &RuleTab::addRule);
    connect(SpeedButton13, &QPushButton::clicked, this, &RuleTab::removeRule);
}

void RuleTab::reload()
{
    QList<QStringList> rows;
    if (readRows(AdminSql::rules(), QStringLiteral("Нет доступа к таблице событий"), &rows))
        fillGrid(StringGrid6, rows);
    readImeis(m_imeis);
    ComboBox2->setCurrentIndex(-1);
    ComboBox2->clearEditText();
    loadGroupNames(ComboBox3);
}

void RuleTab::showSelector()
{
    const bool object = RzRadioButton1->isChecked();
    ComboBox2->setVisible(object);
    ComboBox3->setVisible(!object);
}

std::optional<QString> RuleTab::timeText() const
{
    const QString shown = MaskEdit1->displayText();
    QString hour;
    for (const QChar c : shown.left(2)) {
        if (c.isDigit())
            hour += c;
    }
    QString minutes = shown.mid(3, 2);
    minutes.replace(QLatin1Char('_'), QLatin1Char(' '));
    if (hour.isEmpty() && minutes.trimmed().isEmpty())
        return Untouched;
    bool hourNumber = false;
    bool minuteNumber = false;
    const int h = hour.toInt(&hourNumber);
    const int m = minutes.toInt(&minuteNumber);
    if (!hourNumber || !minuteNumber || minutes.size() != 2 || minutes.contains(QLatin1Char(' ')) || h > 23 || m > 59)
        return std::nullopt;
    return hour.rightJustified(2, QLatin1Char(' ')) + QLatin1Char(':') + minutes;
}

void RuleTab::addRule()
{
    const QString action = ComboBox5->currentText();
    QString source = ComboBox4->currentText();
    if (source == QLatin1String("TIME")) {
        const std::optional<QString> time = timeText();
        if (!time) {
            say(QStringLiteral("Время задано неверно: нужно время суток в виде ЧЧ:ММ. Правило не добавлено."));
            return;
        }
        source = *time;
    }
    QString object;
    if (RzRadioButton1->isChecked()) {
        // Chosen from the objects there are; none chosen, none stored.
        object = ComboBox2->currentText().trimmed();
        // Not in the list as read at this showing: perhaps added since.
        if (!object.isEmpty() && !m_imeis.stringList().contains(object)
            && m_database.value(AdminSql::objectExists(q(), object), nullptr) != Database::Lookup::Found) {
            say(QStringLiteral("Объект %1 не найден. Правило не добавлено.").arg(object));
            return;
        }
    } else {
        object = QStringLiteral("G_") + ComboBox3->currentText();
    }
    const QString name = Edit16->text();
    if (refuseUnencodable({name}))
        return;
    if (change(AdminSql::addRule(q(), name, object, source, action), {}))
        reload();
}

void RuleTab::removeRule()
{
    const int row = actedRow(StringGrid6);
    if (change(AdminSql::deleteRule(q(), cellText(StringGrid6, row, 1), cellText(StringGrid6, row, 2),
                                    cellText(StringGrid6, row, 3)),
               {}))
        reload();
}
