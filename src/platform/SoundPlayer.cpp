#include "SoundPlayer.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

QtSoundPlayer::QtSoundPlayer() = default;

QtSoundPlayer::~QtSoundPlayer() = default;

QtSoundPlayer::State QtSoundPlayer::state(const QString &path) const
{
    const QSoundEffect *effect = m_effects.value(path);
    if (!effect)
        return State::Unknown;
    switch (effect->status()) {
    case QSoundEffect::Error:
        return State::Undecodable;
    case QSoundEffect::Null:
    case QSoundEffect::Loading:
        return m_pending == effect ? State::Started : State::Loading;
    case QSoundEffect::Ready:
        break;
    }
    return effect->isPlaying() ? State::Started : State::Stopped;
}

void QtSoundPlayer::play(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return;
    QSoundEffect *effect = m_effects.value(path);
    if (!effect) {
        effect = new QSoundEffect(&m_owner);
        QObject::connect(effect, &QSoundEffect::statusChanged, &m_owner, [this, effect, path] {
            const QSoundEffect::Status status = effect->status();
            if (m_pending == effect && status != QSoundEffect::Loading && status != QSoundEffect::Null) {
                m_pending = nullptr;
                if (status == QSoundEffect::Ready)
                    effect->play();
            }
            // A file that cannot be decoded is tried afresh next time: it may
            // have been replaced meanwhile.
            if (status == QSoundEffect::Error && m_effects.value(path) == effect) {
                m_effects.remove(path);
                effect->deleteLater();
            }
        });
        effect->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
        m_effects.insert(path, effect);
    }
    for (QSoundEffect *other : std::as_const(m_effects)) {
        if (other != effect)
            other->stop();
    }
    if (effect->status() == QSoundEffect::Loading || effect->status() == QSoundEffect::Null) {
        m_pending = effect;
        return;
    }
    m_pending = nullptr;
    effect->play();
}
