#include "ui/CHTMLView.h"

#include <QByteArray>
#include <QFile>
#include <QTextDocument>

namespace sieveclaw {

CHTMLView::CHTMLView(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("html"));
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

void CHTMLView::ShowDocument(const QUrl& document, std::vector<CInlinePart> parts) {
    m_Document = document;
    m_Parts = std::move(parts);
    m_RemoteRefused = 0;
    if (source() == document) {
        reload();  // the same file now holds another message
    } else {
        setSource(document, QTextDocument::HtmlResource);
    }
    clearHistory();
}

QVariant CHTMLView::loadResource(int type, const QUrl& name) {
    if (type == QTextDocument::HtmlResource && name == m_Document) {
        QFile file(name.toLocalFile());
        if (!file.open(QIODevice::ReadOnly)) {
            return QString();
        }
        // Already UTF-8 whatever charset the HTML declares, so the declaration must not be heeded.
        return QString::fromUtf8(file.readAll());
    }
    const QString scheme = name.scheme().toLower();
    if (scheme == QLatin1String("cid")) {
        const std::string id = name.path().toStdString();
        for (const CInlinePart& part : m_Parts) {
            if (part.m_ContentId == id) {
                return QByteArray::fromStdString(part.m_Data);
            }
        }
    } else if (scheme == QLatin1String("data")) {
        return {};  // the document reads its own data: addresses, which reach nothing outside it
    } else if ((!scheme.isEmpty() && scheme != QLatin1String("file")) || !name.host().isEmpty()) {
        if (++m_RemoteRefused == 1) {
            emit RemoteContentBlocked();
        }
    }
    // An empty answer, not none: given none, the document would try to read the address itself.
    return QByteArray();
}

}  // namespace sieveclaw
