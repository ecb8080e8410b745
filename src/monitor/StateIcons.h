#pragma once

#include <QIcon>
#include <QList>

// ImageList1: the five state icons of the object list (index = StateModel::Image),
// drawn rather than stored so that they stay crisp at any screen scale.
namespace StateIcons {

constexpr int Size = 24;

// 0 not connected, 1 disarmed, 2 armed, 3 alarm, 4 alarm in processing.
QList<QIcon> ImageList1();

} // namespace StateIcons
