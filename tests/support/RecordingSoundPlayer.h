#pragma once

#include "SoundPlayer.h"

#include <QStringList>

// Notes each file it is asked to play.
class RecordingSoundPlayer final : public SoundPlayer
{
public:
    void play(const QString &path) override { played << path; }
    QStringList played;
};
