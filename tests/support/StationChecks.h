#pragma once

#include "AlarmEntry.h"
#include "AlarmPanel.h"
#include "Packets.h"
#include "ServerLink.h"
#include "TcpPeer.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <QWidget>

#include <algorithm>

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

// The colour a label's text is painted in, told by its hue as the operator
// tells it: "green", "orange" or "red"; empty when none of them is painted.
inline QString inkOf(QWidget *label)
{
    // Painted as the window shows it, but without a background of its own
    // (a grab would fill the label with its palette's window colour).
    QImage image(label->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    int green = 0;
    int orange = 0;
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 128 || c.hsvSaturation() < 120 || c.value() < 100)
                continue;
            const int hue = c.hsvHue();
            if (hue >= 90 && hue <= 160)
                ++green;
            else if (hue >= 25 && hue <= 50)
                ++orange;
            else if (hue <= 12 || hue >= 345)
                ++red;
        }
    }
    const int most = std::max({green, orange, red});
    if (most < 10)
        return QString();
    return most == green ? QStringLiteral("green") : most == orange ? QStringLiteral("orange") : QStringLiteral("red");
}

} // namespace StationChecks
