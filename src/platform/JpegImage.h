#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Camera frames decoded with the IJG libjpeg API. Whatever the bytes are
// (empty, cut off, damaged, not a JPEG at all), the result is either the
// picture or a null image; the decoder never ends the program and never reads
// outside the given bytes.
class JpegImage
{
public:
    // Frames larger than this are refused rather than allocated: a damaged
    // header can claim up to 65500 x 65500 pixels.
    static constexpr qint64 MaxPixels = qint64(64) * 1024 * 1024;

    static QImage fromData(const QByteArray &bytes);
    static QImage fromFile(const QString &path);
};
