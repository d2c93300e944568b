#pragma once

#include <QString>
#include <string>

// Windows-1252 ("Western ANSI") text, the 8-bit encoding of ID3v1 tag fields.
// All 256 bytes decode; the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) decode to the C1 control of the same value,
// so every byte string survives a decode/encode round trip.

// Decodes every byte, zero bytes included, to one character.
QString ansiToQString(const std::string& bytes);

// Encodes each character to one byte; characters the code page cannot hold
// (including characters outside the Basic Multilingual Plane) become "?".
std::string qStringToAnsi(const QString& text);
