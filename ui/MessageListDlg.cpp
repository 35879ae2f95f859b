#include "ui/MessageListDlg.h"

#include <algorithm>
#include <unordered_map>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include "ui/BackgroundWork.h"
#include "ui/WindowRects.h"

namespace sieveclaw {

namespace {

constexpr int kButtonTimerMs = 100;
constexpr int kTickerTimerMs = 250;
constexpr int kMinimumSide = 400;
// Room around a cell's text: the view's margins and focus frame.
constexpr int kCellPadding = 16;
constexpr QSize kMarkSize{20, 20};

}  // namespace

CMessageListDlg::CBusy::CBusy(CMessageListDlg& window) : m_Window(window) {
    ++m_Window.m_BusyDepth;
    m_Window.UpdateButtons();
}

CMessageListDlg::CBusy::~CBusy() {
    if (--m_Window.m_BusyDepth == 0 && m_Window.m_ReloadPending) {
        m_Window.Reload();
    }
    m_Window.UpdateButtons();
}

CMessageListDlg::CMessageListDlg(CDialogContext& context, const QString& title, std::vector<EListColumn> columns,
                                 CListWindowKeys keys, QString hint, QWidget* parent)
    : QDialog(parent),
      m_Context(context),
      m_Model(new CMessageListModel(std::move(columns), this)),
      m_List(new QTreeView(this)),
      m_StatusBar(new QStatusBar(this)),
      m_Keys(keys),
      m_Hint(std::move(hint)),
      m_ButtonTimer(new QTimer(this)),
      m_TickerTimer(new QTimer(this)) {
    setWindowTitle(title);
    setMinimumSize(kMinimumSide, kMinimumSide);
    setSizeGripEnabled(false);
    m_List->setObjectName(QStringLiteral("messages"));
    m_List->setModel(m_Model);
    m_List->setRootIsDecorated(false);
    m_List->setUniformRowHeights(true);
    m_List->setAllColumnsShowFocus(true);
    m_List->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_List->setContextMenuPolicy(Qt::CustomContextMenu);
    m_List->setTextElideMode(Qt::ElideRight);
    m_List->header()->setSectionsClickable(true);
    m_List->header()->setStretchLastSection(false);
    m_List->installEventFilter(this);
    m_StatusBar->setObjectName(QStringLiteral("statusBar"));
    m_StatusBar->setSizeGripEnabled(true);

    connect(m_List->header(), &QHeaderView::sectionClicked, this, &CMessageListDlg::SortBy);
    connect(m_List, &QTreeView::doubleClicked, this, [this] { RunCommand([this] { ViewSelected(); }); });
    connect(m_List, &QWidget::customContextMenuRequested, this, &CMessageListDlg::ShowContextMenu);
    connect(m_ButtonTimer, &QTimer::timeout, this, [this] { UpdateButtons(); });
    // The timer alone would leave a click just after a selection to a disabled button.
    connect(m_List->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateButtons(); });
    connect(m_TickerTimer, &QTimer::timeout, this, &CMessageListDlg::Tick);
}

void CMessageListDlg::Start() {
    ApplySavedWidths();
    Reload();
    const SettingsValues saved = m_Context.m_State.m_Settings.Snapshot();
    RestoreWindowRect(*this, saved.*m_Keys.m_Rect);
    const ListSortState sort = saved.*m_Keys.m_Sort;
    if (sort.m_Col2SortBy >= 0) {
        m_Model->Sort(sort.m_Col2SortBy, sort.m_SortOrder);
        m_List->header()->setSortIndicator(sort.m_Col2SortBy,
                                           sort.m_SortOrder == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
        m_List->header()->setSortIndicatorShown(true);
    }
    m_ButtonTimer->start(kButtonTimerMs);
    m_TickerTimer->start(kTickerTimerMs);
    UpdateButtons();
    Tick();
}

void CMessageListDlg::Reload() {
    if (IsBusy() || m_MenuOpen) {
        m_ReloadPending = true;
        return;
    }
    m_ReloadPending = false;
    const CWaitCursor wait;
    m_Model->SetRows(LoadRows());
    WidenColumnsToRows();
}

int CMessageListDlg::RowCount() const {
    return m_Model->rowCount();
}

const CListRow& CMessageListDlg::RowAt(int row) const {
    return m_Model->Rows()[static_cast<std::size_t>(row)];
}

void CMessageListDlg::RemoveRow(int row) {
    RemovePositions({static_cast<std::size_t>(row)}, true);
}

void CMessageListDlg::done(int result) {
    if (IsBusy()) {
        return;
    }
    m_ButtonTimer->stop();
    m_TickerTimer->stop();
    CSharedState& state = m_Context.m_State;
    const WindowRect rect = SavedWindowRect(*this);
    std::vector<int> widths;
    for (int column = 0; column < m_Model->columnCount(); ++column) {
        widths.push_back(m_List->columnWidth(column));
    }
    state.m_Settings.Update([&](SettingsValues& values) {
        values.*m_Keys.m_Rect = rect;
        const std::span<int> saved = m_Keys.m_Widths(values);
        for (std::size_t column = 0; column < saved.size(); ++column) {
            saved[column] = column < widths.size() ? widths[column] : 0;  // a column not shown has none
        }
        StoreSettings(values);
    });
    m_Context.ShowIfSettingsNotSaved(state.m_Settings.SaveSettings(state.m_Store));
    QDialog::done(result);
}

CListCommandContext CMessageListDlg::Commands() const {
    return {m_Context.m_State, m_Context.m_Prompt, m_Context.m_StatusSink, m_Context.m_Administrator};
}

std::vector<std::size_t> CMessageListDlg::Selected() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : m_List->selectionModel()->selectedRows()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool CMessageListDlg::HasSelection() const {
    return m_List->selectionModel()->hasSelection();
}

void CMessageListDlg::RemovePositions(const std::vector<std::size_t>& positions, bool select) {
    if (positions.empty()) {
        return;
    }
    m_Model->RemoveRows(positions);
    if (select) {
        SelectRow(RowToSelectAfterDelete(positions.front(), static_cast<std::size_t>(m_Model->rowCount())));
    }
}

void CMessageListDlg::SelectRow(int row) {
    m_List->clearSelection();
    if (row < 0) {
        return;
    }
    const QModelIndex index = m_Model->index(row, 0);
    m_List->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_List->scrollTo(index);
}

void CMessageListDlg::OpenViewer(bool fromInbox) {
    const std::vector<std::size_t> selected = Selected();
    if (selected.empty()) {
        return;
    }
    const CBusy busy(*this);
    CViewEmailDlg viewer(m_Context, *this, static_cast<int>(selected.front()), fromInbox, this);
    viewer.exec();
}

QWidget* CMessageListDlg::MarkLegend(EPicture first, const QString& firstText, EPicture second,
                                     const QString& secondText, QWidget* parent) {
    auto* legend = new QWidget(parent);
    legend->setObjectName(QStringLiteral("legend"));
    auto* row = new QHBoxLayout(legend);
    row->setContentsMargins(0, 0, 0, 0);
    for (const auto& [picture, text] : {std::pair{first, firstText}, std::pair{second, secondText}}) {
        auto* mark = new QLabel(legend);
        mark->setPixmap(Picture(picture, kMarkSize));
        row->addWidget(mark);
        row->addWidget(new QLabel(text, legend));
        row->addSpacing(12);
    }
    return legend;
}

void CMessageListDlg::SetMarkPictures(EPicture first, EPicture second) {
    m_List->setIconSize(kMarkSize);
    m_Model->SetMarkIcons(PictureIcon(first, kMarkSize), PictureIcon(second, kMarkSize));
}

QHBoxLayout* CMessageListDlg::ButtonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->setSpacing(1);
    row->addStretch();
    for (QPushButton* button : buttons) {
        button->setAutoDefault(false);
        row->addWidget(button);
    }
    row->addStretch();
    return row;
}

void CMessageListDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_Shown) {
        m_Shown = true;
        QTimer::singleShot(0, this, [this] {
            const CBusy busy(*this);
            ShowStartMessage();
        });
    }
}

bool CMessageListDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_List && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        RunCommand([this] { DeleteSelected(); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CMessageListDlg::SortBy(int section) {
    const ListSortState sort = NextSortState(m_Context.m_State.m_Settings.Snapshot().*m_Keys.m_Sort, section);
    m_Context.m_State.m_Settings.Update([&](SettingsValues& values) { values.*m_Keys.m_Sort = sort; });
    const CWaitCursor wait;
    m_Model->Sort(sort.m_Col2SortBy, sort.m_SortOrder);
    m_List->header()->setSortIndicator(section, sort.m_SortOrder == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_List->header()->setSortIndicatorShown(true);
}

void CMessageListDlg::Tick() {
    m_StatusBar->showMessage(HintTickerText(m_Hint, m_TickerOffset));
    m_TickerOffset = NextTickerOffset(m_Hint, m_TickerOffset);
}

void CMessageListDlg::ApplySavedWidths() {
    SettingsValues saved = m_Context.m_State.m_Settings.Snapshot();
    const std::span<int> widths = m_Keys.m_Widths(saved);
    QHeaderView* header = m_List->header();
    for (int column = 0; column < m_Model->columnCount(); ++column) {
        const bool useSaved = widths[0] != 0 && static_cast<std::size_t>(column) < widths.size();
        header->resizeSection(column,
                              useSaved ? widths[static_cast<std::size_t>(column)] : header->sectionSizeHint(column));
    }
}

void CMessageListDlg::WidenColumnsToRows() {
    SettingsValues saved = m_Context.m_State.m_Settings.Snapshot();
    if (m_Keys.m_Widths(saved)[0] != 0) {
        return;
    }
    const QFontMetrics metrics(m_List->font());
    const int icon = m_List->iconSize().isValid() ? m_List->iconSize().width()
                                                  : m_List->style()->pixelMetric(QStyle::PM_SmallIconSize);
    // Shaping every cell of a long list takes longer than the rest of opening it. Each cell's width
    // is estimated from the widths of its characters, and only the cells that come out widest are
    // measured exactly.
    constexpr std::size_t kMeasured = 16;
    std::unordered_map<char16_t, int> characterWidths;
    const auto estimate = [&](const QString& text) {
        int width = 0;
        for (const QChar character : text) {
            auto [known, added] = characterWidths.try_emplace(character.unicode(), 0);
            if (added) {
                known->second = metrics.horizontalAdvance(character);
            }
            width += known->second;
        }
        return width;
    };
    std::vector<std::pair<int, int>> widths;  // estimate, row
    for (int column = 0; column < m_Model->columnCount(); ++column) {
        const EListColumn kind = m_Model->ColumnAt(column);
        widths.clear();
        for (int row = 0; row < m_Model->rowCount(); ++row) {
            const int mark = column == 0 && RowAt(row).m_Mark != ERowMark::kNone ? icon : 0;
            widths.emplace_back(estimate(m_Model->Cell(row, kind)) + mark, row);
        }
        const std::size_t measured = std::min(kMeasured, widths.size());
        std::partial_sort(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(measured), widths.end(),
                          std::greater<>());
        int widest = m_List->columnWidth(column);
        for (std::size_t at = 0; at < measured; ++at) {
            const int row = widths[at].second;
            const int mark = column == 0 && RowAt(row).m_Mark != ERowMark::kNone ? icon : 0;
            widest = std::max(widest, metrics.horizontalAdvance(m_Model->Cell(row, kind)) + kCellPadding + mark);
        }
        m_List->setColumnWidth(column, widest);
    }
}

void CMessageListDlg::RunCommand(const std::function<void()>& command) {
    if (IsBusy()) {
        return;
    }
    const CBusy busy(*this);
    command();
}

void CMessageListDlg::ShowContextMenu(const QPoint& at) {
    if (IsBusy() || m_MenuOpen || !HasSelection()) {
        return;
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("contextMenu"));
    std::vector<CMenuItem> items = ContextMenuItems();
    for (const CMenuItem& item : items) {
        menu.addAction(item.m_Text);
    }
    // The rows must not change between the choice and the command: reloads wait for both.
    m_MenuOpen = true;
    QAction* chosen = menu.exec(m_List->viewport()->mapToGlobal(at));
    m_MenuOpen = false;
    const auto index = menu.actions().indexOf(chosen);
    if (index >= 0) {
        RunCommand(items[static_cast<std::size_t>(index)].m_Command);
    } else if (m_ReloadPending) {
        Reload();
    }
}

}  // namespace sieveclaw
