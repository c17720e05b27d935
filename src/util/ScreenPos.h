#pragma once

#include <QPoint>

// Screen points that the dialogs accept instead of a real position.
constexpr QPoint CenterPos(-1, -1);      // centre on the main window
constexpr QPoint ScreenCenterPos(-1, 0); // centre on the screen
