#pragma once

#include <string>

#include <QDialog>

#include "engine/SendMessageFile.h"

class QLabel;

namespace sieveclaw {

// "Sending Email": the small box that shows a stored message on its way out, its headline and the
// stage the exchange has reached. Modeless, over the window that sends.
class CSMTPStatusDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSMTPStatusDlg(QWidget* owner);

    void SetLine(ESendBoxLine line, const std::string& text);

protected:
    // The box goes when the sending is over, not when the user asks.
    void reject() override {}

private:
    QLabel* m_Headline;
    QLabel* m_Status;
};

}  // namespace sieveclaw
