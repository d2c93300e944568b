#include "PeerTools.h"

#include "decks/tags/Id3v1Tag.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

TEST(GenreName, NamesTheStandardListAndMarksUnknownNumbers) {
    EXPECT_EQ(genreName(0), "Blues");
    EXPECT_EQ(genreName(7), "Hip-Hop");
    EXPECT_EQ(genreName(12), "Other");
    EXPECT_EQ(genreName(40), "AlternRock");
    EXPECT_EQ(genreName(42), "Soul");
    EXPECT_EQ(genreName(67), "Psychadelic");
    EXPECT_EQ(genreName(79), "Hard Rock");
    EXPECT_EQ(genreName(80), "< unbekannt (#80) >");
    EXPECT_EQ(genreName(254), "< unbekannt (#254) >");
    EXPECT_EQ(genreName(255), "< unbekannt >");
}

TEST(GenreName, AgreesWithId3libsListApartFromItsCorrectedSpelling) {
    // id3v2 -L prints "<n>: <name>" per genre; id3lib spells 67 "Psychedelic",
    // the standard list "Psychadelic".
    const QString out = QString::fromLatin1(peer::run("id3v2", {"-L"}));
    const QRegularExpression line(R"(^\s*(\d+): (.*)$)", QRegularExpression::MultilineOption);
    int compared = 0;
    for (auto m = line.globalMatch(out); m.hasNext();) {
        const auto match = m.next();
        const int n = match.captured(1).toInt();
        if (n >= 80 || n == 67)
            continue;
        EXPECT_EQ(genreName(n), match.captured(2).trimmed().toStdString()) << n;
        ++compared;
    }
    EXPECT_EQ(compared, 79);
}

} // namespace
