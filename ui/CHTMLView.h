#pragma once

#include <vector>

#include <QTextBrowser>
#include <QUrl>

#include "mail/DecodedMessage.h"

namespace sieveclaw {

// The viewer's HTML view. It shows one local document and nothing from anywhere else: every
// picture, style sheet or document the HTML names is refused (http, https, ftp, file, addresses
// relative to the document, any other scheme), except the message's own parts named by "cid:"
// and pictures written into the HTML itself ("data:"). It runs no scripts, and links are not
// followed: a click does nothing, pointing at one shows where it leads.
class CHTMLView : public QTextBrowser {
    Q_OBJECT
public:
    explicit CHTMLView(QWidget* parent);

    // Shows the HTML file at document (UTF-8), whose "cid:" addresses name parts.
    void ShowDocument(const QUrl& document, std::vector<CInlinePart> parts);
    // Pictures and style sheets refused for the document shown that would have come over the
    // network.
    int RemoteRefused() const { return m_RemoteRefused; }

    QVariant loadResource(int type, const QUrl& name) override;

signals:
    // The first remote resource of the document shown was refused.
    void RemoteContentBlocked();

private:
    QUrl m_Document;
    std::vector<CInlinePart> m_Parts;
    int m_RemoteRefused = 0;
};

}  // namespace sieveclaw
