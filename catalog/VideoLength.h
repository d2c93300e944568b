#pragma once

#include <string>

// The length of a video in whole seconds, as FFmpeg's demuxer finds it in the
// container (FLV, Matroska/WebM, AVI, MPEG and the rest TagLib cannot read);
// 0 when the file cannot be opened or names no length.
int videoSeconds(const std::string& path);
