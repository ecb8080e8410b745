#pragma once

#include "RecordingDialogs.h"
#include "Station.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

// A whole station in a scratch folder, with recorded message boxes. Each test
// case makes its own, after writing the Config.ini it wants.
struct StationFixture
{
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    std::unique_ptr<Station> station;
    bool ended = false;

    QString configPath() const { return dir.filePath(QStringLiteral("Config.ini")); }

    void writeConfig(const QByteArray &content) const
    {
        QFile file(configPath());
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
    }

    QByteArray readConfig() const
    {
        QFile file(configPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    Station &start()
    {
        station = std::make_unique<Station>(dir.path(), &dialogs);
        QObject::connect(station.get(), &Station::applicationEnd, [this] { ended = true; });
        station->start();
        return *station;
    }
};
