#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Every modal dialog and message box of the program goes through here, so that
// tests can answer them without a user.
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

using Handler = std::function<Answer(const Request&)>;

// Installs a handler that answers every dialog instead of the user; an empty
// handler restores the real dialogs.
void SetHandler(Handler handler);

// Where the last used folder of each kind of file is kept. Without one, or
// before a kind was first used, file dialogs start in the XDG music folder.
struct FolderMemory {
    std::function<QString(const QString& key)> load;
    std::function<void(const QString& key, const QString& folder)> store;
};
void SetFolderMemory(FolderMemory memory);

// Plain modal message box with an OK button, titled with the application title.
void ShowMessage(const QString& text, QWidget* parent = nullptr);

// The standard error box for errors that leave a command: stop icon, OK,
// titled with the application title, message passed through WithFullStop.
void ShowError(const QString& message, QWidget* parent = nullptr);

// The same box opened without waiting for it: returns at once, the box
// deletes itself when closed. For errors that arrive in a completion handler,
// where the window's thread must go on turning.
void OpenError(const QString& message, QWidget* parent = nullptr);

// Appends "." unless the text is empty or already ends in a character whose
// code is at or below '.'.
QString WithFullStop(const QString& message);

// Runs a user command; an error that leaves it is shown in the standard error
// box (ShowError with the error's text), as the framework does for handlers.
void RunCommand(const std::function<void()>& command, QWidget* parent = nullptr);

// Yes/No question; true when the user answers Yes.
bool AskYesNo(const QString& text, QWidget* parent = nullptr);

// File dialogs. An empty list / string means the user cancelled.
QStringList GetOpenFileNames(const Request& request, QWidget* parent = nullptr);
QString GetSaveFileName(const Request& request, QWidget* parent = nullptr);

} // namespace dialogs
