#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace quill::shell {

// Places a window in the middle of the screen its parent is on, rather than over the parent.
inline void centreOnScreen(QWidget* dialog)
{
    const QWidget* parent = dialog->parentWidget();
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        dialog->move(screen->availableGeometry().center() - QPoint(dialog->width() / 2, dialog->height() / 2));
}

} // namespace quill::shell
