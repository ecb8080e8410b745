#include "BenchData.h"

#include <array>
#include <random>

namespace BenchData {

namespace {

constexpr int RowsPerStatement = 5000;

QString groupOf(int index)
{
    const QStringList all = groups();
    return all.at(index % all.size());
}

} // namespace

QStringList groups()
{
    return {QStringLiteral("Центр"), QStringLiteral("Север"), QStringLiteral("Юг"), QStringLiteral("Запад"),
            QStringLiteral("Восток")};
}

QString imei(int index)
{
    return QString::asprintf("35693803%07d", index);
}

quint8 randomState(quint32 draw)
{
    static constexpr std::array<quint8, 16> alarms = {100, 101, 102, 103, 110, 111, 112, 113, 114, 115,
                                                      101, 102, 110, 111, 115, 100};
    const quint32 bucket = draw % 100;
    if (bucket < 10)
        return 0;
    if (bucket < 30)
        return 1;
    if (bucket < 80)
        return 2;
    if (bucket < 85)
        return 90;
    return alarms[(draw / 100) % alarms.size()];
}

QList<QByteArray> objects(int first, int last)
{
    std::mt19937 random(quint32(20240 + first));
    QList<QByteArray> statements;
    QString sql;
    int inStatement = 0;
    for (int i = first; i < last; ++i) {
        if (inStatement == 0)
            sql = QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Name,Owner,Num_owner,Address,Addr_,Group_,"
                                 "State,Ohrana) VALUES ");
        else
            sql += QLatin1Char(',');
        const quint8 state = randomState(random());
        sql += QStringLiteral("('%1','NCR SelfServ %2','Иванов И.И.','8916%3','ул. Тверская, д. %4','холл','%5',%6,%7)")
                   .arg(imei(i))
                   .arg(i % 90 + 10)
                   .arg(i % 10000000, 7, 10, QLatin1Char('0'))
                   .arg(i % 300 + 1)
                   .arg(groupOf(i))
                   .arg(state)
                   .arg(state == 1 ? 0 : 1);
        if (++inStatement == RowsPerStatement || i == last - 1) {
            statements << sql.toUtf8();
            inStatement = 0;
        }
    }
    return statements;
}

QList<QByteArray> messages(int count, int objectCount, const QDateTime &start)
{
    struct Kind
    {
        QString type;
        QString event;
    };
    const QList<Kind> kinds = {
        {QStringLiteral("Тревога"), QStringLiteral("Открыт сейф")},
        {QStringLiteral("Тревога"), QStringLiteral("Сработал датчик удара")},
        {QStringLiteral("Охрана"), QStringLiteral("Взят под охрану")},
        {QStringLiteral("Охрана"), QStringLiteral("Снят с охраны")},
        {QStringLiteral("Событие"), QStringLiteral("Кадр с камеры")},
        {QStringLiteral("Событие"), QStringLiteral("Тревога принята в обработку")},
        {QStringLiteral("Команда"), QStringLiteral("Запрос состояния")},
        {QStringLiteral("Информация"), QStringLiteral("Напряжение питания в норме")},
    };
    const QStringList users = {QStringLiteral(""), QStringLiteral("Bench"), QStringLiteral("Оператор")};
    std::mt19937 random(77);
    QList<QByteArray> statements;
    QString sql;
    int inStatement = 0;
    for (int i = 0; i < count; ++i) {
        if (inStatement == 0)
            sql = QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES ");
        else
            sql += QLatin1Char(',');
        const int object = int(random() % quint32(objectCount));
        const Kind &kind = kinds.at(qsizetype(random() % quint32(kinds.size())));
        sql += QStringLiteral("('%1','%2','%3','%4','%5','%6')")
                   .arg(imei(object), start.addSecs(i).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), kind.type,
                        kind.event, groupOf(object), users.at(i % users.size()));
        if (++inStatement == RowsPerStatement || i == count - 1) {
            statements << sql.toUtf8();
            inStatement = 0;
        }
    }
    return statements;
}

} // namespace BenchData
