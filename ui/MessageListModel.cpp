#include "ui/MessageListModel.h"

#include <algorithm>
#include <ctime>
#include <numeric>

#include "mail/ListDate.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

namespace {

std::size_t Slot(EListColumn column) {
    return static_cast<std::size_t>(column);
}

template <class T>
void Permute(std::vector<T>& items, const std::vector<std::size_t>& order) {
    std::vector<T> moved;
    moved.reserve(items.size());
    for (const std::size_t from : order) {
        moved.push_back(std::move(items[from]));
    }
    items = std::move(moved);
}

}  // namespace

CMessageListModel::CMessageListModel(std::vector<EListColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), m_Columns(std::move(columns)) {}

int CMessageListModel::ColumnOf(EListColumn column) const {
    const auto found = std::find(m_Columns.begin(), m_Columns.end(), column);
    return found == m_Columns.end() ? -1 : static_cast<int>(found - m_Columns.begin());
}

QString CMessageListModel::Cell(int row, EListColumn column) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_Cells.size() || ColumnOf(column) < 0) {
        return {};
    }
    return m_Cells[static_cast<std::size_t>(row)].m_Text[Slot(column)];
}

CMessageListModel::CCells CMessageListModel::CellsOf(const CListRow& row) {
    CCells cells;
    cells.m_Text[Slot(EListColumn::kReason)] = ToQString(row.m_Reason);
    cells.m_Text[Slot(EListColumn::kAccount)] = ToQString(row.m_Account);
    cells.m_Text[Slot(EListColumn::kSubject)] = ToQString(row.m_Shown.m_Subject);
    cells.m_Text[Slot(EListColumn::kDate)] = ToQString(row.m_Shown.m_Date);
    cells.m_Text[Slot(EListColumn::kFrom)] = ToQString(row.m_Shown.m_From);
    cells.m_Text[Slot(EListColumn::kTo)] = ToQString(row.m_Shown.m_To);
    return cells;
}

void CMessageListModel::SetRows(std::vector<CListRow> rows) {
    beginResetModel();
    m_Rows = std::move(rows);
    m_Cells.clear();
    m_Cells.reserve(m_Rows.size());
    for (const CListRow& row : m_Rows) {
        m_Cells.push_back(CellsOf(row));
    }
    endResetModel();
}

void CMessageListModel::RemoveRows(const std::vector<std::size_t>& positions) {
    for (auto at = positions.rbegin(); at != positions.rend(); ++at) {
        if (*at >= m_Rows.size()) {
            continue;
        }
        const int row = static_cast<int>(*at);
        beginRemoveRows({}, row, row);
        m_Rows.erase(m_Rows.begin() + row);
        m_Cells.erase(m_Cells.begin() + row);
        endRemoveRows();
    }
}

int CMessageListModel::FindFile(const std::string& path) const {
    for (std::size_t at = 0; at < m_Rows.size(); ++at) {
        if (m_Rows[at].m_Stored.m_FilePath == path) {
            return static_cast<int>(at);
        }
    }
    return -1;
}

void CMessageListModel::Sort(int section, int order) {
    if (section < 0 || section >= columnCount()) {
        return;
    }
    const EListColumn column = ColumnAt(section);
    const std::size_t slot = Slot(column);
    const bool ascending = order == 1;
    // Keys are made once per row rather than once per comparison.
    std::vector<std::int64_t> dates;
    std::vector<QString> texts;
    if (column == EListColumn::kDate) {
        const std::time_t now = std::time(nullptr);
        dates.reserve(m_Rows.size());
        for (const CListRow& row : m_Rows) {
            dates.push_back(ParseListDate(row.m_Shown.m_Date, now));
        }
    } else {
        texts.reserve(m_Cells.size());
        for (const CCells& cells : m_Cells) {
            texts.push_back(cells.m_Text[slot].toCaseFolded());
        }
    }
    const auto less = [&](std::size_t a, std::size_t b) {
        if (!dates.empty()) {
            return dates[a] < dates[b];
        }
        return QString::compare(texts[a], texts[b], Qt::CaseSensitive) < 0;
    };
    std::vector<std::size_t> sorted(m_Rows.size());
    std::iota(sorted.begin(), sorted.end(), std::size_t{0});
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](std::size_t a, std::size_t b) { return ascending ? less(a, b) : less(b, a); });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPosition(sorted.size());
    for (std::size_t to = 0; to < sorted.size(); ++to) {
        newPosition[sorted[to]] = static_cast<int>(to);
    }
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        after.push_back(this->index(newPosition[static_cast<std::size_t>(index.row())], index.column()));
    }
    changePersistentIndexList(before, after);
    Permute(m_Rows, sorted);
    Permute(m_Cells, sorted);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int CMessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_Rows.size());
}

int CMessageListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_Columns.size());
}

QVariant CMessageListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_Rows.size()) {
        return {};
    }
    const std::size_t row = static_cast<std::size_t>(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return m_Cells[row].m_Text[Slot(ColumnAt(index.column()))];
    }
    if (role == Qt::DecorationRole && index.column() == 0) {
        switch (m_Rows[row].m_Mark) {
            case ERowMark::kFriend:
            case ERowMark::kYoung:
                return m_MarkIcons[0];
            case ERowMark::kStranger:
            case ERowMark::kOld:
                return m_MarkIcons[1];
            case ERowMark::kNone:
                break;
        }
    }
    return {};
}

QVariant CMessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount()) {
        return {};
    }
    return ColumnTitle(ColumnAt(section));
}

QString ColumnTitle(EListColumn column) {
    switch (column) {
        case EListColumn::kReason:
            return QStringLiteral("Reason for Filtering");
        case EListColumn::kAccount:
            return QStringLiteral("Account");
        case EListColumn::kSubject:
            return QStringLiteral("Subject");
        case EListColumn::kDate:
            return QStringLiteral("Date/Time");
        case EListColumn::kFrom:
            return QStringLiteral("From");
        case EListColumn::kTo:
            return QStringLiteral("To");
    }
    return {};
}

ListSortState NextSortState(ListSortState state, int section) {
    if (state.m_Col2SortBy < 0 || state.m_Col2SortBy != section) {
        return {1, section};
    }
    return {state.m_SortOrder == 1 ? 2 : 1, section};
}

QString HintTickerText(const QString& hint, int offset) {
    return hint.mid(offset) + QStringLiteral("...  ") + hint;
}

int NextTickerOffset(const QString& hint, int offset) {
    return offset + 1 > hint.size() ? 0 : offset + 1;
}

}  // namespace sieveclaw
