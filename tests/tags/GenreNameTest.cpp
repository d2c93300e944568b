#include "PeerTools.h"

#include "decks/tags/Id3v1Tag.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

TEST(GenreName, NamesTheStandardListAndMarksUnknownNumbers) {
    EXPECT_EQ(GenreName(0), "Blues");
    EXPECT_EQ(GenreName(7), "Hip-Hop");
    EXPECT_EQ(GenreName(12), "Other");
    EXPECT_EQ(GenreName(40), "AlternRock");
    EXPECT_EQ(GenreName(42), "Soul");
    EXPECT_EQ(GenreName(67), "Psychadelic");
    EXPECT_EQ(GenreName(79), "Hard Rock");
    EXPECT_EQ(GenreName(80), "< unbekannt (#80) >");
    EXPECT_EQ(GenreName(254), "< unbekannt (#254) >");
    EXPECT_EQ(GenreName(255), "< unbekannt >");
}

TEST(GenreName, AgreesWithId3libsListApartFromItsCorrectedSpelling) {
    // id3v2 -L prints "<n>: <name>" per genre; id3lib spells 67 "Psychedelic",
    // the standard list "Psychadelic".
    const QString out = QString::fromLatin1(peer::Run("id3v2", {"-L"}));
    const QRegularExpression line(R"(^\s*(\d+): (.*)$)", QRegularExpression::MultilineOption);
    int compared = 0;
    for (auto m = line.globalMatch(out); m.hasNext();) {
        const auto match = m.next();
        const int n = match.captured(1).toInt();
        if (n >= 80 || n == 67)
            continue;
        EXPECT_EQ(GenreName(n), match.captured(2).trimmed().toStdString()) << n;
        ++compared;
    }
    EXPECT_EQ(compared, 79);
}

} // namespace
