#pragma once

#include <array>
#include <map>

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

#include "ui/Pictures.h"

class QSystemTrayIcon;

namespace sieveclaw {

// The tray icon's tip holds at most this many characters; longer texts are cut.
inline constexpr int kTrayTipLength = 63;
QString TrayTip(const QString& text);

// The program's icon in the tray: its picture and tip follow the mail check, a left click shows
// the main window, a right click asks for the tray menu. Where the desktop has no tray host the
// icon is kept all the same (it shows once a host appears) and the main window stays reachable
// instead. User interface thread only.
class CSieveclawTray : public QObject {
    Q_OBJECT
public:
    enum class EAction { kAdd, kChange, kDelete };

    // title: the main window's title, the tip wherever no other is given.
    explicit CSieveclawTray(QString title, QObject* parent = nullptr);
    ~CSieveclawTray() override;

    // Adds, changes or deletes the icon; an empty tip shows the title.
    void SetTrayIcon(EAction action, EPicture icon, const QString& tip = {});

    // The icon the mail check left (the main icon, or the got-mail icon), which the claw animation
    // and a check's end come back to.
    EPicture Current() const { return m_Current; }
    void SetCurrent(EPicture icon) { m_Current = icon; }

    // The five clawing frames, kClawFrameTime each, tip "Sieveclaw - Clawing Spam!", then the
    // current icon with the title as tip. The event loop runs between frames; a new request starts
    // over.
    static constexpr int kClawFrameTime = 500;
    void PlayClawAnimation();
    bool IsAnimating() const { return m_Frame >= 0; }

    // What the tray shows now.
    bool IsPresent() const { return m_Present; }
    EPicture Shown() const { return m_Shown; }
    QString Tip() const { return m_Tip; }

    // Whether this desktop shows tray icons at all.
    static bool IsTrayAvailable();

signals:
    void LeftClicked();
    void ContextMenuRequested(QPoint where);

private:
    void ShowFrame();
    const QIcon& IconOf(EPicture picture);

    QString m_Title;
    QSystemTrayIcon* m_Icon;
    bool m_Present = false;
    EPicture m_Shown = EPicture::kMain;
    EPicture m_Current = EPicture::kMain;
    QString m_Tip;
    std::map<EPicture, QIcon> m_Icons;  // drawn once each
    QTimer m_Animation;
    int m_Frame = -1;
};

}  // namespace sieveclaw
