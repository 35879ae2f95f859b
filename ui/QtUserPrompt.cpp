#include "ui/QtUserPrompt.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include "core/Settings.h"

namespace sieveclaw {

namespace {

const QString kTitle = QStringLiteral("Sieveclaw");

QMessageBox::StandardButton ShowBox(QWidget* parent, QMessageBox::Icon icon, const std::string& text,
                                    QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, kTitle, QString::fromStdString(text), buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<std::string> ChooseFile(QWidget* parent, const std::string& filter, const std::string& extension,
                                      const QString& directory) {
    // Qt's own dialog, the same on every desktop, so that what it offers is what it returns.
    QFileDialog dialog(parent, QString(), directory, QtFileFilter(filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QString suffix = QString::fromStdString(extension);
    while (suffix.startsWith(u'.')) {
        suffix.remove(0, 1);
    }
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst().toStdString();
}

}  // namespace

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(u'|', Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        if (!description.contains(u'(')) {
            description += " (" + parts[i + 1] + ")";
        }
        filters.push_back(description);
    }
    return filters.join(QStringLiteral(";;"));
}

void CQtUserPrompt::ShowDismissable(const std::string& switchName, const std::string& text) {
    if (!IsMessageShown(m_Store, switchName)) {
        return;
    }
    auto* check = new QCheckBox(QStringLiteral("&Do not show me this message again."));
    QMessageBox box(QMessageBox::Information, kTitle, QString::fromStdString(text), QMessageBox::Ok, m_Parent);
    box.setCheckBox(check);
    if (box.exec() == QMessageBox::Ok) {
        SetMessageShown(m_Store, switchName, !check->isChecked());
    }
}

void CQtUserPrompt::ShowError(const std::string& text) {
    ShowBox(m_Parent, QMessageBox::Critical, text, QMessageBox::Ok);
}

void CQtUserPrompt::ShowInformation(const std::string& text) {
    ShowBox(m_Parent, QMessageBox::Information, text, QMessageBox::Ok);
}

void CQtUserPrompt::ShowPlain(const std::string& text) {
    ShowBox(m_Parent, QMessageBox::NoIcon, text, QMessageBox::Ok);
}

CUserPrompt::EAnswer CQtUserPrompt::AskYesNoCancel(const std::string& text) {
    switch (ShowBox(m_Parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return EAnswer::kYes;
        case QMessageBox::No:
            return EAnswer::kNo;
        default:
            return EAnswer::kCancel;
    }
}

std::optional<std::string> CQtUserPrompt::ChooseFileToOpen(const std::string& filter,
                                                           const std::string& defaultExtension) {
    return ChooseFile(m_Parent, filter, defaultExtension, QString());
}

std::optional<std::string> CQtUserPrompt::ChooseFileToOpenAt(const std::string& filter,
                                                             const std::string& defaultExtension,
                                                             const std::string& initialFile) {
    return ChooseFile(m_Parent, filter, defaultExtension, QFileInfo(QString::fromStdString(initialFile)).path());
}

}  // namespace sieveclaw
