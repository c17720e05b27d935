#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <sys/types.h>

// The top-level windows that a task bar would show, read from the X display. On a
// Wayland-only or headless session there are none to read.

// Longest window title read, in UTF-16 code units.
inline constexpr int MaxWindowTitleLength = 1024;

struct TTaskbarWindow
{
    QString Title;       // never empty, at most MaxWindowTitleLength characters
    uint32_t Window = 0; // the X window id
    pid_t Pid = 0;       // from _NET_WM_PID; 0 when the window names none we can trust
};

// Fills AList with the task-bar windows of the display named by DISPLAY: those of the
// window manager's _NET_CLIENT_LIST in its order, or without a (live) window manager the
// mapped children of the root window, bottom to top. A window qualifies when it is shown
// (mapped, or iconified or on another desktop of the window manager), is owned by no
// other window, is not a utility, toolbar, dock, desktop or override-redirect window, is
// not marked to skip the task bar and has a title. The process id is dropped when
// WM_CLIENT_MACHINE names another host, since the number then means nothing here.
// Returns false with an empty list when there is no display, the connection fails, or
// the server does not answer within a few seconds: a hung X server must not hang a run.
bool GetTaskbarWindows(QList<TTaskbarWindow> &AList);
