#include "platform/JpegCodec.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
// jerror.h after jpeglib.h: it needs the library's types.
#include <jerror.h>

namespace {

constexpr std::uint64_t kMaxPixels = 64u * 1024 * 1024;

// libjpeg's default error handler calls exit(); this one jumps back to the
// codec function, which then fails cleanly.
struct JumpingErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JumpingErrorManager*>(info->err)->jump, 1);
}

// Warnings are tolerated (pictures with stray bytes still show) except a
// premature end of data: a truncated picture is no picture.
void jumpOnTruncation(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        jumpOnError(info);
}

void silent(j_common_ptr) {}

void installErrorManager(JumpingErrorManager& manager) {
    jpeg_std_error(&manager.base);
    manager.base.error_exit = jumpOnError;
    manager.base.emit_message = jumpOnTruncation;
    manager.base.output_message = silent;
}

// Adobe writes CMYK JPEGs inverted; libjpeg hands the values over as stored.
void cmykRowToRgb(const JSAMPLE* cmyk, uchar* rgb, int width, bool inverted) {
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        }
        rgb[0] = uchar(c * k / 255);
        rgb[1] = uchar(m * k / 255);
        rgb[2] = uchar(y * k / 255);
    }
}

// Everything between setjmp and a possible longjmp lives outside this frame
// (in the caller) or is not used after the jump.
bool decodeInto(jpeg_decompress_struct& info, JumpingErrorManager& errors, const QByteArray& data,
                QImage& image, JSAMPLE*& cmykRow) {
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);

    const int width = int(info.output_width);
    // A header may claim any size; a deck or background picture is never this big.
    if (std::uint64_t(info.output_width) * info.output_height > kMaxPixels)
        return false;
    image = QImage(width, int(info.output_height), QImage::Format_RGB888);
    if (image.isNull())
        return false;
    if (cmyk)
        cmykRow = static_cast<JSAMPLE*>(std::malloc(std::size_t(width) * 4));
    while (info.output_scanline < info.output_height) {
        uchar* line = image.scanLine(int(info.output_scanline));
        JSAMPROW row = cmyk ? cmykRow : line;
        jpeg_read_scanlines(&info, &row, 1);
        if (cmyk)
            cmykRowToRgb(cmykRow, line, width, info.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&info);
    return true;
}

bool encodeInto(jpeg_compress_struct& info, JumpingErrorManager& errors, const QImage& rgb,
                int quality, unsigned char*& buffer, unsigned long& size) {
    if (setjmp(errors.jump))
        return false;
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(rgb.width());
    info.image_height = JDIMENSION(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uchar*>(rgb.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

} // namespace

QImage decodeJpegBytes(const QByteArray& data) {
    if (data.isEmpty())
        return {};
    jpeg_decompress_struct info{};
    JumpingErrorManager errors{};
    installErrorManager(errors);
    info.err = &errors.base;
    QImage image;
    JSAMPLE* cmykRow = nullptr;
    const bool ok = decodeInto(info, errors, data, image, cmykRow);
    jpeg_destroy_decompress(&info);
    std::free(cmykRow);
    return ok ? image : QImage();
}

QImage decodeJpeg(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return decodeJpegBytes(file.readAll());
}

bool encodeJpeg(const QImage& image, const QString& path, int quality) {
    if (image.isNull())
        return false;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct info{};
    JumpingErrorManager errors{};
    installErrorManager(errors);
    info.err = &errors.base;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = encodeInto(info, errors, rgb, quality, buffer, size);
    jpeg_destroy_compress(&info);
    QByteArray bytes;
    if (ok)
        bytes = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    if (!ok)
        return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}
