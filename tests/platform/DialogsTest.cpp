// The real dialogs, without a handler: they open window-modal, return at
// once and go on from the user's answer.
#include "platform/Dialogs.h"
#include "tests/support/TestApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

template <class Dialog> Dialog* openDialog(QWidget& parent) {
    Dialog* found = nullptr;
    const bool shown = QTest::qWaitFor(
        [&] {
            found = parent.findChild<Dialog*>();
            return found && found->isVisible();
        },
        5000);
    return shown ? found : nullptr;
}

TEST(Dialogs, AQuestionReturnsAtOnceAndTheAnswerComesFromTheBox) {
    ensureTestApp();
    QWidget window;
    window.show();
    std::optional<bool> answer;
    dialogs::askYesNo(QStringLiteral("Overwrite?"), &window, [&](bool yes) { answer = yes; });
    EXPECT_FALSE(answer);
    QMessageBox* box = openDialog<QMessageBox>(window);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), "Overwrite?");
    box->button(QMessageBox::No)->click();
    EXPECT_EQ(answer, std::optional<bool>(false));

    // A window that goes before the answer takes the step after it along.
    auto parent = std::make_unique<QWidget>();
    parent->show();
    bool closed = false;
    dialogs::showMessage(QStringLiteral("Conversion aborted!"), parent.get(),
                         [&] { closed = true; });
    ASSERT_NE(openDialog<QMessageBox>(*parent), nullptr);
    parent.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(closed);
}

TEST(Dialogs, TheSaveDialogHandsOnTheChosenFileOrNothing) {
    ensureTestApp();
    QWidget window;
    window.show();
    std::optional<QString> chosen;
    dialogs::Request request;
    request.directory = QDir::tempPath();
    const auto ask = [&] {
        chosen.reset();
        dialogs::getSaveFileName(request, &window, [&](const QString& file) { chosen = file; });
        return openDialog<QFileDialog>(window);
    };
    QFileDialog* dialog = ask();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    dialog->selectFile(QDir::temp().filePath(QStringLiteral("song.mp3")));
    static_cast<QDialog*>(dialog)->accept(); // as its Save button does
    EXPECT_EQ(chosen, QDir::temp().filePath(QStringLiteral("song.mp3")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    dialog = ask();
    ASSERT_NE(dialog, nullptr);
    static_cast<QDialog*>(dialog)->reject();
    EXPECT_EQ(chosen, QString());
}

} // namespace
