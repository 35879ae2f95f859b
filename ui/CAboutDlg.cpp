#include "ui/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>

#include "ui/Pictures.h"
#include "ui/ShellHelpers.h"

namespace sieveclaw {

namespace {

// The product picture: the hand cursor over it, and a left click opens the vendor's web site.
class CSitePicture : public QLabel {
public:
    CSitePicture(CUserPrompt& prompt, QWidget* parent) : QLabel(parent), m_Prompt(prompt) {
        setCursor(Qt::PointingHandCursor);
        setToolTip(QStringLiteral("http://%1").arg(QString::fromLatin1(kVendorWebHost)));
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            OpenWebAddress(m_Prompt, kVendorWebHost);
        }
    }

private:
    CUserPrompt& m_Prompt;
};

}  // namespace

QString CAboutDlg::VersionLine() {
    return QStringLiteral("%1 Version %2").arg(QStringLiteral("Sieveclaw"), QStringLiteral(SIEVECLAW_VERSION));
}

CAboutDlg::CAboutDlg(CUserPrompt& prompt, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Sieveclaw"));
    auto* icon = new QLabel(this);
    icon->setPixmap(Picture(EPicture::kMain, QSize(32, 32)));
    auto* version = new QLabel(VersionLine(), this);
    version->setObjectName(QStringLiteral("version"));
    auto* picture = new CSitePicture(prompt, this);
    picture->setObjectName(QStringLiteral("picture"));
    picture->setPixmap(Picture(EPicture::kMain, QSize(96, 96)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, Qt::AlignTop);
    grid->addWidget(version, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("All rights reserved"), this), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Copyright \u00A9 the Sieveclaw developers"), this), 2, 1);
    grid->addWidget(picture, 0, 2, 3, 1, Qt::AlignCenter);
    grid->addWidget(buttons, 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    setMinimumWidth(350);
}

}  // namespace sieveclaw
