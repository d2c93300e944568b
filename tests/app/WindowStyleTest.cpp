// The window shows without libraries it does not need yet; its style draws
// what Fusion draws.
#include "app/WindowStyle.h"
#include "app/MainWindow.h"
#include "tests/app/ShownWindow.h"
#include "tests/support/TestApp.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {
QImage render(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    widget.render(&image);
    return image;
}

bool mapped(const char* part) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(part);
}
} // namespace

TEST(WindowStyle, DrawsGroupBoxesAndTheMenuArrowAsFusionDoes) {
    ensureTestApp();
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    WindowStyle ours;
    for (const char* title : {"", "Mixer"}) {
        for (bool checkable : {false, true}) {
            QGroupBox box(QString::fromLatin1(title));
            box.setCheckable(checkable);
            box.resize(120, 70);
            box.setStyle(fusion.get());
            const QImage expected = render(box);
            box.setStyle(&ours);
            EXPECT_EQ(render(box), expected) << "title '" << title << "', checkable " << checkable;
        }
    }
    for (auto icon :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        const QImage expected = fusion->standardIcon(icon).pixmap(16).toImage();
        EXPECT_FALSE(expected.isNull());
        EXPECT_EQ(ours.standardIcon(icon).pixmap(16).toImage(), expected) << icon;
    }
}

// Each test runs in a process of its own, so nothing before it loaded them.
TEST(StartUp, TheWindowShowsWithoutImagePluginsOrTheMediaFramework) {
    ensureTestApp();
    QTemporaryDir home;
    useUserFolder(home.path().toLocal8Bit().constData());
    QApplication::setStyle(new WindowStyle);
    MainWindow form;
    ASSERT_TRUE(showAndOpenSoundDevices(form));
    EXPECT_FALSE(form.grab().isNull());
    EXPECT_FALSE(mapped("/imageformats/"));
    EXPECT_FALSE(mapped("libQt6Multimedia"));
}
