#include "StationState.h"

#include <QDir>

QString StationState::homeFile(const QString &fileName) const
{
    return QDir(Home_dir).filePath(fileName);
}
