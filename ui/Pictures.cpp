#include "ui/Pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

// The pictures live in a static library, whose resource data the linker would otherwise leave out.
static void InitPictureResources() {
    Q_INIT_RESOURCE(pictures);
}

namespace sieveclaw {

namespace {

QString ResourceOf(EPicture picture) {
    switch (picture) {
        case EPicture::kAccountActive:
            return QStringLiteral(":/pictures/account-active.svg");
        case EPicture::kAccountHeld:
            return QStringLiteral(":/pictures/account-held.svg");
        case EPicture::kTestUntested:
            return QStringLiteral(":/pictures/test-untested.svg");
        case EPicture::kTestWorked:
            return QStringLiteral(":/pictures/test-worked.svg");
        case EPicture::kTestFailed:
            return QStringLiteral(":/pictures/test-failed.svg");
        case EPicture::kTestRunning:
            return QStringLiteral(":/pictures/test-running.svg");
        case EPicture::kLock:
            return QStringLiteral(":/pictures/lock.svg");
        case EPicture::kMain:
            return QStringLiteral(":/pictures/sieveclaw.svg");
        case EPicture::kGotMail:
            return QStringLiteral(":/pictures/gotmail.svg");
        case EPicture::kScanning:
            return QStringLiteral(":/pictures/scanning.svg");
        case EPicture::kClaw1:
            return QStringLiteral(":/pictures/claw1.svg");
        case EPicture::kClaw2:
            return QStringLiteral(":/pictures/claw2.svg");
        case EPicture::kClaw3:
            return QStringLiteral(":/pictures/claw3.svg");
        case EPicture::kClaw4:
            return QStringLiteral(":/pictures/claw4.svg");
        case EPicture::kClaw5:
            return QStringLiteral(":/pictures/claw5.svg");
        case EPicture::kButtonInbox:
            return QStringLiteral(":/pictures/button-inbox.svg");
        case EPicture::kButtonTrash:
            return QStringLiteral(":/pictures/button-trash.svg");
        case EPicture::kButtonFriends:
            return QStringLiteral(":/pictures/button-friends.svg");
        case EPicture::kButtonFilters:
            return QStringLiteral(":/pictures/button-filters.svg");
        case EPicture::kButtonPreferences:
            return QStringLiteral(":/pictures/button-preferences.svg");
        case EPicture::kButtonCheck:
            return QStringLiteral(":/pictures/button-check.svg");
        case EPicture::kButtonGetMail:
            return QStringLiteral(":/pictures/button-getmail.svg");
        case EPicture::kMarkFriend:
            return QStringLiteral(":/pictures/mark-friend.svg");
        case EPicture::kMarkStranger:
            return QStringLiteral(":/pictures/mark-stranger.svg");
        case EPicture::kMarkSpamYoung:
            return QStringLiteral(":/pictures/mark-spam-young.svg");
        case EPicture::kMarkSpamOld:
            return QStringLiteral(":/pictures/mark-spam-old.svg");
    }
    return {};
}

}  // namespace

QPixmap Picture(EPicture picture, QSize size) {
    static const bool initialised = (InitPictureResources(), true);
    (void)initialised;
    const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(ResourceOf(picture));
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon PictureIcon(EPicture picture, QSize size) {
    return QIcon(Picture(picture, size));
}

QIcon ScalableIcon(EPicture picture) {
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(Picture(picture, QSize(side, side)));
    }
    return icon;
}

}  // namespace sieveclaw
