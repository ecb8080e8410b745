#pragma once

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
};

class QtDialogs final : public Dialogs
{
public:
    void message(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &text) override;
};
