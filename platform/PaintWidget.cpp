#include "platform/PaintWidget.h"

#include "platform/WinColor.h"

#include <QPalette>
#include <QWidget>

void paintWidget(QWidget* widget, uint32_t background, uint32_t text) {
    QPalette palette = widget->palette();
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        palette.setColor(role, fromWinColor(background));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, fromWinColor(text));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}
