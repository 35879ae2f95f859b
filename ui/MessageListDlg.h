#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <span>
#include <vector>

#include <QDialog>
#include <QString>

#include "core/Settings.h"
#include "engine/MessageRows.h"
#include "ui/CViewEmailDlg.h"
#include "ui/DialogContext.h"
#include "ui/MessageListModel.h"
#include "ui/Pictures.h"

class QHBoxLayout;
class QPushButton;
class QStatusBar;
class QTimer;
class QTreeView;

namespace sieveclaw {

// Where a list window keeps its rectangle, its sort and its column widths among the settings.
struct CListWindowKeys {
    WindowRect SettingsValues::*m_Rect;
    ListSortState SettingsValues::*m_Sort;
    std::span<int> (*m_Widths)(SettingsValues& values);  // every column that may show
};

// What the Inbox and the Trash Can share: the list of messages with its columns, sorting, saved
// rectangle and widths, the hint ticker in the status bar, the button timer, the context menu, the
// viewer, and reloading. The rows are CListRows; the commands of the window below the widgets
// take them and answer which rows go.
class CMessageListDlg : public QDialog, public CViewerList {
    Q_OBJECT
public:
    // Reads the rows again, as the mail check asks when it stored or removed messages. Never waits:
    // while a command, a question or the viewer is under way, the rows are read once it is over,
    // so that a command never sees its rows change.
    void Reload();

    int RowCount() const override;
    const CListRow& RowAt(int row) const override;
    void RemoveRow(int row) override;

    // Stores the rectangle, the column widths and the window's own settings, and saves them.
    void done(int result) override;

protected:
    CMessageListDlg(CDialogContext& context, const QString& title, std::vector<EListColumn> columns,
                    CListWindowKeys keys, QString hint, QWidget* parent);

    // The last step of a window's construction, once its controls are made: widths, rows, the saved
    // rectangle and sort, the timers.
    void Start();

    virtual std::vector<CListRow> LoadRows() = 0;
    // Timer 1: which buttons can be used now.
    virtual void UpdateButtons() = 0;
    struct CMenuItem {
        QString m_Text;
        std::function<void()> m_Command;
    };
    // The context menu's items, in order.
    virtual std::vector<CMenuItem> ContextMenuItems() = 0;
    virtual void ViewSelected() = 0;
    virtual void DeleteSelected() = 0;
    // The window's own values, stored when it closes.
    virtual void StoreSettings(SettingsValues& values) { static_cast<void>(values); }
    // Shown once the window is on the screen.
    virtual void ShowStartMessage() {}

    // Runs a command of the window unless another is under way; reloads wait until it is over.
    void RunCommand(const std::function<void()>& command);
    // While one lives the window is busy: reloads wait, commands and closing are refused.
    class CBusy {
    public:
        explicit CBusy(CMessageListDlg& window);
        ~CBusy();
        CBusy(const CBusy&) = delete;
        CBusy& operator=(const CBusy&) = delete;

    private:
        CMessageListDlg& m_Window;
    };
    bool IsBusy() const { return m_BusyDepth > 0; }

    CListCommandContext Commands() const;
    // The selected positions, ascending.
    std::vector<std::size_t> Selected() const;
    bool HasSelection() const;
    // Takes out the rows at positions and, with select, selects the row now at the lowest one (or
    // the last row).
    void RemovePositions(const std::vector<std::size_t>& positions, bool select);
    void SelectRow(int row);
    // The viewer on the first selected row, walking this list.
    void OpenViewer(bool fromInbox);
    // The legend of the two marks a list shows in front of its rows.
    static QWidget* MarkLegend(EPicture first, const QString& firstText, EPicture second, const QString& secondText,
                               QWidget* parent);
    // The two marks as the rows show them.
    void SetMarkPictures(EPicture first, EPicture second);
    // Buttons in a row centred on the window's middle, one pixel apart.
    static QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons);

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    CDialogContext& m_Context;
    CMessageListModel* m_Model;
    QTreeView* m_List;
    QStatusBar* m_StatusBar;

private:
    void SortBy(int section);
    void Tick();
    void ApplySavedWidths();
    void WidenColumnsToRows();
    void ShowContextMenu(const QPoint& at);

    CListWindowKeys m_Keys;
    QString m_Hint;
    int m_TickerOffset = 0;
    QTimer* m_ButtonTimer;
    QTimer* m_TickerTimer;
    int m_BusyDepth = 0;
    bool m_ReloadPending = false;
    bool m_MenuOpen = false;  // reloads wait, as for a command, but the buttons stay as they are
    bool m_Shown = false;
};

}  // namespace sieveclaw
