#include "platform/Dialogs.h"

#include "platform/Version.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <exception>

namespace dialogs {
namespace {
Handler& CurrentHandler() {
    static Handler handler;
    return handler;
}

FolderMemory& CurrentFolderMemory() {
    static FolderMemory memory;
    return memory;
}

// The request with the folder its kind of file was last chosen in.
Request WithStartFolder(Request request) {
    if (request.folderKey.isEmpty() || !request.directory.isEmpty())
        return request;
    const FolderMemory& memory = CurrentFolderMemory();
    const QString last = memory.load ? memory.load(request.folderKey) : QString();
    request.directory = !last.isEmpty() && QFileInfo(last).isDir()
                            ? last
                            : QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return request;
}

void RememberFolder(const Request& request, const QStringList& files) {
    const FolderMemory& memory = CurrentFolderMemory();
    if (request.folderKey.isEmpty() || files.isEmpty() || !memory.store)
        return;
    memory.store(request.folderKey, QFileInfo(files.front()).absolutePath());
}

QString AppTitle() {
    return QString::fromLatin1(kv::kApplicationTitle);
}

void ConfigureFileDialog(QFileDialog& dialog, const Request& request) {
    dialog.setWindowTitle(request.title);
    if (!request.filter.isEmpty())
        dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.directory.isEmpty())
        dialog.setDirectory(request.directory);
    if (!request.fileName.isEmpty() && !request.fileName.contains('*'))
        dialog.selectFile(request.fileName);
}
} // namespace

void SetHandler(Handler handler) {
    CurrentHandler() = std::move(handler);
}

void SetFolderMemory(FolderMemory memory) {
    CurrentFolderMemory() = std::move(memory);
}

QString WithFullStop(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.')
        return message;
    return message + QLatin1Char('.');
}

void ShowMessage(const QString& text, QWidget* parent) {
    if (auto& handler = CurrentHandler()) {
        handler({Kind::Message, text, AppTitle(), {}, {}, {}, false, {}, {}});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, AppTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void ShowError(const QString& message, QWidget* parent) {
    const QString text = WithFullStop(message);
    if (auto& handler = CurrentHandler()) {
        handler({Kind::Error, text, AppTitle(), {}, {}, {}, false, {}, {}});
        return;
    }
    QMessageBox box(QMessageBox::Critical, AppTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void OpenError(const QString& message, QWidget* parent) {
    const QString text = WithFullStop(message);
    if (auto& handler = CurrentHandler()) {
        handler({Kind::Error, text, AppTitle(), {}, {}, {}, false, {}, {}});
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, AppTitle(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

void RunCommand(const std::function<void()>& command, QWidget* parent) {
    try {
        command();
    } catch (const std::exception& error) {
        ShowError(QString::fromLocal8Bit(error.what()), parent);
    }
}

bool AskYesNo(const QString& text, QWidget* parent) {
    if (auto& handler = CurrentHandler())
        return handler({Kind::Question, text, AppTitle(), {}, {}, {}, false, {}, {}}).accepted;
    return QMessageBox::question(parent, AppTitle(), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

namespace {
QStringList AskOpenFileNames(const Request& request, QWidget* parent) {
    if (auto& handler = CurrentHandler()) {
        Request r = request;
        r.kind = Kind::OpenFiles;
        Answer a = handler(r);
        return a.accepted ? a.files : QStringList{};
    }
    QFileDialog dialog(parent);
    ConfigureFileDialog(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                                           : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString AskSaveFileName(const Request& request, QWidget* parent) {
    if (auto& handler = CurrentHandler()) {
        Request r = request;
        r.kind = Kind::SaveFile;
        Answer a = handler(r);
        return a.accepted && !a.files.isEmpty() ? a.files.front() : QString{};
    }
    QFileDialog dialog(parent);
    ConfigureFileDialog(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The playlist and conversion commands decide themselves about overwriting.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}
} // namespace

QStringList GetOpenFileNames(const Request& request, QWidget* parent) {
    const Request r = WithStartFolder(request);
    const QStringList files = AskOpenFileNames(r, parent);
    RememberFolder(r, files);
    return files;
}

QString GetSaveFileName(const Request& request, QWidget* parent) {
    const Request r = WithStartFolder(request);
    const QString file = AskSaveFileName(r, parent);
    if (!file.isEmpty())
        RememberFolder(r, {file});
    return file;
}

} // namespace dialogs
