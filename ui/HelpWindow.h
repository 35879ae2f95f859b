#pragma once

#include <string>

#include <QWidget>

class QTextBrowser;

namespace sieveclaw {

// The user manual, as installed with the program (docs/ of the sources), shown by "&Help" in a
// window of its own: pages, pictures and the links between them are local files; a link to a web
// address goes to the desktop's browser, and nothing is ever fetched from the network here.
class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // The installed manual's folder; empty when it is not installed.
    static std::string ManualFolder();

    // Shows page (a file of the manual's folder) and brings the window up. False when the manual
    // is not installed.
    bool ShowPage(const std::string& page);

private:
    QTextBrowser* m_Browser;
};

}  // namespace sieveclaw
