#include "broadcast/BroadcastForm.h"

#include "platform/PaintWidget.h"
#include "platform/WinColor.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QGroupBox* group(const char* caption, QWidget* parent, int left, int top, int width, int height) {
    auto* box = new QGroupBox(QString::fromLatin1(caption), parent);
    box->setGeometry(left, top, width, height);
    paintWidget(box, wincolor::kPanel, wincolor::kText);
    return box;
}

QLineEdit* labelledEdit(const char* caption, const char* text, QWidget* parent, int top) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setGeometry(12, top + 3, 110, 17);
    auto* edit = new QLineEdit(QString::fromLatin1(text), parent);
    edit->setGeometry(124, top, 300, 23);
    return edit;
}

} // namespace

BroadcastWidgets buildBroadcastForm(QWidget* tabSheet) {
    BroadcastWidgets w;
    w.streamingchannelbox = group("   Streaming Channel", tabSheet, 8, 8, 900, 420);

    w.serverbox = group("Server", w.streamingchannelbox, 12, 24, 440, 120);
    w.streamingrtmpurledit = labelledEdit("RTMP URL (FMS):", kInitialRtmpUrl, w.serverbox, 24);
    w.streamingstreamedit = labelledEdit("Stream:", "", w.serverbox, 54);
    w.streamingpreviewurledit = labelledEdit("Preview (Url):", "http://", w.serverbox, 84);

    w.backgroundbox = group("Video Background", w.streamingchannelbox, 464, 24, 424, 384);
    auto* sourceLabel = new QLabel(QStringLiteral("URL/File (*.jpg):"), w.backgroundbox);
    sourceLabel->setGeometry(12, 27, 110, 17);
    w.streamingbackgroundurledit = new QLineEdit(QStringLiteral("http://"), w.backgroundbox);
    w.streamingbackgroundurledit->setGeometry(124, 24, 210, 23);
    w.loadBackgroundButton = new QPushButton(QStringLiteral("Load"), w.backgroundbox);
    w.loadBackgroundButton->setGeometry(340, 23, 72, 25);
    auto* previewLabel = new QLabel(QStringLiteral("Preview:"), w.backgroundbox);
    previewLabel->setGeometry(12, 58, 110, 17);
    w.streamingpreviewimage = new QLabel(w.backgroundbox);
    w.streamingpreviewimage->setGeometry(12, 80, 320, 240);
    // The picture at its own size from the top left corner, clipped to the box.
    w.streamingpreviewimage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    w.streamingpreviewimage->setScaledContents(false);

    w.controlbox = group("Control", w.streamingchannelbox, 12, 156, 440, 120);
    w.streamingstatuslbl = new QLabel(w.controlbox);
    w.streamingstatuslbl->setGeometry(12, 24, 416, 17);
    w.streamingpreviewbtn = new QPushButton(QStringLiteral("Watch"), w.controlbox);
    w.streamingpreviewbtn->setGeometry(12, 72, 120, 30);
    w.broadcastButton = new QPushButton(QStringLiteral("Broadcast Now"), w.controlbox);
    w.broadcastButton->setGeometry(248, 72, 180, 30);
    return w;
}
