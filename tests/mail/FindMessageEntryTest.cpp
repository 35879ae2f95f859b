#include "mail/FindMessageEntry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace sieveclaw {
namespace {

MessageEntry Entry(std::string to, std::string from, std::string subject, std::string date, std::string path = {}) {
    return MessageEntry{std::move(to), std::move(from), std::move(subject), std::move(date), std::move(path)};
}

TEST(FindMessageEntryTest, FindsTheFirstSameMessageWhateverThePath) {
    GuardedList<MessageEntry> list;
    list.Append(Entry("ann@x", "bob@y", "Other", "Mon", "inbox/1.eml"));
    const ListPos first = list.Append(Entry("ann@x", "bob@y", "Hello", "Mon", "inbox/2.eml"));
    list.Append(Entry("ann@x", "bob@y", "Hello", "Mon", "inbox/3.eml"));

    EXPECT_EQ(FindMessageEntry(list, Entry("ann@x", "bob@y", "Hello", "Mon")), first);
    EXPECT_EQ(FindMessageEntry(list, Entry("ann@x", "bob@y", "Hello", "Mon", "elsewhere.eml")), first);
}

TEST(FindMessageEntryTest, EveryFieldCountsByteForByte) {
    GuardedList<MessageEntry> list;
    list.Append(Entry("ann@x", "bob@y", "Hello", "Mon"));
    EXPECT_EQ(FindMessageEntry(list, Entry("Ann@x", "bob@y", "Hello", "Mon")), kNoPos);
    EXPECT_EQ(FindMessageEntry(list, Entry("ann@x", "BOB@y", "Hello", "Mon")), kNoPos);
    EXPECT_EQ(FindMessageEntry(list, Entry("ann@x", "bob@y", "hello", "Mon")), kNoPos);
    EXPECT_EQ(FindMessageEntry(list, Entry("ann@x", "bob@y", "Hello", "Mon ")), kNoPos);
    EXPECT_EQ(FindMessageEntry(list, Entry("ann@x", "bob@y", std::string("Hello\0", 6), "Mon")), kNoPos);
    // Fields are not concatenated: moving a character from one field to the next is another message.
    EXPECT_EQ(FindMessageEntry(list, Entry("ann@", "xbob@y", "Hello", "Mon")), kNoPos);

    GuardedList<MessageEntry> empty;
    EXPECT_EQ(FindMessageEntry(empty, Entry("", "", "", "")), kNoPos);
}

// The other thread keeps removing the first entry while walks start from the front, so walks
// keep standing on entries that vanish under them. The target is never removed and must be found
// by every walk; a walk that held a removed entry's memory shows up under AddressSanitizer.
TEST(FindMessageEntryTest, SurvivesEntriesRemovedByAnotherThreadDuringTheWalk) {
    const MessageEntry target = Entry("to", "from", "target", "d");
    int walks = 0;
    int lost = 0;
    for (int round = 0; round < 20; ++round) {
        GuardedList<MessageEntry> list;
        for (int i = 0; i < 2000; ++i) {
            list.Append(Entry("to", "from", "filler " + std::to_string(i), "d", std::string(64, 'p')));
        }
        const ListPos targetPos = list.Append(target);
        list.Append(Entry("to", "from", "after", "d"));

        std::atomic<bool> done{false};
        std::thread remover([&] {
            for (ListPos pos = list.First(); pos != targetPos; pos = list.First()) {
                list.RemoveAt(pos);
            }
            done = true;
        });
        do {
            lost += FindMessageEntry(list, target) != targetPos ? 1 : 0;
            ++walks;
        } while (!done);
        remover.join();
        EXPECT_EQ(list.Count(), 2U);
    }
    EXPECT_EQ(lost, 0) << "over " << walks << " walks";
}

}  // namespace
}  // namespace sieveclaw
