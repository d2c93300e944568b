// The JPEG codec against ffmpeg/ffprobe as independent peers, and against
// broken input that must give a null picture instead of ending the program.
#include "platform/JpegCodec.h"

#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray RunTool(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(60000) && process.exitCode() == 0)
        << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

// Four flat quadrants, so that colours survive compression nearly unchanged.
QImage Quadrants() {
    QImage image(96, 64, QImage::Format_ARGB32);
    QPainter p(&image);
    p.fillRect(0, 0, 48, 32, QColor(220, 20, 20));
    p.fillRect(48, 0, 48, 32, QColor(20, 200, 20));
    p.fillRect(0, 32, 48, 32, QColor(20, 20, 220));
    p.fillRect(48, 32, 48, 32, QColor(0xA9, 0xD9, 0xFC));
    return image;
}

void ExpectNear(QRgb actual, QColor expected) {
    EXPECT_NEAR(qRed(actual), expected.red(), 10);
    EXPECT_NEAR(qGreen(actual), expected.green(), 10);
    EXPECT_NEAR(qBlue(actual), expected.blue(), 10);
}

TEST(JpegCodec, EncodedPictureDecodesToItsSizeAndColours) {
    QTemporaryDir dir;
    const QString path = dir.filePath("q.jpg");
    ASSERT_TRUE(EncodeJpeg(Quadrants(), path, 90));

    const QImage image = DecodeJpeg(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(96, 64));
    ExpectNear(image.pixel(24, 16), QColor(220, 20, 20));
    ExpectNear(image.pixel(72, 16), QColor(20, 200, 20));
    ExpectNear(image.pixel(24, 48), QColor(20, 20, 220));
    ExpectNear(image.pixel(72, 48), QColor(0xA9, 0xD9, 0xFC));

    // ffprobe reads the same file as a colour JPEG of that size.
    const QString probe = QString::fromUtf8(
        RunTool("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,width,height", "-of",
                            "csv=p=0", path}));
    EXPECT_EQ(probe.trimmed(), "mjpeg,96,64");

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(DecodeJpegBytes(file.readAll()).size(), QSize(96, 64));
}

TEST(JpegCodec, DecodesGreyscalePicturesOfAnotherEncoderAsRgb) {
    QTemporaryDir dir;
    const QString path = dir.filePath("grey.jpg");
    RunTool("ffmpeg", {"-nostdin", "-v", "error", "-f", "lavfi", "-i", "color=c=0x808080:s=40x24",
                       "-frames:v", "1", "-pix_fmt", "gray", path});
    const QImage image = DecodeJpeg(path);
    ASSERT_EQ(image.size(), QSize(40, 24));
    ExpectNear(image.pixel(20, 12), QColor(128, 128, 128));
}

TEST(JpegCodec, BrokenInputGivesANullPicture) {
    QTemporaryDir dir;
    const QString path = dir.filePath("q.jpg");
    ASSERT_TRUE(EncodeJpeg(Quadrants(), path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();

    EXPECT_TRUE(DecodeJpegBytes(good.left(good.size() / 2)).isNull()); // truncated
    EXPECT_TRUE(DecodeJpegBytes(good.left(20)).isNull());              // header only
    EXPECT_TRUE(DecodeJpegBytes(QByteArray()).isNull());
    EXPECT_TRUE(DecodeJpegBytes(QByteArray(5000, '\x5A')).isNull());
    QByteArray scrambled = good;
    for (qsizetype i = 2; i < 300 && i < scrambled.size(); i += 3)
        scrambled[i] = char(0xFF);
    EXPECT_TRUE(DecodeJpegBytes(scrambled).isNull());
    EXPECT_TRUE(DecodeJpeg(dir.filePath("missing.jpg")).isNull());
}

TEST(JpegCodec, EncodingFailsWithoutLeavingAFile) {
    QTemporaryDir dir;
    EXPECT_FALSE(EncodeJpeg(QImage(), dir.filePath("null.jpg")));
    EXPECT_FALSE(QFile::exists(dir.filePath("null.jpg")));
    EXPECT_FALSE(EncodeJpeg(Quadrants(), dir.filePath("no/such/folder/x.jpg")));
}

} // namespace
