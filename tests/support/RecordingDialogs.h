#pragma once

#include "Dialogs.h"

#include <QStringList>

// Stands in for the message boxes: notes each text and answers a confirmation
// with the answer set in advance (OK unless told otherwise).
class RecordingDialogs final : public Dialogs
{
public:
    void message(QWidget *, const QString &text) override { messages << text; }
    bool confirm(QWidget *, const QString &text) override
    {
        confirmations << text;
        return nextAnswer;
    }

    void clear()
    {
        messages.clear();
        confirmations.clear();
    }

    QStringList messages;
    QStringList confirmations;
    bool nextAnswer = true;
};
