#include "decks/TagEditor.h"

#include "analysis/FileTags.h"
#include "decks/Playlist.h"
#include "decks/PlaylistItems.h"
#include "decks/tags/ID3v1Layout.h"
#include "platform/Ansi1252.h"
#include "platform/Dialogs.h"
#include "platform/WinColor.h"
#include "platform/audio/TrackDecoder.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kBoxWidth = 353, kBoxHeight = 193, kFieldLeft = 76, kFieldWidth = 269;

std::string trimTrailing(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.substr(0, end);
}

// Field text as 8-bit bytes (one per character), cut to the field's capacity
// in the tag, which the field's own limit already keeps it within.
std::string fieldBytes(const QLineEdit* edit, size_t capacity) {
    std::string bytes = qStringToAnsi(edit->text());
    if (bytes.size() > capacity)
        bytes.resize(capacity);
    return bytes;
}

template <typename Field>
Field* addField(QGroupBox* box, const QString& caption, const char* name, int top) {
    auto* label = new QLabel(caption, box);
    label->setGeometry(8, top + 3, kFieldLeft - 12, 16);
    auto* field = new Field(box);
    field->setObjectName(QString::fromLatin1(name));
    field->setGeometry(kFieldLeft, top, kFieldWidth, 21);
    return field;
}

QLineEdit* addTextField(QGroupBox* box, const QString& caption, const char* name, int top,
                        std::size_t capacity) {
    auto* edit = addField<QLineEdit>(box, caption, name, top);
    edit->setMaxLength(int(capacity));
    return edit;
}

// The standard list in number order, then "no genre".
constexpr int kListedGenres = kGenreCount + 1;
} // namespace

TagEditor::TagEditor(QWidget* page, Playlist& list)
    : QObject(page)
    , playlist(list) {
    id3box = new QGroupBox(QStringLiteral("ID3 Information"), page);
    id3box->setObjectName(QStringLiteral("id3box"));
    id3box->setGeometry(364, 442, kBoxWidth, kBoxHeight);
    id3box->setAutoFillBackground(true);
    QPalette palette = id3box->palette();
    palette.setColor(QPalette::Window, fromWinColor(wincolor::kPanel));
    palette.setColor(QPalette::WindowText, fromWinColor(wincolor::kTagEditorText));
    id3box->setPalette(palette);
    QFont bold = id3box->font();
    bold.setBold(true);
    id3box->setFont(bold);

    using namespace id3v1;
    id3artist = addTextField(id3box, QStringLiteral("Artist"), "id3artist", 20, kArtistSize);
    id3title = addTextField(id3box, QStringLiteral("Title"), "id3title", 46, kTitleSize);
    id3album = addTextField(id3box, QStringLiteral("Album"), "id3album", 72, kAlbumSize);
    id3year = addTextField(id3box, QStringLiteral("Year"), "id3year", 98, kYearSize);
    id3genre = addField<QComboBox>(id3box, QStringLiteral("Genre"), "id3genre", 124);
    id3genre->setMaxVisibleItems(16);
    for (int genre = 0; genre < kGenreCount; ++genre)
        id3genre->addItem(QString::fromStdString(genreName(genre)), genre);
    id3genre->addItem(QString::fromStdString(genreName(kNoGenre)), int(kNoGenre));
    cancelButton = new QPushButton(QStringLiteral("Cancel"), id3box);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setGeometry(kFieldLeft + kFieldWidth - 75 - 80, 156, 75, 25);
    applyButton = new QPushButton(QStringLiteral("Update"), id3box);
    applyButton->setObjectName(QStringLiteral("applyButton"));
    applyButton->setGeometry(kFieldLeft + kFieldWidth - 75, 156, 75, 25);
    QWidget::setTabOrder(id3artist, id3title);
    QWidget::setTabOrder(id3title, id3album);
    QWidget::setTabOrder(id3album, id3year);
    QWidget::setTabOrder(id3year, applyButton);
    QWidget::setTabOrder(applyButton, cancelButton);
    QWidget::setTabOrder(cancelButton, id3genre);
    note = new QLabel(id3box);
    note->setGeometry(8, 150, kFieldLeft + kFieldWidth - 75 - 80 - 16, 36);
    note->setWordWrap(true);
    note->hide();
    id3box->hide();

    connect(applyButton, &QPushButton::clicked, this, &TagEditor::apply);
    connect(cancelButton, &QPushButton::clicked, this, &TagEditor::cancel);
}

void TagEditor::showForSelected(int windowWidth) {
    const int selected = playlist.selectedIndex();
    if (selected < 0)
        return; // nothing to show a tag of
    id3box->move(windowWidth / 2 - id3box->width() / 2, 440);
    id3box->show();
    id3box->raise();
    for (QLineEdit* edit : {id3artist, id3title, id3album, id3year})
        edit->clear();
    showGenre(-1, {});
    openedPath_ = playlist.pathAt(selected);
    opened_.reset();
    id3box->setToolTip(QString::fromLocal8Bit(openedPath_));
    if (!audio::isMp3Extension(openedPath_)) {
        setEditable(false, tr("Read only: only MP3 files' ID3v1 tags can be edited here."));
        showReadOnlyTags(openedPath_);
        return;
    }
    FileStamp stamp;
    if (!readTag(openedPath_, EditedTag, &stamp)) {
        setEditable(false, tr("The file could not be read."));
        return;
    }
    opened_ = stamp;
    setEditable(true, {});
    id3artist->setText(ansiToQString(trimTrailing(EditedTag.artist)));
    id3title->setText(ansiToQString(trimTrailing(EditedTag.title)));
    id3year->setText(ansiToQString(trimTrailing(EditedTag.year)));
    id3album->setText(ansiToQString(trimTrailing(EditedTag.album)));
    showGenre(EditedTag.genre, QString::fromStdString(genreName(EditedTag.genre)));
}

void TagEditor::setEditable(bool editable, const QString& why) {
    for (QLineEdit* edit : {id3artist, id3title, id3album, id3year})
        edit->setReadOnly(!editable);
    id3genre->setEnabled(editable);
    applyButton->setEnabled(editable);
    note->setText(why);
    note->setVisible(!editable);
}

// Selects the genre's item; a number outside the list (or a read-only
// format's genre text, number -1) gets an item of its own after the list, so
// that "Update" keeps it unless another genre is chosen.
void TagEditor::showGenre(int number, const QString& name) {
    while (id3genre->count() > kListedGenres)
        id3genre->removeItem(kListedGenres);
    if (name.isEmpty()) {
        id3genre->setCurrentIndex(-1);
        return;
    }
    int at = number >= 0 ? id3genre->findData(number) : -1;
    if (at < 0) {
        id3genre->addItem(name, number);
        at = id3genre->count() - 1;
    }
    id3genre->setCurrentIndex(at);
}

// Other formats keep their names in their own tags (Vorbis comments, MP4
// atoms), which the ID3v1 writer cannot write: they are shown, not edited.
void TagEditor::showReadOnlyTags(const std::string& path) {
    if (const std::optional<analysis::FileTags> tags = analysis::readFileTags(path)) {
        id3artist->setText(tags->artist);
        id3title->setText(tags->title);
        id3album->setText(tags->album);
        id3year->setText(tags->year);
        showGenre(-1, tags->genre);
    }
}

bool TagEditor::listed(const std::string& path) const {
    for (int i = 0; i < playlist.count(); ++i)
        if (playlist.pathAt(i) == path)
            return true;
    return false;
}

void TagEditor::apply() {
    if (!applyButton->isEnabled() || !opened_)
        return;
    QWidget* window = id3box->window();
    const QString name = QString::fromLocal8Bit(fileNamePart(openedPath_));
    // The box is not modal: the list may have changed under it meanwhile.
    if (!listed(openedPath_)) {
        dialogs::showError(
            tr("The tag was not written: \"%1\" is no longer in the playlist").arg(name), window);
        return;
    }
    EditedTag.artist = fieldBytes(id3artist, id3v1::kArtistSize);
    EditedTag.title = fieldBytes(id3title, id3v1::kTitleSize);
    EditedTag.year = fieldBytes(id3year, id3v1::kYearSize);
    EditedTag.album = fieldBytes(id3album, id3v1::kAlbumSize);
    if (id3genre->currentIndex() >= 0)
        EditedTag.genre = static_cast<uint8_t>(id3genre->currentData().toInt());
    try {
        if (writeTagIfUnchanged(openedPath_, EditedTag, *opened_) == TagWrite::Changed) {
            dialogs::showError(tr("The tag was not written: \"%1\" changed on disk after its "
                                  "tag was read. Choose \"ID3 Information\" again to edit it "
                                  "as it is now.")
                                   .arg(name),
                               window);
            return;
        }
    } catch (const std::exception& error) {
        dialogs::showError(QString::fromLocal8Bit(error.what()), window);
    }
    // A file that could not be opened keeps its old tag, which the rebuilt
    // list shows.
    id3box->hide();
    playlist.refreshTitles();
}

void TagEditor::cancel() {
    id3box->hide();
}
