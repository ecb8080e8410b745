// The JPEG decoder of the camera frames with any bytes. Checked on every
// input: it returns (the fuzzer's sanitizers catch any read outside the bytes
// and any leak, libjpeg's own errors included), and what it returns is either
// a null image or a whole picture within the size limit, in the format the
// frame view draws.

#include "JpegImage.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "JPEG invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QImage image = JpegImage::fromData(bytes);
    if (image.isNull())
        return 0;
    check(image.width() > 0 && image.height() > 0, "an empty picture that is not null");
    check(qint64(image.width()) * image.height() <= JpegImage::MaxPixels, "a picture beyond the size limit");
    check(image.format() == QImage::Format_RGB888, "a picture in another format");
    // Decoding is a pure function of the bytes: a row left unwritten, or
    // read from freed memory, would differ between two decodes.
    check(JpegImage::fromData(bytes) == image, "the same bytes decode to another picture");
    return 0;
}
