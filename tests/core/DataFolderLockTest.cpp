#include "core/DataFolderLock.h"

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "core/TextFile.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

TEST(DataFolderLockTest, OneHolderAtATimeAndTheRefusedOneLearnsWho) {
    test::CScopedDataFolder folder;
    const std::string path = folder.Path().string() + "/";
    CDataFolderLock first;
    ASSERT_TRUE(first.Acquire(path, "sieveclaw"));
    // A second open of the file is refused as another process would be (the lock is per open file).
    CDataFolderLock second;
    EXPECT_FALSE(second.Acquire(path, "sieveclaw-cli run"));
    EXPECT_EQ(second.Holder().m_ProcessId, ::getpid());
    EXPECT_EQ(second.Holder().m_Program, "sieveclaw");
    EXPECT_EQ(DataFolderInUseText(path, second),
              "the data folder " + path + " is in use by sieveclaw (process " + std::to_string(::getpid()) + ")");

    first.Release();
    EXPECT_TRUE(second.Acquire(path, "sieveclaw-cli run"));
    std::string written;
    ASSERT_TRUE(ReadFileBytes(DataFolderLockPath(path), written));
    EXPECT_EQ(ReadDataFolderHolder(written).m_Program, "sieveclaw-cli run");
}

TEST(DataFolderLockTest, AKilledHolderLeavesTheFolderFree) {
    test::CScopedDataFolder folder;
    const std::string path = folder.Path().string() + "/";
    const pid_t child = ::fork();
    if (child == 0) {
        CDataFolderLock held;
        static_cast<void>(held.Acquire(path, "sieveclaw"));
        ::_exit(9);  // no release: as a crash
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    CDataFolderLock lock;
    EXPECT_TRUE(lock.Acquire(path, "sieveclaw"));
}

TEST(DataFolderLockTest, HolderLinesThatAreNotWholeNameNobody) {
    const struct {
        const char* m_Text;
        long m_Id;
        const char* m_Program;
    } cases[] = {
        {"42 sieveclaw\n", 42, "sieveclaw"},
        {"7 sieveclaw-cli run", 7, "sieveclaw-cli run"},
        {"", 0, ""},
        {"sieveclaw", 0, ""},
        {"12", 0, ""},
        {"99999999999999 x", 0, ""},
    };
    for (const auto& c : cases) {
        const DataFolderHolder holder = ReadDataFolderHolder(c.m_Text);
        EXPECT_EQ(holder.m_ProcessId, c.m_Id) << c.m_Text;
        EXPECT_EQ(holder.m_Program, c.m_Program) << c.m_Text;
    }
}

}  // namespace
}  // namespace sieveclaw
