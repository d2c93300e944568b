#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Every dialog and message box of the program goes through here, so that
// tests can answer them without a user. None of them waits: each opens
// window-modal on its parent (QDialog::open) and returns at once; what
// follows the answer runs from the dialog's own signal, on a later turn of
// the event loop, and only while the parent lives.
namespace dialogs {

enum class Kind { Message, Error, Question, OpenFiles, SaveFile };

struct Request {
    Kind kind = Kind::Message;
    QString text;          // message, error or question text
    QString title;         // window title
    QString filter;        // file dialogs: name filter, e.g. "*.mp3"
    QString defaultSuffix; // file dialogs: extension added when none is typed
    QString fileName;      // file dialogs: initial file name field
    bool multiSelect = false;
    // File dialogs: the kind of file ("tracks", "playlists"), whose last used
    // folder the dialog starts in; the seam fills directory from it.
    QString folderKey;
    QString directory; // file dialogs: the folder the dialog starts in
};

struct Answer {
    bool accepted = false; // OK/Yes/Open/Save pressed
    QStringList files;     // chosen files, in the dialog's order
};

using Reply = std::function<void(const Answer&)>;
// Answers a dialog instead of the user: calls reply once, at once or later
// (as a user would), or never (a dialog left open).
using Handler = std::function<void(const Request&, Reply reply)>;

// Installs a handler that answers every dialog instead of the user; an empty
// handler restores the real dialogs.
void setHandler(Handler handler);

// Where the last used folder of each kind of file is kept. Without one, or
// before a kind was first used, file dialogs start in the XDG music folder.
struct FolderMemory {
    std::function<QString(const QString& key)> load;
    std::function<void(const QString& key, const QString& folder)> store;
};
void setFolderMemory(FolderMemory memory);

// Message box with an OK button, titled with the application title; closed
// runs once it has been closed.
void showMessage(const QString& text, QWidget* parent = nullptr, std::function<void()> closed = {});

// The standard error box for errors that leave a command: stop icon, OK,
// titled with the application title, message passed through WithFullStop.
void showError(const QString& message, QWidget* parent = nullptr);

// Appends "." unless the text is empty or already ends in a character whose
// code is at or below '.'.
QString withFullStop(const QString& message);

// Runs a user command; an error that leaves it is shown in the standard error
// box (ShowError with the error's text), as the framework does for handlers.
void runCommand(const std::function<void()>& command, QWidget* parent = nullptr);

// Yes/No question; answered(true) when the user answers Yes.
void askYesNo(const QString& text, QWidget* parent, std::function<void(bool yes)> answered);

// File dialogs; chosen gets an empty list / string when the user cancelled.
void getOpenFileNames(const Request& request, QWidget* parent,
                      std::function<void(const QStringList& files)> chosen);
void getSaveFileName(const Request& request, QWidget* parent,
                     std::function<void(const QString& file)> chosen);

// The open dialog answered before it returns, for a user's direct command
// that still reads its answer in line (the broadcast's "Load"). A handler
// that has not replied by then counts as cancelled.
QStringList getOpenFileNames(const Request& request, QWidget* parent = nullptr);

} // namespace dialogs
