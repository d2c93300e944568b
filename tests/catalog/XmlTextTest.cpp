#include "catalog/XmlText.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace {

// Parses <r a="escaped">escaped</r> and returns {element text, attribute value}.
std::pair<std::string, std::string> roundTrip(const std::string& text) {
    const std::string escaped = xmltext::escape(text);
    const std::string document = "<r a=\"" + escaped + "\">" + escaped + "</r>";
    pugi::xml_document parsed;
    const pugi::xml_parse_result result = parsed.load_string(document.c_str());
    EXPECT_TRUE(result) << result.description() << " in " << document;
    return {parsed.child("r").text().get(), parsed.child("r").attribute("a").value()};
}

TEST(XmlTextTest, MarkupCharactersSurviveInTextAndAttributes) {
    const std::string hostile = "Evil <Band> & \"Co\" 'x' </r><!-- ]]> &amp;";
    const auto [text, attribute] = roundTrip(hostile);
    EXPECT_EQ(text, hostile);
    EXPECT_EQ(attribute, hostile);
    EXPECT_EQ(xmltext::escape("<&>\"'"), "&lt;&amp;&gt;&quot;&apos;");
}

TEST(XmlTextTest, CharactersXmlForbidsAreDropped) {
    // C0 controls but tab and line breaks, DEL is allowed in XML 1.0 and kept.
    EXPECT_EQ(xmltext::escape(std::string("a\x01"
                                          "b\x08"
                                          "c\x1F"
                                          "d\x0B\x0C",
                                          9) +
                              "\x7F"),
              "abcd\x7F");
    EXPECT_EQ(xmltext::escape(std::string("x\0y", 3)), "xy");
    EXPECT_EQ(xmltext::escape("\xEF\xBF\xBE\xEF\xBF\xBF"
                              "ok"),
              "ok"); // U+FFFE, U+FFFF
    EXPECT_EQ(xmltext::escape("\xED\xA0\x80"
                              "ok"),
              "ok"); // a lone surrogate
    const auto [text, attribute] = roundTrip("bad\x01\x02 name\x1B");
    EXPECT_EQ(text, "bad name");
}

TEST(XmlTextTest, BrokenUtf8IsDroppedAndValidUtf8Kept) {
    EXPECT_EQ(xmltext::escape("caf\xE9 ok"), "caf ok"); // Latin-1 byte
    EXPECT_EQ(xmltext::escape("\xC0\xAF"
                              "x"),
              "x");                             // overlong "/"
    EXPECT_EQ(xmltext::escape("\xE2\x82"), ""); // cut short
    EXPECT_EQ(xmltext::escape("Beyonc\xC3\xA9 \xF0\x9F\x8E\xB5"),
              "Beyonc\xC3\xA9 \xF0\x9F\x8E\xB5");
    roundTrip("caf\xE9\xFF\xFE mixed \xC3\xA9");
}

TEST(XmlTextTest, LineBreaksBecomeReferencesSoAttributesKeepThem) {
    EXPECT_EQ(xmltext::escape("a\tb\nc\rd"), "a&#9;b&#10;c&#13;d");
    std::string out;
    xmltext::appendElement(out, "name", "");
    xmltext::appendElement(out, "name", "R&B");
    EXPECT_EQ(out, "<name/><name>R&amp;B</name>");
}

} // namespace
