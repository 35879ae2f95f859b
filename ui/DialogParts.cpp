#include "ui/DialogParts.h"

#include <algorithm>

namespace sieveclaw {

QDialogButtonBox* OkCancelButtons(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QLineEdit* NamedEdit(const char* name, QWidget* parent, bool hidden) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    if (hidden) {
        edit->setEchoMode(QLineEdit::Password);
    }
    return edit;
}

QPushButton* NamedButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

namespace {

// Far beyond every range the fields keep to, so that any number a person types is taken.
constexpr int kTypedMaximum = 99999;

}  // namespace

CTypedRangeSpinBox::CTypedRangeSpinBox(int low, int high, QWidget* parent)
    : QSpinBox(parent), m_Low(low), m_High(high) {
    setRange(0, kTypedMaximum);
}

void CTypedRangeSpinBox::stepBy(int steps) {
    setValue(std::clamp(value() + steps, m_Low, m_High));
    selectAll();
}

QAbstractSpinBox::StepEnabled CTypedRangeSpinBox::stepEnabled() const {
    StepEnabled enabled = StepNone;
    if (value() > m_Low) {
        enabled |= StepDownEnabled;
    }
    if (value() < m_High) {
        enabled |= StepUpEnabled;
    }
    return enabled;
}

void SetTabOrder(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace sieveclaw
