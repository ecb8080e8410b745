#pragma once

#include <QIcon>
#include <QList>

// The toolbar's pictures, drawn rather than stored so that they stay crisp
// at any screen scale.
namespace Glyphs {

enum LinkGlyph { NotConnected = 0, Connected = 1, SoundOff = 2, SoundOn = 3 };

// ImageList2: not connected, connected, sound off, sound on.
QList<QIcon> imageList2();

QIcon settings();
QIcon changeUser();
QIcon localUsers();
QIcon database();
QIcon report();
QIcon exit();

} // namespace Glyphs
