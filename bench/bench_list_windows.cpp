// The Inbox and the Trash Can with 10,000 rows each: milliseconds from opening the window to its
// first paint, and to sort it by date, side by side with a plain QTreeWidget filled with the same
// cells and sorted by the date's text (the obvious way to build such a list), measured in the same
// run, each the best of three runs after a first one. Offscreen unless QT_QPA_PLATFORM says
// otherwise; the data folder is a fresh temporary one.
//
// usage: bench_list_windows [ROWS]   (default 10000)

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QTreeView>
#include <QTreeWidget>

#include "core/DataFolder.h"
#include "mail/MessageFiles.h"
#include "tests/support/RecordingPrompt.h"
#include "ui/CInboxDlg.h"
#include "ui/CTrashDlg.h"

namespace {

using namespace sieveclaw;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Waits for the first paint of widget; the milliseconds since start when it came.
class CFirstPaint : public QObject {
public:
    explicit CFirstPaint(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        m_Painted = m_Painted || event->type() == QEvent::Paint;
        return false;
    }
    double WaitFrom(Clock::time_point start) {
        while (!m_Painted && MsSince(start) < 60'000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return MsSince(start);
    }

private:
    bool m_Painted = false;
};

std::string DateOf(int i) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "Mon, %d %s %d %02d:%02d:%02d +0100", 1 + (i * 7) % 28, kMonths[(i * 5) % 12],
                  2025 + i % 2, (i * 13) % 24, (i * 17) % 60, (i * 31) % 60);
    return text;
}

void Fill(CSharedState& state, int rows) {
    fs::create_directories(SpamFolder());
    for (const char* name : {"Home", "Work"}) {
        EmailAccountInfo account;
        account.m_AccountName = name;
        AddAccount(state.m_Accounts, account);
    }
    for (int i = 0; i < rows; ++i) {
        const std::string from = "sender" + std::to_string(i % 997) + "@example" + std::to_string(i % 31) + ".net";
        const std::string subject = "Subject number " + std::to_string((i * 7919) % rows);
        const std::string account = i % 2 == 0 ? "Home" : "Work";
        state.m_Accounts.GetAt(FindAccount(state.m_Accounts, account))
            ->m_InboxEntries->Append({"me@example.org", from, subject, DateOf(i), "/nowhere/" + std::to_string(i)});
        // Written plainly rather than durably: only the reading is measured.
        std::ofstream spam(SpamFolder() + "/" + std::to_string(100000 + i) + ".eml", std::ios::binary);
        spam << "REASON: The email is from '" << from << "'\r\nACCOUNT:" << account << "\r\nFrom: " << from
             << "\r\nTo: me@example.org\r\nSubject: " << subject << "\r\nDate: " << DateOf(i) << "\r\n\r\nBuy now\r\n";
    }
}

struct Figures {
    double m_Open = 0;
    double m_Sort = 0;
};

// Opens the window that make makes, waits for its first paint, then sorts it by the date column.
Figures MeasureOnce(const std::function<std::unique_ptr<QWidget>()>& make, int dateColumn) {
    Figures figures;
    const Clock::time_point start = Clock::now();
    const std::unique_ptr<QWidget> window = make();
    auto* view = window->findChild<QTreeView*>();
    if (view == nullptr) {
        view = qobject_cast<QTreeView*>(window.get());
    }
    CFirstPaint paint(view->viewport());
    window->show();
    figures.m_Open = paint.WaitFrom(start);
    const Clock::time_point sortStart = Clock::now();
    emit view->header()->sectionClicked(dateColumn);
    QApplication::processEvents();
    figures.m_Sort = MsSince(sortStart);
    return figures;
}

// The best of three runs, after one that loads the fonts and styles.
Figures Measure(const std::function<std::unique_ptr<QWidget>()>& make, int dateColumn) {
    Figures best = MeasureOnce(make, dateColumn);
    best.m_Open = best.m_Sort = 1e9;
    for (int run = 0; run < 3; ++run) {
        const Figures figures = MeasureOnce(make, dateColumn);
        best.m_Open = std::min(best.m_Open, figures.m_Open);
        best.m_Sort = std::min(best.m_Sort, figures.m_Sort);
    }
    return best;
}

// The same cells in a QTreeWidget, sorted by the text of the date.
std::unique_ptr<QWidget> PlainTree(const std::vector<CListRow>& rows) {
    auto tree = std::make_unique<QTreeWidget>();
    tree->setHeaderLabels({"Account", "Subject", "Date/Time", "From", "To"});
    QList<QTreeWidgetItem*> items;
    for (const CListRow& row : rows) {
        items.push_back(new QTreeWidgetItem(
            QStringList{QString::fromStdString(row.m_Account), QString::fromStdString(row.m_Shown.m_Subject),
                        QString::fromStdString(row.m_Shown.m_Date), QString::fromStdString(row.m_Shown.m_From),
                        QString::fromStdString(row.m_Shown.m_To)}));
    }
    tree->addTopLevelItems(items);
    QObject::connect(tree->header(), &QHeaderView::sectionClicked, tree.get(),
                     [tree = tree.get()](int column) { tree->sortItems(column, Qt::AscendingOrder); });
    tree->resize(800, 500);
    return tree;
}

void Print(const char* what, const Figures& ours, const Figures& plain) {
    std::printf("%-10s open to first paint %8.1f ms (plain tree %8.1f ms, ratio %.2f)\n", what, ours.m_Open,
                plain.m_Open, ours.m_Open / plain.m_Open);
    std::printf("%-10s sort by date        %8.1f ms (plain tree %8.1f ms, ratio %.2f)\n", what, ours.m_Sort,
                plain.m_Sort, ours.m_Sort / plain.m_Sort);
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    std::string folder = (fs::temp_directory_path() / "sieveclaw-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        return 1;
    }
    ::setenv("SIEVECLAW_HOME", folder.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    QApplication application(argc, argv);
    {
        auto state = std::make_unique<CSharedState>();
        Fill(*state, rows);
        test::CRecordingPrompt prompt;
        CDialogContext context{*state, prompt, nullptr, false, {}};
        std::printf("%d rows in each window\n", rows);

        const Figures inbox = Measure([&] { return std::make_unique<CInboxDlg>(context); }, 2);
        const Figures inboxPlain = Measure([&] { return PlainTree(InboxRows(state->m_Accounts, nullptr)); }, 2);
        Print("Inbox", inbox, inboxPlain);

        const Figures trash = Measure([&] { return std::make_unique<CTrashDlg>(context); }, 3);
        // The plain tree reads the same files, as the window must.
        const Figures trashPlain = Measure([&] { return PlainTree(TrashRows("", 7, 0)); }, 2);
        Print("Trash Can", trash, trashPlain);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
