#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class QSoundEffect;

// Plays a .wav file and returns at once. A file that is missing or cannot be
// played, or a machine without an audio device, stays silent: a sound is a
// cue for the operator, never a reason to stop.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString &path) = 0;
};

// Through Qt Multimedia. One sound at a time: a new one replaces what still
// plays, so a burst of notifications does not pile up into noise.
class QtSoundPlayer final : public SoundPlayer
{
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;

    void play(const QString &path) override;

    // What the player has made of a file it was asked to play: the decoded
    // effect's state, and whether it was started (or waits to start as soon
    // as it is decoded). The device may still stay silent: that is the
    // machine's, not the player's.
    enum class State { Unknown, Loading, Started, Stopped, Undecodable };
    State state(const QString &path) const;

private:
    // Owns the effects, one per file, loaded on first use and kept.
    QObject m_owner;
    QHash<QString, QSoundEffect *> m_effects;
    // Asked to play while still loading; plays as soon as it is ready.
    QPointer<QSoundEffect> m_pending;
};
