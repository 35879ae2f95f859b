#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace sieveclaw {

enum class EPicture {
    kAccountActive,
    kAccountHeld,
    kTestUntested,
    kTestWorked,
    kTestFailed,
    kTestRunning,
    kLock,
};

// The program's own pictures, drawn at the size asked for (for the screen's pixel ratio).
QPixmap Picture(EPicture picture, QSize size);
QIcon PictureIcon(EPicture picture, QSize size);

}  // namespace sieveclaw
