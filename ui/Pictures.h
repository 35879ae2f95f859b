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
    // The marks in front of the Inbox's and the Trash Can's rows.
    kMarkFriend,
    kMarkStranger,
    kMarkSpamYoung,
    kMarkSpamOld,
};

// The program's own pictures, drawn at the size asked for (for the screen's pixel ratio).
QPixmap Picture(EPicture picture, QSize size);
QIcon PictureIcon(EPicture picture, QSize size);

}  // namespace sieveclaw
