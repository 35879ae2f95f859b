#include "ui/HelpWindow.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "core/InstalledFiles.h"
#include "ui/Pictures.h"

namespace sieveclaw {

CHelpWindow::CHelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), m_Browser(new QTextBrowser(this)) {
    setWindowTitle(QStringLiteral("Sieveclaw Help"));
    setWindowIcon(ScalableIcon(EPicture::kMain));
    m_Browser->setObjectName(QStringLiteral("manual"));
    m_Browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_Browser);
    resize(760, 620);
}

std::string CHelpWindow::ManualFolder() {
    return FindInstalledFolder("doc/sieveclaw/manual");
}

bool CHelpWindow::ShowPage(const std::string& page) {
    const std::string folder = ManualFolder();
    if (folder.empty()) {
        return false;
    }
    const QString path = QString::fromStdString(folder + "/" + page);
    if (!QFileInfo::exists(path)) {
        return false;
    }
    m_Browser->setSource(QUrl::fromLocalFile(path), QTextDocument::MarkdownResource);
    showNormal();
    raise();
    activateWindow();
    return true;
}

}  // namespace sieveclaw
