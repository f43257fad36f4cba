#pragma once
// Full-screen windows on the right output under XWayland on sway: sway maps every new X11 window on the
// focused output whatever position it asks for, so a wall meant for the second output would land behind
// the first. Through sway's IPC the window is moved to the output with the screen's geometry and made
// full screen there, retried until sway has mapped it.

#include <QRect>
#include <QString>

class QWindow;

namespace SwayPlacement {
// The command that moves the X11 window `id` to `output` full screen.
QString command(unsigned long long id, const QString& output);
// Starts the placing of `window` (shown) on the output at `geometry`; gives up after a few seconds with
// one log line.
void place(QWindow* window, const QRect& geometry, const QString& socketPath);
} // namespace SwayPlacement
