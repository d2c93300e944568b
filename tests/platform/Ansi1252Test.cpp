#include "tests/tags/PeerTools.h"

#include "platform/Ansi1252.h"

#include <gtest/gtest.h>

namespace {

std::string allBytes() {
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[std::size_t(i)] = char(i);
    return bytes;
}

TEST(Ansi1252, DecodesLikePythonsCp1252AndRoundTripsEveryByte) {
    const QString decoded = ansiToQString(allBytes());
    ASSERT_EQ(decoded.size(), 256);
    EXPECT_EQ(qStringToAnsi(decoded), allBytes());

    // Python's codec as the independent reference; it leaves five bytes undefined.
    const QByteArray reference =
        peer::run("/usr/bin/python3",
                  {"-c", "import sys; sys.stdout.buffer.write(bytes(range(256)).decode('cp1252', "
                         "errors='replace').encode('utf-16-le'))"});
    ASSERT_EQ(reference.size(), 512);
    for (int i = 0; i < 256; ++i) {
        const char16_t theirs =
            char16_t(uint8_t(reference[2 * i]) | uint8_t(reference[2 * i + 1]) << 8);
        const char16_t expected =
            (i == 0x81 || i == 0x8D || i == 0x8F || i == 0x90 || i == 0x9D) ? char16_t(i) : theirs;
        EXPECT_EQ(decoded[i].unicode(), expected) << "byte " << i;
    }
}

TEST(Ansi1252, CharactersTheCodePageLacksBecomeQuestionMarks) {
    EXPECT_EQ(qStringToAnsi(QString::fromUtf8("Beyoncé")), "Beyonc\xE9");
    EXPECT_EQ(qStringToAnsi(QString::fromUtf8("€ Œ ™ Ÿ")), "\x80 \x8C \x99 \x9F");
    EXPECT_EQ(qStringToAnsi(QString::fromUtf8("Дом 日本")), "??? ??");
    EXPECT_EQ(qStringToAnsi(QString::fromUtf8("a🎧b")), "a?b"); // one character, two UTF-16 units
    EXPECT_EQ(qStringToAnsi(QString(QChar(0x80))), "?");       // U+0080 is no Windows-1252 byte
    EXPECT_EQ(ansiToQString(std::string("a\0b", 3)).size(), 3);
}

} // namespace
