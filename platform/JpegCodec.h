#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// JPEG pictures through the IJG libjpeg API: the deck pictures and the
// broadcast background. Corrupt or truncated data never ends the program:
// the decoders then return a null image.

QImage decodeJpeg(const QString& path);
QImage decodeJpegBytes(const QByteArray& data);

// Writes the image as a baseline RGB JPEG (quality 1..100), replacing the
// file only once the whole picture is written. False on any failure.
bool encodeJpeg(const QImage& image, const QString& path, int quality = 90);
