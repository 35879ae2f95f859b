#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include "core/Settings.h"
#include "engine/MessageRows.h"

namespace sieveclaw {

// The columns a list window may show; which of them it shows, and where, is its own.
enum class EListColumn { kReason, kAccount, kSubject, kDate, kFrom, kTo };

// The rows of the Inbox or the Trash Can for a list view, in the order they are shown: sorting
// reorders the rows themselves, so a row's position here is its position on the screen.
class CMessageListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    CMessageListModel(std::vector<EListColumn> columns, QObject* parent);

    // Where column shows, or -1 when the window does not show it.
    int ColumnOf(EListColumn column) const;
    EListColumn ColumnAt(int section) const { return m_Columns[static_cast<std::size_t>(section)]; }
    // The text of a cell; empty for a column the window does not show.
    QString Cell(int row, EListColumn column) const;

    const std::vector<CListRow>& Rows() const { return m_Rows; }
    void SetRows(std::vector<CListRow> rows);
    // Takes out the rows at positions (ascending).
    void RemoveRows(const std::vector<std::size_t>& positions);
    // The position of the row for a message file, or -1.
    int FindFile(const std::string& path) const;

    // Orders the rows by section: the date column by ParseListDate, every other by its text
    // without regard to case; order 1 ascending, any other descending. Rows that compare equal
    // keep their order. Selections follow their rows.
    void Sort(int section, int order);

    void SetMarkIcons(QIcon first, QIcon second) { m_MarkIcons = {std::move(first), std::move(second)}; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // The shown texts of one row, converted once.
    struct CCells {
        std::array<QString, 6> m_Text;
    };
    static CCells CellsOf(const CListRow& row);

    std::vector<EListColumn> m_Columns;
    std::vector<CListRow> m_Rows;
    std::vector<CCells> m_Cells;
    std::array<QIcon, 2> m_MarkIcons;
};

// The column headings.
QString ColumnTitle(EListColumn column);

// A click on a heading: the same column flips between 1 (ascending) and 2 (descending), another
// column starts at 1.
ListSortState NextSortState(ListSortState state, int section);

// The status bar's hint ticker: the hint from offset to its end, "...  ", then the whole hint.
QString HintTickerText(const QString& hint, int offset);
// The next offset: one further, back to 0 once past the hint's length.
int NextTickerOffset(const QString& hint, int offset);

}  // namespace sieveclaw
