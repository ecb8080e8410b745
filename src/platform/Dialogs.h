#pragma once

#include <QSet>
#include <QString>

class QWidget;

// Every message and confirmation box of the station goes through this layer.
// The real one shows modal Qt boxes (the event loop keeps running while they
// are open); tests put a recorder in its place.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // A plain message box with an OK button.
    virtual void message(QWidget *parent, const QString &text) = 0;

    // An OK/Cancel confirmation; true for OK.
    virtual bool confirm(QWidget *parent, const QString &text) = 0;

    // A fault that the station finds by itself, again and again while it
    // lasts (a link tried every few seconds, a database still away): its box
    // is shown once and not again until settle() says the fault has ended,
    // and never while a box of the same fault is still open. An operator
    // back after an hour finds one message, not seven hundred.
    void notice(QWidget *parent, const QString &fault, const QString &text);
    void settle(const QString &fault) { m_noticed.remove(fault); }

private:
    QSet<QString> m_noticed;
    QSet<QString> m_open;
};

class QtDialogs final : public Dialogs
{
public:
    void message(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &text) override;
};
