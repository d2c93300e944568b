#include "decks/TagEditor.h"

#include "analysis/FileTags.h"
#include "decks/Playlist.h"
#include "decks/PlaylistItems.h"
#include "platform/Ansi1252.h"
#include "platform/Dialogs.h"
#include "platform/WinColor.h"
#include "platform/audio/TrackDecoder.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kBoxWidth = 353, kBoxHeight = 193, kFieldLeft = 76, kFieldWidth = 269;

std::string TrimTrailing(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.substr(0, end);
}

// Field text as 8-bit bytes, cut to the field's capacity in the tag.
std::string FieldBytes(const QLineEdit* edit, size_t capacity) {
    std::string bytes = QStringToAnsi(edit->text());
    if (bytes.size() > capacity)
        bytes.resize(capacity);
    return bytes;
}

QLineEdit* AddField(QGroupBox* box, const QString& caption, int top) {
    auto* label = new QLabel(caption, box);
    label->setGeometry(8, top + 3, kFieldLeft - 12, 16);
    auto* edit = new QLineEdit(box);
    edit->setGeometry(kFieldLeft, top, kFieldWidth, 21);
    return edit;
}
} // namespace

TagEditor::TagEditor(QWidget* page, Playlist& list)
    : QObject(page)
    , playlist(list) {
    id3box = new QGroupBox(QStringLiteral("ID3 Information"), page);
    id3box->setObjectName(QStringLiteral("id3box"));
    id3box->setGeometry(364, 442, kBoxWidth, kBoxHeight);
    id3box->setAutoFillBackground(true);
    QPalette palette = id3box->palette();
    palette.setColor(QPalette::Window, FromWinColor(wincolor::kPanel));
    palette.setColor(QPalette::WindowText, FromWinColor(wincolor::kTagEditorText));
    id3box->setPalette(palette);
    QFont bold = id3box->font();
    bold.setBold(true);
    id3box->setFont(bold);

    id3artist = AddField(id3box, QStringLiteral("Artist"), 20);
    id3title = AddField(id3box, QStringLiteral("Title"), 46);
    id3album = AddField(id3box, QStringLiteral("Album"), 72);
    id3year = AddField(id3box, QStringLiteral("Year"), 98);
    id3genre = AddField(id3box, QStringLiteral("Genre"), 124);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), id3box);
    cancelButton->setGeometry(kFieldLeft + kFieldWidth - 75 - 80, 156, 75, 25);
    applyButton = new QPushButton(QStringLiteral("Update"), id3box);
    applyButton->setGeometry(kFieldLeft + kFieldWidth - 75, 156, 75, 25);
    QWidget::setTabOrder(id3artist, id3title);
    QWidget::setTabOrder(id3title, id3album);
    QWidget::setTabOrder(id3album, id3year);
    QWidget::setTabOrder(id3year, applyButton);
    QWidget::setTabOrder(applyButton, cancelButton);
    QWidget::setTabOrder(cancelButton, id3genre);
    note = new QLabel(tr("Read only: only MP3 files' ID3v1 tags can be edited here."), id3box);
    note->setGeometry(8, 150, kFieldLeft + kFieldWidth - 75 - 80 - 16, 36);
    note->setWordWrap(true);
    note->hide();
    id3box->hide();

    connect(applyButton, &QPushButton::clicked, this,
            [this] { dialogs::RunCommand([this] { apply(); }, id3box->window()); });
    connect(cancelButton, &QPushButton::clicked, this, &TagEditor::cancel);
}

void TagEditor::showForSelected(int windowWidth) {
    const int selected = playlist.SelectedIndex();
    if (selected < 0)
        return; // nothing to show a tag of
    id3box->move(windowWidth / 2 - id3box->width() / 2, 440);
    id3box->show();
    id3box->raise();
    for (QLineEdit* edit : {id3artist, id3title, id3album, id3year, id3genre})
        edit->clear();
    const std::string path = playlist.PathAt(selected);
    const bool editable = audio::IsMp3Extension(path);
    for (QLineEdit* edit : {id3artist, id3title, id3album, id3year})
        edit->setReadOnly(!editable);
    applyButton->setEnabled(editable);
    note->setVisible(!editable);
    if (!editable) {
        ShowReadOnlyTags(path);
        return;
    }
    if (!ReadTag(path, EditedTag))
        return;
    id3artist->setText(AnsiToQString(TrimTrailing(EditedTag.artist)));
    id3title->setText(AnsiToQString(TrimTrailing(EditedTag.title)));
    id3year->setText(AnsiToQString(TrimTrailing(EditedTag.year)));
    id3album->setText(AnsiToQString(TrimTrailing(EditedTag.album)));
    id3genre->setText(QString::fromStdString(GenreName(EditedTag.genre)));
}

// Other formats keep their names in their own tags (Vorbis comments, MP4
// atoms), which the ID3v1 writer cannot write: they are shown, not edited.
void TagEditor::ShowReadOnlyTags(const std::string& path) {
    if (const std::optional<analysis::FileTags> tags = analysis::ReadFileTags(path)) {
        id3artist->setText(tags->artist);
        id3title->setText(tags->title);
        id3album->setText(tags->album);
        id3year->setText(tags->year);
        id3genre->setText(tags->genre);
    }
}

void TagEditor::apply() {
    if (!applyButton->isEnabled())
        return;
    EditedTag.artist = FieldBytes(id3artist, 30);
    EditedTag.title = FieldBytes(id3title, 30);
    EditedTag.year = FieldBytes(id3year, 4);
    EditedTag.album = FieldBytes(id3album, 30);
    const int selected = playlist.SelectedIndex();
    if (selected >= 0)
        WriteTag(playlist.PathAt(selected), EditedTag);
    id3box->hide();
    playlist.refreshTitles();
}

void TagEditor::cancel() {
    id3box->hide();
}
