#include "JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace {

// A frame file is a stored MEDIUMBLOB (16 MB at most); anything much larger
// is not one of ours and is not read into memory.
constexpr qint64 MaxFileSize = qint64(64) * 1024 * 1024;
// Bounds what a progressive frame may allocate for its coefficients.
constexpr long MaxDecoderMemory = 512L * 1024 * 1024;

struct ErrorManager
{
    jpeg_error_mgr pub; // first, so that cinfo->err points at the whole struct
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto *errors = reinterpret_cast<ErrorManager *>(cinfo->err);
    std::longjmp(errors->jump, 1);
}

void emitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace output
    // libjpeg only warns about a file that ends early or damaged scan data and
    // then makes up the missing pixels; a half-grey frame would pass for the
    // real one, so such a file counts as unreadable. Stray bytes between
    // markers, which some cameras write, leave the picture intact.
    if (cinfo->err->msg_code == JWRN_EXTRANEOUS_DATA)
        return;
    errorExit(cinfo);
}

void outputMessage(j_common_ptr)
{
}

// Runs under the jump set by decode(). No object with a destructor is alive
// here at a libjpeg call, so a jump back out of the library skips none.
bool readFrame(jpeg_decompress_struct *cinfo, const QByteArray *bytes, QImage *image)
{
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = MaxDecoderMemory;
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char *>(bytes->constData()),
                 static_cast<unsigned long>(bytes->size()));
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    if (qint64(cinfo->image_width) * qint64(cinfo->image_height) > JpegImage::MaxPixels)
        return false;

    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    // Grayscale and YCbCr frames are both expanded to RGB by the library.
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != (cmyk ? 4 : 3) || cinfo->output_width == 0 || cinfo->output_height == 0)
        return false;

    *image = QImage(int(cinfo->output_width), int(cinfo->output_height), QImage::Format_RGB888);
    if (image->isNull())
        return false;

    JSAMPARRAY cmykRow = nullptr;
    if (cmyk) {
        cmykRow = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                              cinfo->output_width * 4, 1);
    }
    // Adobe applications, and most cameras that write CMYK, store it inverted.
    const bool inverted = cinfo->saw_Adobe_marker;
    while (cinfo->output_scanline < cinfo->output_height) {
        uchar *line = image->scanLine(int(cinfo->output_scanline));
        if (!cmyk) {
            JSAMPROW row = line;
            if (jpeg_read_scanlines(cinfo, &row, 1) != 1)
                return false;
            continue;
        }
        if (jpeg_read_scanlines(cinfo, cmykRow, 1) != 1)
            return false;
        const JSAMPLE *in = cmykRow[0];
        for (JDIMENSION x = 0; x < cinfo->output_width; ++x, in += 4, line += 3) {
            // What each ink leaves of the light, 255 for no ink.
            const unsigned red = inverted ? in[0] : 255u - in[0];
            const unsigned green = inverted ? in[1] : 255u - in[1];
            const unsigned blue = inverted ? in[2] : 255u - in[2];
            const unsigned light = inverted ? in[3] : 255u - in[3];
            line[0] = uchar(red * light / 255u);
            line[1] = uchar(green * light / 255u);
            line[2] = uchar(blue * light / 255u);
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// The setjmp frame holds nothing that a jump could leave half-updated.
bool decode(jpeg_decompress_struct *cinfo, ErrorManager *errors, const QByteArray *bytes, QImage *image)
{
    if (setjmp(errors->jump))
        return false;
    return readFrame(cinfo, bytes, image);
}

} // namespace

QImage JpegImage::fromData(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.pub.emit_message = emitMessage;
    errors.pub.output_message = outputMessage;

    QImage image;
    const bool decoded = decode(&cinfo, &errors, &bytes, &image);
    // Safe also after a failed create: the struct started zeroed.
    jpeg_destroy_decompress(&cinfo);
    return decoded ? image : QImage();
}

QImage JpegImage::fromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        return {};
    return fromData(file.readAll());
}
