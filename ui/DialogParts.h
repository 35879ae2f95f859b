#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>

// Pieces the settings windows share.

namespace sieveclaw {

// OK and Cancel, wired to the dialog's accept() (where its checks run) and reject().
QDialogButtonBox* OkCancelButtons(QDialog* dialog);

// A label that wraps its words, for the windows' longer texts.
QLabel* WrappedLabel(const QString& text, QWidget* parent = nullptr);

// A line edit with an object name, by which tests find it; a password field when hidden.
QLineEdit* NamedEdit(const char* name, QWidget* parent = nullptr, bool hidden = false);

// The caption every box and settings window carries.
inline const QString kProgramTitle = QStringLiteral("Sieveclaw");

}  // namespace sieveclaw
