#pragma once

#include <string>
#include <vector>

// Playlist files (".kvd"): one path per line, each line ended by CR LF, the
// path bytes written unchanged.

// Writes the file so that an existing playlist is never left half-written:
// the lines go to a new file beside it, which is flushed to disk and renamed
// over the old one (through a symbolic link, over the file it points to).
// Only where no new file can be made beside it is a writable playlist
// overwritten in place, its old content journaled first (SaveJournal.h).
// Temporaries that killed saves left in the folder go first. Returns false
// on failure, and for a path with a line break in it (it would read back as
// two rows).
bool writePlaylistFile(const std::string& file, const std::vector<std::string>& paths);
bool writePlaylistFile(const std::string& file, const std::vector<std::string>& paths,
                       const std::string& journalFolder);

// Reads the lines of a playlist file, after restoring any playlist whose save
// did not finish; lines may end in CR LF, a lone CR or a lone LF. Returns
// false when the file cannot be read.
bool readPlaylistFile(const std::string& file, std::vector<std::string>& lines);
bool readPlaylistFile(const std::string& file, std::vector<std::string>& lines,
                      const std::string& journalFolder);

// Splits text into lines at CR LF, lone CR and lone LF; a final line without an
// ending counts, a final ending does not start another line.
std::vector<std::string> splitLines(const std::string& text);
