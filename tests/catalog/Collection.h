#pragma once

#include <filesystem>
#include <string>

// A small music and video collection made with the peer tools: MP3s by lame
// with ID3v2 tags (id3v2, mutagen) or ID3v1 only (id3v2 -1), one untagged file
// named "Artist - Title", one with hostile names, and 2-second videos by ffmpeg.
// Made once per test run in a temporary folder.
struct Collection {
    std::filesystem::path root;
    std::filesystem::path music;
    std::filesystem::path videos;
    int musicFiles = 0;
    int videoFiles = 0;
};

const Collection& sharedCollection();

// Copies the collection into a fresh folder the caller may change.
Collection copyOf(const Collection& original, const std::filesystem::path& where);

// Runs a command line of the test's own making; true when it exits 0.
bool runCommand(const std::string& command);
