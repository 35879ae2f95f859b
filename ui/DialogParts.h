#pragma once

#include <initializer_list>
#include <string_view>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QString>

// Pieces the settings windows share.

namespace sieveclaw {

// OK and Cancel, wired to the dialog's accept() (where its checks run) and reject().
QDialogButtonBox* OkCancelButtons(QDialog* dialog);

// A label that wraps its words, for the windows' longer texts.
QLabel* WrappedLabel(const QString& text, QWidget* parent = nullptr);

// A line edit with an object name, by which tests find it; a password field when hidden.
QLineEdit* NamedEdit(const char* name, QWidget* parent = nullptr, bool hidden = false);

// A push button with an object name, by which tests find it.
QPushButton* NamedButton(const QString& text, const char* name, QWidget* parent);

// A number field that takes any typed number, as a typed one may be out of range (the window's OK
// then says so, or corrects it with a word to the user), while its arrows keep to low..high.
class CTypedRangeSpinBox : public QSpinBox {
public:
    CTypedRangeSpinBox(int low, int high, QWidget* parent);
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_Low;
    int m_High;
};

// Tab moves through the widgets in this order (the order they are read on the screen, which is not
// always the order they were made in).
void SetTabOrder(std::initializer_list<QWidget*> widgets);

// Text of the layers below (UTF-8) for a widget.
QString ToQString(std::string_view text);

// The caption every box and settings window carries.
inline const QString kProgramTitle = QStringLiteral("Sieveclaw");

}  // namespace sieveclaw
