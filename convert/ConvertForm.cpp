#include "convert/ConvertForm.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

namespace {
QRadioButton* formatButton(const char* caption, QGroupBox* box, int left) {
    auto* button = new QRadioButton(QString::fromLatin1(caption), box);
    button->setGeometry(left, 278, 104, 18);
    return button;
}
} // namespace

ConversionWidgets buildConversionForm(QGroupBox* previewbox) {
    ConversionWidgets w;
    // Made first so that it lies beneath the controls beside it.
    w.convertgrp = new QGroupBox(QStringLiteral("Convert"), previewbox);
    w.convertgrp->setGeometry(9, 300, 232, 34);
    // Sibling radio buttons exclude each other.
    w.mp3rb = formatButton("MP3 (Audio)", previewbox, 12);
    w.mp4rb = formatButton("MP4 (Video)", previewbox, 122);
    w.flvrb = formatButton("FLV (Video)", previewbox, 232);
    w.mp3rb->setChecked(true);
    w.convertButton = new QPushButton(QString::fromLatin1(kConvertCaption), previewbox);
    w.convertButton->setGeometry(247, 304, 91, 28);
    return w;
}
