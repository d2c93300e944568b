// The JPEG codec against ffmpeg/ffprobe as independent peers, and against
// broken input that must give a null picture instead of ending the program.
#include "platform/JpegCodec.h"

#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray runTool(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(60000) && process.exitCode() == 0)
        << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

// Four flat quadrants, so that colours survive compression nearly unchanged.
QImage quadrants() {
    QImage image(96, 64, QImage::Format_ARGB32);
    QPainter p(&image);
    p.fillRect(0, 0, 48, 32, QColor(220, 20, 20));
    p.fillRect(48, 0, 48, 32, QColor(20, 200, 20));
    p.fillRect(0, 32, 48, 32, QColor(20, 20, 220));
    p.fillRect(48, 32, 48, 32, QColor(0xA9, 0xD9, 0xFC));
    return image;
}

void expectNear(QRgb actual, QColor expected) {
    EXPECT_NEAR(qRed(actual), expected.red(), 10);
    EXPECT_NEAR(qGreen(actual), expected.green(), 10);
    EXPECT_NEAR(qBlue(actual), expected.blue(), 10);
}

TEST(JpegCodec, EncodedPictureDecodesToItsSizeAndColours) {
    QTemporaryDir dir;
    const QString path = dir.filePath("q.jpg");
    ASSERT_TRUE(encodeJpeg(quadrants(), path, 90));

    const QImage image = decodeJpeg(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(96, 64));
    expectNear(image.pixel(24, 16), QColor(220, 20, 20));
    expectNear(image.pixel(72, 16), QColor(20, 200, 20));
    expectNear(image.pixel(24, 48), QColor(20, 20, 220));
    expectNear(image.pixel(72, 48), QColor(0xA9, 0xD9, 0xFC));

    // ffprobe reads the same file as a colour JPEG of that size.
    const QString probe = QString::fromUtf8(
        runTool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,width,height", "-of",
                            "csv=p=0", path}));
    EXPECT_EQ(probe.trimmed(), "mjpeg,96,64");

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(decodeJpegBytes(file.readAll()).size(), QSize(96, 64));
}

TEST(JpegCodec, DecodesGreyscalePicturesOfAnotherEncoderAsRgb) {
    QTemporaryDir dir;
    const QString path = dir.filePath("grey.jpg");
    runTool("ffmpeg", {"-nostdin", "-v", "error", "-f", "lavfi", "-i", "color=c=0x808080:s=40x24",
                       "-frames:v", "1", "-pix_fmt", "gray", path});
    const QImage image = decodeJpeg(path);
    ASSERT_EQ(image.size(), QSize(40, 24));
    expectNear(image.pixel(20, 12), QColor(128, 128, 128));
}

TEST(JpegCodec, BrokenInputGivesANullPicture) {
    QTemporaryDir dir;
    const QString path = dir.filePath("q.jpg");
    ASSERT_TRUE(encodeJpeg(quadrants(), path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();

    EXPECT_TRUE(decodeJpegBytes(good.left(good.size() / 2)).isNull()); // truncated
    EXPECT_TRUE(decodeJpegBytes(good.left(20)).isNull());              // header only
    EXPECT_TRUE(decodeJpegBytes(QByteArray()).isNull());
    EXPECT_TRUE(decodeJpegBytes(QByteArray(5000, '\x5A')).isNull());
    QByteArray scrambled = good;
    for (qsizetype i = 2; i < 300 && i < scrambled.size(); i += 3)
        scrambled[i] = char(0xFF);
    EXPECT_TRUE(decodeJpegBytes(scrambled).isNull());
    EXPECT_TRUE(decodeJpeg(dir.filePath("missing.jpg")).isNull());
}

TEST(JpegCodec, EncodingFailsWithoutLeavingAFile) {
    QTemporaryDir dir;
    EXPECT_FALSE(encodeJpeg(QImage(), dir.filePath("null.jpg")));
    EXPECT_FALSE(QFile::exists(dir.filePath("null.jpg")));
    EXPECT_FALSE(encodeJpeg(quadrants(), dir.filePath("no/such/folder/x.jpg")));
}

} // namespace
