#pragma once

class QGroupBox;
class QPushButton;
class QRadioButton;

// The conversion controls of the "Preview" box, by their design names.
struct ConversionWidgets {
    QRadioButton* mp3rb = nullptr;        // "MP3 (Audio)", checked at start
    QRadioButton* mp4rb = nullptr;        // "MP4 (Video)"
    QRadioButton* flvrb = nullptr;        // "FLV (Video)"
    QPushButton* convertButton = nullptr; // "Convert Now" / "Cancel?"
    QGroupBox* convertgrp = nullptr;      // its title is the status line
};

inline constexpr const char* kConvertCaption = "Convert Now";
inline constexpr const char* kCancelCaption = "Cancel?";

// Builds the controls into `previewbox` below the player (from y 276): the
// format buttons in one row, then the status line beside the button. They fit
// the box's design size of 347 x 341.
ConversionWidgets buildConversionForm(QGroupBox* previewbox);
