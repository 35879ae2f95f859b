#include "ui/CSMTPStatusDlg.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/DialogParts.h"

namespace sieveclaw {

CSMTPStatusDlg::CSMTPStatusDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_Headline(WrappedLabel(QString::fromLatin1(kSalvageHeadline), this)),
      m_Status(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Sending Email"));
    m_Headline->setObjectName(QStringLiteral("headline"));
    m_Status->setObjectName(QStringLiteral("status"));
    m_Status->setMinimumWidth(
        m_Status->fontMetrics().horizontalAdvance(QStringLiteral("Done.  Now logging off your email server")));
    // The headlines fit on one line.
    m_Headline->setMinimumWidth(m_Headline->fontMetrics().horizontalAdvance(QString::fromLatin1(kSalvageHeadline)) + 8);
    auto* status = new QFormLayout;
    status->addRow(QStringLiteral("Status"), m_Status);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_Headline);
    layout->addLayout(status);
    setModal(false);
}

void CSMTPStatusDlg::SetLine(ESendBoxLine line, const std::string& text) {
    (line == ESendBoxLine::kHeadline ? m_Headline : m_Status)->setText(ToQString(text));
}

}  // namespace sieveclaw
