#include "search/ResultReaders.h"

#include "search/SearchRequest.h"
#include "search/XmlLookup.h"

#include <QStringDecoder>
#include <QUrl>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {
using xmllookup::attribute;
using xmllookup::child;
using xmllookup::ReadFailure;
using xmllookup::text;

using RowFiller = void (*)(const pugi::xml_node&, MusicResult&, std::string&);

// Adds the row and its empty entry first, then fills them; a failed read keeps
// what was stored before it and leaves the rest (the caption last) empty.
void addMusicRow(const pugi::xml_node& node, RowFiller fill, SearchResults& results) {
    results.captions.emplace_back();
    results.music.emplace_back();
    try {
        fill(node, results.music.back(), results.captions.back());
    } catch (const ReadFailure&) {
    }
}

void addMusicRows(pugi::xml_node first, RowFiller fill, SearchResults& results) {
    for (pugi::xml_node node = first; node; node = node.next_sibling())
        addMusicRow(node, fill, results);
}

// The local file of a track of the catalogue: its "url" when that is a file:
// address of an absolute path; empty otherwise (an online track's page).
std::string localFileOf(const pugi::xml_node& track) {
    const pugi::xml_node url = child(track, "url");
    const QUrl address(QString::fromUtf8(url.child_value()), QUrl::StrictMode);
    if (!address.isValid() || !address.isLocalFile() || !address.host().isEmpty())
        return {};
    const QString path = address.toLocalFile();
    return path.startsWith(u'/') ? path.toUtf8().toStdString() : std::string();
}

// A local file without an artist is listed by its title alone; every other
// row needs its artist, as before.
void fillTrackRow(const pugi::xml_node& node, const pugi::xml_node& artist, MusicResult& entry,
                  std::string& caption) {
    entry.file = localFileOf(node);
    if (artist || entry.file.empty())
        entry.artist = text(artist);
    entry.track = text(child(node, "name"));
    caption = entry.artist.empty() ? entry.track : entry.artist + " - " + entry.track;
}

void fillTrack(const pugi::xml_node& node, MusicResult& entry, std::string& caption) {
    fillTrackRow(node, child(node, "artist"), entry, caption);
}

void fillSimilarTrack(const pugi::xml_node& node, MusicResult& entry, std::string& caption) {
    const pugi::xml_node artist = child(node, "artist");
    fillTrackRow(node, artist ? child(artist, "name") : artist, entry, caption);
}

void fillArtist(const pugi::xml_node& node, MusicResult& entry, std::string& caption) {
    entry.artist = text(child(node, "name"));
    caption = entry.artist;
}

void readTrackSearch(const pugi::xml_node& top, SearchResults& results) {
    // The first row is made before it is known that a match exists: an answer
    // without matches yields one empty row, which the no-matches rule replaces.
    const pugi::xml_node first = child(child(top, "trackmatches"), "track");
    addMusicRow(first, fillTrack, results);
    if (first)
        addMusicRows(first.next_sibling(), fillTrack, results);
}

void readFirstMatches(const pugi::xml_node& top, const char* name, RowFiller fill,
                      SearchResults& results) {
    addMusicRows(child(top, name), fill, results);
}

// Reads one feed entry; a failed read ends the entry without a row.
void readVideoEntry(const pugi::xml_node& entry, SearchResults& results) {
    VideoResult video;
    for (pugi::xml_node holder = entry.first_child(); holder; holder = holder.next_sibling()) {
        for (pugi::xml_node content = holder.first_child(); content;
             content = content.next_sibling()) {
            for (pugi::xml_attribute a = content.first_attribute(); a; a = a.next_attribute()) {
                if (std::strcmp(a.name(), "url") != 0 ||
                    std::strcmp(content.name(), "media:content") != 0)
                    continue;
                const std::string type = text(attribute(content, "type"));
                if (type == "video/3gpp") {
                    video.mobileAddress = a.value();
                    video.title = text(child(holder, "title"));
                    video.pageAddress = text(attribute(child(entry, "link"), "href"));
                } else if (type == "application/x-shockwave-flash") {
                    video.playerAddress = a.value();
                }
            }
        }
    }
    if (video.title.empty() || video.playerAddress.empty() || video.mobileAddress.empty())
        return;
    results.captions.push_back(video.title);
    results.video.push_back(std::move(video));
}

// Whether the parser reads the document as UTF-8: no UTF-16 or UTF-32 form
// (a byte order mark or zero bytes among the first four) and no declared
// Latin-1, the one 8-bit encoding it converts. Every other document, one
// without a declaration among them, is UTF-8 by the rules of XML.
bool readAsUtf8(const std::string& bytes) {
    const std::string head = bytes.substr(0, 4);
    if (head.find('\0') != std::string::npos || head.starts_with("\xFE\xFF") ||
        head.starts_with("\xFF\xFE"))
        return false;
    if (!bytes.starts_with("<?xml"))
        return true;
    std::string declaration = bytes.substr(0, bytes.find("?>"));
    for (char& c : declaration)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = declaration.find("encoding");
    if (at == std::string::npos)
        return true;
    const std::string rest = declaration.substr(at);
    return rest.find("iso-8859-1") == std::string::npos && rest.find("latin1") == std::string::npos;
}

bool isValidUtf8(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return !decoder.hasError();
}

void readVideoFeed(const pugi::xml_node& feed, SearchResults& results) {
    for (pugi::xml_node entry = child(feed, "entry"); entry; entry = entry.next_sibling()) {
        try {
            readVideoEntry(entry, results);
        } catch (const ReadFailure&) {
        }
    }
}
} // namespace

void readAnswer(const std::string& method, const pugi::xml_document& answer,
                SearchResults& results) {
    const pugi::xml_node root = answer.document_element();
    if (!root)
        return;
    if (method == methods::kYoutubeSources) {
        readVideoFeed(root, results);
        return;
    }
    const pugi::xml_node top = root.first_child();
    if (!top)
        return;
    if (method == methods::kTrackSearch)
        readTrackSearch(top, results);
    else if (method == methods::kTrackGetSimilar)
        readFirstMatches(top, "track", fillSimilarTrack, results);
    else if (method == methods::kTagGetTopArtists || method == methods::kArtistGetSimilar)
        readFirstMatches(top, "artist", fillArtist, results);
}

bool loadAnswer(const std::string& file, pugi::xml_document& answer) {
    // A document that is not well-formed is not loaded at all, not even in part.
    answer.reset();
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.eof() && in.fail())
        return false;
    // The parser passes bytes that are not UTF-8 through unchecked; in a
    // document read as UTF-8 they make it not well-formed.
    if (readAsUtf8(bytes) && !isValidUtf8(bytes))
        return false;
    if (answer.load_buffer(bytes.data(), bytes.size(), pugi::parse_default))
        return true;
    answer.reset();
    return false;
}
