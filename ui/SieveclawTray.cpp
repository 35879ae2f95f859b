#include "ui/SieveclawTray.h"

#include <QCursor>
#include <QSystemTrayIcon>

namespace sieveclaw {

namespace {

constexpr std::array<EPicture, 5> kClawFrames{EPicture::kClaw1, EPicture::kClaw2, EPicture::kClaw3, EPicture::kClaw4,
                                              EPicture::kClaw5};

}  // namespace

QString TrayTip(const QString& text) {
    return text.left(kTrayTipLength);
}

CSieveclawTray::CSieveclawTray(QString title, QObject* parent)
    : QObject(parent), m_Title(std::move(title)), m_Icon(new QSystemTrayIcon(this)) {
    connect(m_Icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            emit LeftClicked();
        } else if (reason == QSystemTrayIcon::Context) {
            emit ContextMenuRequested(QCursor::pos());
        }
    });
    m_Animation.setInterval(kClawFrameTime);
    connect(&m_Animation, &QTimer::timeout, this, &CSieveclawTray::ShowFrame);
}

CSieveclawTray::~CSieveclawTray() = default;

bool CSieveclawTray::IsTrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CSieveclawTray::SetTrayIcon(EAction action, EPicture icon, const QString& tip) {
    if (action == EAction::kDelete) {
        m_Animation.stop();
        m_Frame = -1;
        m_Icon->hide();
        m_Present = false;
        return;
    }
    if (action == EAction::kChange && !m_Present) {
        return;
    }
    m_Shown = icon;
    m_Tip = TrayTip(tip.isEmpty() ? m_Title : tip);
    m_Icon->setIcon(IconOf(icon));
    m_Icon->setToolTip(m_Tip);
    if (action == EAction::kAdd) {
        m_Icon->show();
        m_Present = true;
    }
}

const QIcon& CSieveclawTray::IconOf(EPicture picture) {
    auto found = m_Icons.find(picture);
    if (found == m_Icons.end()) {
        found = m_Icons.emplace(picture, ScalableIcon(picture)).first;
    }
    return found->second;
}

void CSieveclawTray::PlayClawAnimation() {
    if (!m_Present) {
        return;
    }
    m_Frame = 0;
    ShowFrame();
    m_Animation.start();
}

void CSieveclawTray::ShowFrame() {
    if (m_Frame < 0) {
        m_Animation.stop();
        return;
    }
    if (m_Frame >= static_cast<int>(kClawFrames.size())) {
        m_Animation.stop();
        m_Frame = -1;
        SetTrayIcon(EAction::kChange, m_Current);
        return;
    }
    SetTrayIcon(EAction::kChange, kClawFrames[static_cast<std::size_t>(m_Frame)],
                QStringLiteral("Sieveclaw - Clawing Spam!"));
    ++m_Frame;
}

}  // namespace sieveclaw
