#pragma once

#include "AlarmEntry.h"
#include "AlarmPanel.h"
#include "Packets.h"
#include "ServerLink.h"
#include "TcpPeer.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QTest>

// What the operator does on the main window and what the server hears of it,
// as the main-window tests check them.
namespace StationChecks {

// Nothing went to the server since the peer was last cleared: a marker sent
// now is the first thing to arrive.
inline bool nothingSent(ServerLink &link, TcpPeer &peer)
{
    const QByteArray marker = Packets::state(QStringLiteral("356938035649999"), 7);
    link.Send_Packet(marker);
    return QTest::qWaitFor([&peer, &marker] { return peer.received() == marker; }, 5000);
}

// Opens the menu on the entry, as a right click does, and chooses the item
// shown for caption (the last one of that name). False when the menu was not
// opened on the entry or has no such item.
inline bool chooseInMenu(AlarmPanel &alarms, AlarmEntry *entry, const QString &caption)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), entry->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(entry, &event);
    if (alarms.popupComponent() != entry)
        return false;
    // The menu shows a "&" of the text doubled, so that it stays a "&".
    const QString shown = QString(caption).replace(QLatin1Char('&'), QLatin1String("&&"));
    QAction *chosen = nullptr;
    for (QAction *action : alarms.PopupMenu1->actions()) {
        if (action->text() == shown)
            chosen = action;
    }
    alarms.PopupMenu1->hide();
    if (!chosen)
        return false;
    chosen->trigger();
    return true;
}

} // namespace StationChecks
