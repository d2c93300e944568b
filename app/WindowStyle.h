#pragma once

#include <QProxyStyle>

#include <QPixmap>

// Fusion, with the pictures it needs from the start (the menu bar's
// extension arrow, the group box frame) read with ReadPng. The stock style
// names only the file, and finding out its format loads every image plugin
// Qt has before the window shows.
class WindowStyle : public QProxyStyle {
public:
    WindowStyle();
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    QPixmap groupBoxFrame_;
};
