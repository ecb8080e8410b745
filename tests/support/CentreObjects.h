#pragma once

#include <QString>

// The objects of the group "Центр" that the main-window tests log in to,
// each in a state of its own at login.
namespace CentreObjects {

inline const QString Safe = QStringLiteral("356938035640101");     // alarm 101, armed
inline const QString Disarmed = QStringLiteral("356938035640102"); // alarm 115, disarmed
inline const QString Taken = QStringLiteral("356938035640103");    // already in processing
inline const QString Quiet = QStringLiteral("356938035640104");    // armed, no alarm

// The group and its four objects, with their owners and addresses.
inline QString seed()
{
    return QStringLiteral("INSERT INTO orvex_base.`groups`(Name) VALUES ('Центр');"
                          "INSERT INTO orvex_base.objects(IMEI,Name,Owner,Num_owner,Address,Addr_,Group_,State,Ohrana) VALUES "
                          "('%1','NCR','Иванов','8916','ул. Тверская, 1','холл','Центр',101,1),"
                          "('%2','Wincor','Петров','8903','пр. Мира, 5','','Центр',115,0),"
                          "('%3','Diebold','Сидоров','8926','ул. Ленина, 7','','Центр',90,1),"
                          "('%4','NCR','Орлов','8915','ул. Садовая, 3','','Центр',2,1);")
        .arg(Safe, Disarmed, Taken, Quiet);
}

} // namespace CentreObjects
