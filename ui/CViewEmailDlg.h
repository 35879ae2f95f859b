#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "engine/MessageRows.h"
#include "mail/DecodedMessage.h"
#include "ui/DialogContext.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace sieveclaw {

class CHTMLView;

// The list a viewer walks: the rows of the Inbox or the Trash Can in the order they are shown.
class CViewerList {
public:
    virtual ~CViewerList() = default;
    virtual int RowCount() const = 0;
    virtual const CListRow& RowAt(int row) const = 0;
    // Takes the row out of the list and selects the row now at its position, or the last one.
    virtual void RemoveRow(int row) = 0;
};

// "Your Filtered Email": one stored message with its To, From and Subject, the body as plain text
// or rendered HTML (CHTMLView; nothing from the network), Previous and Next through the list it
// was opened from, Delete, and Salvage for spam. An HTML body is written to "email.htm" in the data
// folder and shown from there; the file is deleted when the viewer closes.
class CViewEmailDlg : public QDialog {
    Q_OBJECT
public:
    CViewEmailDlg(CDialogContext& context, CViewerList& list, int row, bool fromInbox, QWidget* parent = nullptr);
    ~CViewEmailDlg() override;

    void done(int result) override;

private:
    void ShowCurrent();
    void ShowHtml(const std::string& body, std::vector<CInlinePart> parts);
    void Step(int by);
    void DeleteShown();
    void SalvageShown();
    void UpdateButtons();
    void RemoveEmailHtm();

    CDialogContext& m_Context;
    CViewerList& m_List;
    int m_Row;
    bool m_FromInbox;
    bool m_Busy = false;
    std::string m_HtmlPath;  // "email.htm" once written, until it is deleted
    QLineEdit* m_To;
    QLineEdit* m_From;
    QLineEdit* m_Subject;
    QLabel* m_RemoteBlocked;
    QPlainTextEdit* m_Text;
    CHTMLView* m_Html = nullptr;  // made when the first HTML body is shown
    QPushButton* m_Previous;
    QPushButton* m_Next;
    QPushButton* m_Delete;
    QPushButton* m_Salvage;
    QPushButton* m_Close;
    QStatusBar* m_StatusBar;
};

}  // namespace sieveclaw
