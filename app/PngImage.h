#pragma once

#include <QImage>
#include <QString>

// Reads a PNG file or resource as PNG. A reader left to find out the format
// itself asks every image plugin Qt has, loading about twenty libraries and
// 1 MB that a program showing only PNGs never needs.
QImage readPng(const QString& path);
