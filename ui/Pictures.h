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
    // The program's icon, and its tray states.
    kMain,
    kGotMail,
    kScanning,
    kClaw1,
    kClaw2,
    kClaw3,
    kClaw4,
    kClaw5,
    // The main window's buttons.
    kButtonInbox,
    kButtonTrash,
    kButtonFriends,
    kButtonFilters,
    kButtonPreferences,
    kButtonCheck,
    kButtonGetMail,
    // The marks in front of the Inbox's and the Trash Can's rows.
    kMarkFriend,
    kMarkStranger,
    kMarkSpamYoung,
    kMarkSpamOld,
};

// The program's own pictures, drawn at the size asked for (for the screen's pixel ratio).
QPixmap Picture(EPicture picture, QSize size);
QIcon PictureIcon(EPicture picture, QSize size);
// The picture at every size a tray, a window frame or a task bar asks for, from 16 to 256 pixels.
QIcon ScalableIcon(EPicture picture);

}  // namespace sieveclaw
