#include "app/WindowStyle.h"

#include "app/PngImage.h"

#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPixmap>
#include <QStyleOption>
#include <QWidget>
#include <algorithm>
#include <qdrawutil.h>

namespace {
const QString kStylePictures = QStringLiteral(":/qt-project.org/styles/commonstyle/images");

// Every size of one of Qt's own style pictures, e.g. "toolbar-ext-h" for
// toolbar-ext-h-8.png, -16.png and -32.png; empty when this Qt has none.
QIcon pngIcon(const QString& stem) {
    const QDir folder(kStylePictures);
    QIcon icon;
    const QString pattern = stem + QStringLiteral("-[0-9]*.png");
    for (const QString& name : folder.entryList({pattern}, QDir::Files)) {
        const QImage image = readPng(folder.filePath(name));
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
} // namespace

WindowStyle::WindowStyle()
    : QProxyStyle(QStringLiteral("Fusion"))
    , groupBoxFrame_(QPixmap::fromImage(readPng(kStylePictures + "/fusion_groupbox.png"))) {}

QIcon WindowStyle::standardIcon(StandardPixmap icon, const QStyleOption* option,
                                const QWidget* widget) const {
    const bool rightToLeft = (widget ? widget->layoutDirection()
                                     : QGuiApplication::layoutDirection()) == Qt::RightToLeft;
    QIcon png;
    if (icon == SP_ToolBarHorizontalExtensionButton)
        png = pngIcon(rightToLeft ? QStringLiteral("toolbar-ext-h-rtl")
                                  : QStringLiteral("toolbar-ext-h"));
    else if (icon == SP_ToolBarVerticalExtensionButton)
        png = pngIcon(QStringLiteral("toolbar-ext-v"));
    return png.isNull() ? QProxyStyle::standardIcon(icon, option, widget) : png;
}

// Fusion's own group box frame: its picture drawn as a nine-patch below the
// title, or from the top for a box with neither title nor check box.
void WindowStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    if (element != PE_FrameGroupBox || groupBoxFrame_.isNull())
        return QProxyStyle::drawPrimitive(element, option, painter, widget);
    constexpr int kTopMargin = 3;
    const auto* box = qobject_cast<const QGroupBox*>(widget);
    const int top =
        box && !box->isCheckable() && box->title().isEmpty()
            ? kTopMargin
            : std::max(pixelMetric(PM_ExclusiveIndicatorHeight), option->fontMetrics.height()) +
                  kTopMargin;
    qDrawBorderPixmap(painter, option->rect.adjusted(0, top, 0, 0), QMargins(6, 6, 6, 6),
                      groupBoxFrame_);
}
