// Loading a playlist file of arbitrary bytes: the lines hold no line ends, and
// writing them back one per CR LF line gives the same lines again.
#include "decks/PlaylistFile.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/TempInputFile.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempInputFile file("list.kvd");
    file.write(data, size);
    std::vector<std::string> lines;
    fuzzCheck(readPlaylistFile(file.path(), lines), "a readable playlist is read");

    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzzCheck(lines == splitLines(text), "the file reads as its text split");
    std::string saved;
    for (const std::string& line : lines) {
        fuzzCheck(line.find_first_of("\r\n") == std::string::npos, "no line end in a line");
        saved += line + "\r\n";
    }
    fuzzCheck(splitLines(saved) == lines, "lines saved as CR LF lines read back");
    return 0;
}
