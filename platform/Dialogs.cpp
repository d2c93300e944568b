#include "platform/Dialogs.h"

#include "platform/Version.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <exception>
#include <memory>

namespace dialogs {
namespace {
Handler& currentHandler() {
    static Handler handler;
    return handler;
}

FolderMemory& currentFolderMemory() {
    static FolderMemory memory;
    return memory;
}

// The request with the folder its kind of file was last chosen in.
Request withStartFolder(Request request) {
    if (request.folderKey.isEmpty() || !request.directory.isEmpty())
        return request;
    const FolderMemory& memory = currentFolderMemory();
    const QString last = memory.load ? memory.load(request.folderKey) : QString();
    request.directory = !last.isEmpty() && QFileInfo(last).isDir()
                            ? last
                            : QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return request;
}

void rememberFolder(const Request& request, const QStringList& files) {
    const FolderMemory& memory = currentFolderMemory();
    if (request.folderKey.isEmpty() || files.isEmpty() || !memory.store)
        return;
    memory.store(request.folderKey, QFileInfo(files.front()).absolutePath());
}

QString appTitle() {
    return QString::fromLatin1(kv::kApplicationTitle);
}

void configureFileDialog(QFileDialog& dialog, const Request& request) {
    dialog.setWindowTitle(request.title);
    if (!request.filter.isEmpty())
        dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.directory.isEmpty())
        dialog.setDirectory(request.directory);
    if (!request.fileName.isEmpty() && !request.fileName.contains('*'))
        dialog.selectFile(request.fileName);
}

// Hands an answer on while the parent lives; without a parent, always.
Reply whileParentLives(QWidget* parent, Reply then) {
    return [guard = QPointer<QWidget>(parent), orphan = parent == nullptr,
            then = std::move(then)](const Answer& answer) {
        if ((orphan || guard) && then)
            then(answer);
    };
}

// Asks the handler, or opens the dialog window-modal; read turns the closed
// dialog into the answer. The dialog deletes itself once closed.
void ask(const Request& request, QWidget* parent, QDialog* (*make)(const Request&, QWidget*),
         Answer (*read)(QDialog&), Reply then) {
    Reply reply = whileParentLives(parent, std::move(then));
    if (auto& handler = currentHandler()) {
        handler(request, std::move(reply));
        return;
    }
    QDialog* dialog = make(request, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, read, reply = std::move(reply)](int) { reply(read(*dialog)); });
    dialog->open();
}

QDialog* makeBox(const Request& request, QWidget* parent) {
    switch (request.kind) {
    case Kind::Question:
        return new QMessageBox(QMessageBox::Question, request.title, request.text,
                               QMessageBox::Yes | QMessageBox::No, parent);
    case Kind::Error:
        return new QMessageBox(QMessageBox::Critical, request.title, request.text, QMessageBox::Ok,
                               parent);
    default:
        return new QMessageBox(QMessageBox::NoIcon, request.title, request.text, QMessageBox::Ok,
                               parent);
    }
}

Answer readBox(QDialog& dialog) {
    auto& box = static_cast<QMessageBox&>(dialog);
    const QMessageBox::StandardButton button = box.standardButton(box.clickedButton());
    return {button == QMessageBox::Yes || button == QMessageBox::Ok, {}};
}

QDialog* makeFileDialog(const Request& request, QWidget* parent) {
    auto* dialog = new QFileDialog(parent);
    configureFileDialog(*dialog, request);
    if (request.kind == Kind::SaveFile) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        // The playlist and conversion commands decide themselves about overwriting.
        dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                                                : QFileDialog::ExistingFile);
    }
    return dialog;
}

Answer readFileDialog(QDialog& dialog) {
    auto& files = static_cast<QFileDialog&>(dialog);
    if (files.result() != QDialog::Accepted)
        return {};
    return {true, files.selectedFiles()};
}

Request textRequest(Kind kind, const QString& text) {
    Request request;
    request.kind = kind;
    request.text = text;
    request.title = appTitle();
    return request;
}
} // namespace

void setHandler(Handler handler) {
    currentHandler() = std::move(handler);
}

void setFolderMemory(FolderMemory memory) {
    currentFolderMemory() = std::move(memory);
}

QString withFullStop(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.')
        return message;
    return message + QLatin1Char('.');
}

void showMessage(const QString& text, QWidget* parent, std::function<void()> closed) {
    ask(textRequest(Kind::Message, text), parent, makeBox, readBox,
        [closed = std::move(closed)](const Answer&) {
            if (closed)
                closed();
        });
}

void showError(const QString& message, QWidget* parent) {
    ask(textRequest(Kind::Error, withFullStop(message)), parent, makeBox, readBox, {});
}

void runCommand(const std::function<void()>& command, QWidget* parent) {
    try {
        command();
    } catch (const std::exception& error) {
        showError(QString::fromLocal8Bit(error.what()), parent);
    }
}

void askYesNo(const QString& text, QWidget* parent, std::function<void(bool yes)> answered) {
    ask(textRequest(Kind::Question, text), parent, makeBox, readBox,
        [answered = std::move(answered)](const Answer& answer) { answered(answer.accepted); });
}

namespace {
// A file dialog of that kind; chosen gets the files, none when cancelled.
void askForFiles(const Request& request, Kind kind, QWidget* parent,
                 std::function<void(const QStringList& files)> chosen) {
    Request r = withStartFolder(request);
    r.kind = kind;
    ask(r, parent, makeFileDialog, readFileDialog,
        [r, chosen = std::move(chosen)](const Answer& answer) {
            const QStringList files = answer.accepted ? answer.files : QStringList{};
            rememberFolder(r, files);
            chosen(files);
        });
}
} // namespace

void getOpenFileNames(const Request& request, QWidget* parent,
                      std::function<void(const QStringList& files)> chosen) {
    askForFiles(request, Kind::OpenFiles, parent, std::move(chosen));
}

void getSaveFileName(const Request& request, QWidget* parent,
                     std::function<void(const QString& file)> chosen) {
    askForFiles(request, Kind::SaveFile, parent,
                [chosen = std::move(chosen)](const QStringList& files) {
                    chosen(files.isEmpty() ? QString() : files.front());
                });
}

QStringList getOpenFileNames(const Request& request, QWidget* parent) {
    Request r = withStartFolder(request);
    r.kind = Kind::OpenFiles;
    QStringList files;
    if (auto& handler = currentHandler()) {
        auto answered = std::make_shared<QStringList>();
        handler(r, [answered](const Answer& answer) {
            if (answer.accepted)
                *answered = answer.files;
        });
        files = *answered;
    } else {
        QFileDialog* dialog = static_cast<QFileDialog*>(makeFileDialog(r, parent));
        const std::unique_ptr<QFileDialog> owned(dialog);
        if (dialog->exec() == QDialog::Accepted) // wait-ok: a user's direct command
            files = dialog->selectedFiles();
    }
    rememberFolder(r, files);
    return files;
}

} // namespace dialogs
