// Pulls the plug on `sieveclaw-cli run` at random moments of its checks, many times over, and
// proves after every kill that no message was lost: each message delivered to the mailbox is
// still on the server, or a whole copy of it is in the inbox or spam folder. Every run starts
// from what the killed one left behind (same data folder, same mailbox), and new mail arrives
// between runs, so later kills hit partly processed states.
//
// Environment: SIEVECLAW_CLI names the program (set by CTest). SIEVECLAW_CRASH_TRIALS sets the
// number of kills (default 30), SIEVECLAW_CRASH_MESSAGES the starting mailbox (default 300),
// SIEVECLAW_CRASH_SERIES repeats a run's random moments (its number is printed).
//
// Beside it, the account table and exit status of `sieveclaw-cli check`, which the kills above
// rely on.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/DovecotServer.h"
#include "tests/support/ScopedDataFolder.h"

extern char** environ;

namespace sieveclaw::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kUser = "crash";
constexpr const char* kPassword = "crash-pw";
constexpr const char* kAccount = "Crash Box";
// New mail delivered before each run, so that every run has downloads and deletions to do, until
// the mailbox holds kMailboxCap messages (a long run would otherwise spend its time on ever longer
// header passes).
constexpr int kArrivingPerTrial = 40;
constexpr std::size_t kMailboxCap = 3000;
// A SIGTERM instead of a SIGKILL every this many trials: the stop must also be clean.
constexpr int kTermEvery = 6;

int EnvironmentInt(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

// The messages of the test, each known by its Message-ID. Roughly one in three is spam, caught
// by the From list ("casino") or the Body list ("cheap pills"); some carry lines that start with
// a dot (stuffed on the wire) and some are large enough that a kill often lands inside their
// download.
struct Message {
    std::string m_Id;
    std::string m_Text;
    bool m_Spam = false;
};

Message MakeMessage(int index) {
    Message message;
    message.m_Id = "<crash-" + std::to_string(index) + "@sieveclaw.test>";
    const int kind = index % 10;
    message.m_Spam = kind == 1 || kind == 4 || kind == 7;
    const bool spamByFrom = kind == 1 || kind == 7;
    const std::string from = spamByFrom ? "Lucky Seat <seat" + std::to_string(index) + "@casino-royale.test>"
                                        : "Colleague " + std::to_string(index % 41) + " <c" +
                                              std::to_string(index % 41) + "@work.example.org>";
    std::string text =
        "Return-Path: <bounce@example.net>\n"
        "Message-ID: " +
        message.m_Id + "\n" + "Date: Tue, 8 Dec 2026 " + std::to_string(10 + index / 3600 % 10) + ":" +
        std::to_string(10 + index / 60 % 50) + ":" + std::to_string(10 + index % 50) + " +0000\n" + "From: " + from +
        "\n" + "To: Reader <reader@example.org>\n" + "Subject: " + (message.m_Spam ? "Offer " : "Minutes ") +
        std::to_string(index) + "\n" + "MIME-Version: 1.0\nContent-Type: text/plain; charset=us-ascii\n\n";
    text += kind == 4 ? "Order cheap pills today, number " + std::to_string(index) + ".\n"
                      : "Here is the text of message " + std::to_string(index) + ".\n";
    if (index % 13 == 0) {
        text += ".a line that starts with a dot\n..and one with two\n.\n";
    }
    const std::size_t size = index % 23 == 0 ? 60000 : 1500;
    while (text.size() < size) {
        text += "The shared folder holds the figures; the meeting moved to Thursday at ten.\n";
    }
    message.m_Text = std::move(text);
    return message;
}

// Where every message is at one moment.
struct Census {
    std::map<std::string, int> m_OnServer;  // Message-ID -> files in the maildir
    std::map<std::string, int> m_InInbox;   // Message-ID -> whole copies in inbox/
    std::map<std::string, int> m_InSpam;    // Message-ID -> whole copies in spam/
    std::vector<std::string> m_Problems;    // torn or foreign files
};

std::string MessageIdOf(const std::string& text) {
    const std::size_t start = text.find("Message-ID: <");
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t end = text.find('>', start);
    return end == std::string::npos ? std::string() : text.substr(start + 12, end - start - 11);
}

// The message part of a stored copy: what follows the REASON and ACCOUNT lines.
std::optional<std::string> StoredMessage(const std::string& file, std::string* account) {
    std::size_t at = 0;
    if (file.compare(0, 7, "REASON:") == 0) {
        at = file.find("\r\n");
        if (at == std::string::npos) {
            return std::nullopt;
        }
        at += 2;
    }
    if (file.compare(at, 8, "ACCOUNT:") != 0) {
        return std::nullopt;
    }
    const std::size_t end = file.find("\r\n", at);
    if (end == std::string::npos) {
        return std::nullopt;
    }
    *account = file.substr(at + 8, end - at - 8);
    return file.substr(end + 2);
}

// Starts the program (words[0]) with its output and errors going to outPath; -1 when it could not
// be started.
pid_t SpawnProgram(std::vector<std::string> words, const std::string& outPath) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        std::printf("cannot start %s: %s\n", argv[0], std::strerror(failed));
        return -1;
    }
    return pid;
}

// The exit status (128 + the signal for a killed process), or nothing when the process is still
// there after limit.
std::optional<int> WaitExit(pid_t pid, milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (true) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 || Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
}

// Waits for the process; one still there after limit is killed. Its status, or nothing then.
std::optional<int> WaitOrKill(pid_t pid, milliseconds limit) {
    const std::optional<int> status = WaitExit(pid, limit);
    if (!status) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return status;
}

// Runs the program to its end; the exit status, -1 when it could not be started or did not end
// within limit.
int RunProgram(std::vector<std::string> words, const std::string& outPath, milliseconds limit) {
    const pid_t pid = SpawnProgram(std::move(words), outPath);
    return pid < 0 ? -1 : WaitOrKill(pid, limit).value_or(-1);
}

int CountOf(const std::map<std::string, int>& counts, const std::string& id) {
    const auto found = counts.find(id);
    return found == counts.end() ? 0 : found->second;
}

class CrashSafety : public ::testing::Test {
protected:
    void SetUp() override {
        const char* cli = std::getenv("SIEVECLAW_CLI");
        ASSERT_NE(cli, nullptr) << "SIEVECLAW_CLI must name the sieveclaw-cli binary";
        m_Cli = cli;
        m_Trials = EnvironmentInt("SIEVECLAW_CRASH_TRIALS", 30);
        const int messages = EnvironmentInt("SIEVECLAW_CRASH_MESSAGES", 300);
        m_Series =
            static_cast<unsigned>(EnvironmentInt("SIEVECLAW_CRASH_SERIES", static_cast<int>(std::random_device{}())));
        m_Random = std::mt19937(m_Series);
        std::setvbuf(stdout, nullptr, _IONBF, 0);  // progress lines reach a killed run's log too
        std::printf("random series %u (SIEVECLAW_CRASH_SERIES repeats it), %d trials, %d messages to start with\n",
                    m_Series, m_Trials, messages);

        std::vector<std::string> texts;
        for (int i = 0; i < messages; ++i) {
            Deliver(MakeMessage(i), &texts);
        }
        m_Server.AddUser(kUser, kPassword, std::move(texts));
        ASSERT_TRUE(m_Server.Start()) << m_Server.Error();
        ::setenv("SSL_CERT_FILE", m_Server.CaFile().c_str(), 1);

        // The data folder set up through the program's own commands.
        ASSERT_EQ(RunCli({"settings", "EmailDelay", "1"}), 0);
        ASSERT_EQ(RunCli({"lists", "add", "from", "casino"}), 0);
        ASSERT_EQ(RunCli({"lists", "add", "body", "cheap pills"}), 0);
        ::setenv("SIEVECLAW_PASSWORD", kPassword, 1);
        ASSERT_EQ(RunCli({"accounts", "add", "--name", kAccount, "--pop3-server", "127.0.0.1", "--pop3-port",
                          std::to_string(m_Server.PlainPort()), "--pop3-user", kUser}),
                  0);
        ::unsetenv("SIEVECLAW_PASSWORD");
    }

    void TearDown() override {
        if (m_Running > 0) {
            ::kill(m_Running, SIGKILL);
            ::waitpid(m_Running, nullptr, 0);
        }
        m_Server.Stop();
        ::unsetenv("SSL_CERT_FILE");
    }

    void Deliver(Message message, std::vector<std::string>* beforeStart) {
        if (beforeStart != nullptr) {
            beforeStart->push_back(message.m_Text);
        } else {
            ASSERT_TRUE(m_Server.AddMessage(kUser, message.m_Text)) << m_Server.Error();
        }
        m_Expected[message.m_Id] = std::move(message);
    }

    pid_t Spawn(const std::vector<std::string>& arguments) const {
        std::vector<std::string> words{m_Cli};
        words.insert(words.end(), arguments.begin(), arguments.end());
        return SpawnProgram(std::move(words), m_OutPath);
    }

    int RunCli(const std::vector<std::string>& arguments) {
        std::vector<std::string> words{m_Cli};
        words.insert(words.end(), arguments.begin(), arguments.end());
        const int status = RunProgram(std::move(words), m_OutPath, std::chrono::minutes(10));
        if (status != 0) {
            std::printf("sieveclaw-cli exited %d:\n%s\n", status, ReadWhole(m_OutPath).c_str());
        }
        return status;
    }

    std::string Maildir() const { return m_Server.Folder() + "/mail/" + kUser + "/Maildir"; }

    Census TakeCensus() const {
        Census census;
        for (const char* sub : {"/cur", "/new"}) {
            std::error_code failure;
            for (fs::directory_iterator it(Maildir() + sub, failure), end; !failure && it != end;
                 it.increment(failure)) {
                const std::string id = MessageIdOf(ReadWhole(it->path()));
                if (!id.empty()) {
                    ++census.m_OnServer[id];
                }
            }
        }
        const std::string home = m_Home.Path().string();
        for (const auto& [folder, counts] :
             {std::pair{"/inbox", &census.m_InInbox}, std::pair{"/spam", &census.m_InSpam}}) {
            std::error_code failure;
            for (fs::directory_iterator it(home + folder, failure), end; !failure && it != end; it.increment(failure)) {
                if (it->path().extension() != ".eml") {
                    continue;  // a write in progress, or the temporary of one that was cut short
                }
                const std::string file = ReadWhole(it->path());
                std::string account;
                const std::optional<std::string> stored = StoredMessage(file, &account);
                const std::string id = stored ? MessageIdOf(*stored) : std::string();
                const auto expected = m_Expected.find(id);
                if (expected == m_Expected.end() || account != kAccount) {
                    census.m_Problems.push_back("a file nobody sent: " + it->path().string());
                } else if (*stored != CDovecotServer::HeldForm(expected->second.m_Text)) {
                    census.m_Problems.push_back("a copy that differs from " + id + ": " + it->path().string());
                } else {
                    ++(*counts)[id];
                }
            }
        }
        return census;
    }

    // Every message sent is on the server or whole in one of the folders, and every file in the
    // folders is a whole copy. The killed session's server process may still be going away
    // (renaming or removing files), so a loss is only believed when it persists.
    std::vector<std::string> FindLosses() const {
        std::vector<std::string> problems;
        for (int attempt = 0; attempt < 30; ++attempt) {
            const Census census = TakeCensus();
            problems = census.m_Problems;
            for (const auto& [id, message] : m_Expected) {
                if (census.m_OnServer.count(id) == 0 && census.m_InInbox.count(id) == 0 &&
                    census.m_InSpam.count(id) == 0) {
                    problems.push_back("lost: " + id + (message.m_Spam ? " (spam)" : " (good)"));
                }
            }
            if (problems.empty()) {
                break;
            }
            std::this_thread::sleep_for(milliseconds(100));
        }
        return problems;
    }

    bool OutputHas(const std::string& text) const { return ReadWhole(m_OutPath).find(text) != std::string::npos; }

    // Where the run was when it was stopped, from the last line it printed.
    std::string Phase() const {
        const std::string output = ReadWhole(m_OutPath);
        const std::size_t last = output.rfind("Currently: ");
        if (last == std::string::npos) {
            return "start";
        }
        const std::string line = output.substr(last + 11, output.find('\n', last) - last - 11);
        for (const char* phase :
             {"Logging into", "Logged into", "Getting Header", "Got your headers", "Getting message",
              "bytes downloaded", "Scanning", "Saving", "Spam found", "Logging off", "Logged off"}) {
            if (line.rfind(phase, 0) == 0 || line.find(phase) != std::string::npos) {
                return phase;
            }
        }
        return line;
    }

    CScopedDataFolder m_Home;
    CDovecotServer m_Server;
    std::string m_Cli;
    std::string m_OutPath = (m_Home.Path() / "run.out").string();
    int m_Trials = 0;
    unsigned m_Series = 0;
    std::mt19937 m_Random;
    pid_t m_Running = -1;  // a run in progress, killed by TearDown when a check failed
    int m_NextIndex = 1000000;
    std::map<std::string, Message> m_Expected;
};

TEST_F(CrashSafety, KilledRunsLoseNoMessage) {
    // How long one whole check takes here: the first run is left to finish its check, then
    // stopped cleanly. Kill moments are spread over a little more than that.
    const auto started = Clock::now();
    m_Running = Spawn({"run"});
    ASSERT_GT(m_Running, 0);
    const auto deadline = started + std::chrono::minutes(3);
    while (!OutputHas("Currently: Logged off") && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    ASSERT_TRUE(OutputHas("Currently: Logged off")) << ReadWhole(m_OutPath);
    const auto checkTime = std::chrono::duration_cast<milliseconds>(Clock::now() - started);
    ::kill(m_Running, SIGTERM);
    EXPECT_EQ(WaitOrKill(m_Running, std::chrono::seconds(25)), std::optional<int>(0)) << ReadWhole(m_OutPath);
    m_Running = -1;
    std::printf("first check of %zu messages: %lld ms\n", m_Expected.size(), static_cast<long long>(checkTime.count()));
    ASSERT_EQ(FindLosses(), std::vector<std::string>{});

    // After one whole check: the spam is off the server and in the spam folder, the good mail
    // is on the server and in the inbox folder.
    {
        const Census census = TakeCensus();
        for (const auto& [id, message] : m_Expected) {
            if (message.m_Spam) {
                EXPECT_EQ(CountOf(census.m_OnServer, id), 0) << id << " is spam but still on the server";
                EXPECT_EQ(CountOf(census.m_InSpam, id), 1) << id << " is spam: one copy in the spam folder";
            } else {
                EXPECT_EQ(CountOf(census.m_OnServer, id), 1) << id << " is good but not on the server";
                EXPECT_EQ(CountOf(census.m_InInbox, id), 1) << id << " is good: one copy in the inbox folder";
            }
        }
    }
    ASSERT_FALSE(HasFailure());

    // Kill moments are spread evenly over a little more than one check. How long a check takes
    // changes from run to run (new mail, spam left by the last kill, good mail already stored),
    // so the span follows the last check seen to end, and grows when a wait past its end found
    // the check still going.
    milliseconds span = checkTime;
    int killedInCheck = 0;
    std::map<std::string, int> phases;  // what the run printed last before it was stopped
    for (int trial = 1; trial <= m_Trials; ++trial) {
        for (int i = 0; i < kArrivingPerTrial && m_Expected.size() < kMailboxCap; ++i) {
            Deliver(MakeMessage(m_NextIndex++), nullptr);
        }
        const bool term = trial % kTermEvery == 0;
        const milliseconds wait(std::uniform_int_distribution<long long>(0, (span * 6 / 5).count() + 50)(m_Random));
        const auto spawned = Clock::now();
        m_Running = Spawn({"run"});
        ASSERT_GT(m_Running, 0);
        bool checkEnded = false;
        while (Clock::now() < spawned + wait) {
            std::this_thread::sleep_for(milliseconds(10));
            if (!checkEnded && OutputHas("Currently: Logged off")) {
                checkEnded = true;
                span = std::chrono::duration_cast<milliseconds>(Clock::now() - spawned);
            }
        }
        if (!checkEnded && wait >= span) {
            span = wait * 5 / 4;  // the checks have grown longer than the span
        }
        killedInCheck += checkEnded ? 0 : 1;
        // A SIGTERM before the program is running at all (still being loaded) ends it the
        // operating system's way; the run promises a clean stop once it says it takes one.
        const auto saidSo = Clock::now() + std::chrono::seconds(10);
        while (term && !OutputHas("SIGTERM stops") && Clock::now() < saidSo) {
            std::this_thread::sleep_for(milliseconds(5));
        }
        const std::string phase = Phase();
        ++phases[phase];
        ::kill(m_Running, term ? SIGTERM : SIGKILL);
        const std::optional<int> status = WaitOrKill(m_Running, std::chrono::seconds(term ? 25 : 10));
        m_Running = -1;
        if (term) {
            EXPECT_EQ(status, std::optional<int>(0))
                << "trial " << trial << ": SIGTERM after " << wait.count() << " ms did not end the run cleanly\n"
                << ReadWhole(m_OutPath);
        } else {
            EXPECT_EQ(status, std::optional<int>(128 + SIGKILL));
        }
        const std::vector<std::string> losses = FindLosses();
        std::printf("trial %d: %s after %lld ms, at '%s'\n", trial, term ? "SIGTERM" : "SIGKILL",
                    static_cast<long long>(wait.count()), phase.c_str());
        EXPECT_EQ(losses, std::vector<std::string>{}) << "trial " << trial << ": " << (term ? "SIGTERM" : "SIGKILL")
                                                      << " after " << wait.count() << " ms; the run printed:\n"
                                                      << ReadWhole(m_OutPath);
        if (HasFailure()) {
            return;
        }
    }
    std::printf("%d trials, %d of them stopped inside a check; last line printed before the stop:\n", m_Trials,
                killedInCheck);
    for (const auto& [phase, count] : phases) {
        std::printf("  %3d  %s\n", count, phase.c_str());
    }

    // One last check that is left to finish: whatever the kills left half done is completed.
    ASSERT_EQ(RunCli({"check"}), 0);
    const std::string finalOutput = ReadWhole(m_OutPath);
    std::printf("last check:%s", finalOutput.substr(finalOutput.rfind("\nEmail Account")).c_str());
    ASSERT_EQ(FindLosses(), std::vector<std::string>{});
    const Census census = TakeCensus();
    for (const auto& [id, message] : m_Expected) {
        // A kill between the copy and the server's QUIT leaves the spam on the server, so the
        // next run stores it again: more than one spam copy is expected, fewer never.
        if (message.m_Spam) {
            EXPECT_EQ(CountOf(census.m_OnServer, id), 0) << id << " is spam but still on the server";
            EXPECT_GE(CountOf(census.m_InSpam, id), 1) << id << " is spam but not in the spam folder";
        } else {
            EXPECT_EQ(CountOf(census.m_OnServer, id), 1) << id << " is good but not on the server";
            EXPECT_EQ(CountOf(census.m_InInbox, id), 1) << id << " is good: one copy in the inbox folder";
        }
    }
}

// The account table of `check` and its exit status: an account that cannot log on fails the
// check, one on hold does not; spam files count for the account their ACCOUNT line names,
// ignoring case.
TEST(CliCheck, ReportsEveryAccountAndFailsOnAFailedLogOn) {
    const char* cli = std::getenv("SIEVECLAW_CLI");
    ASSERT_NE(cli, nullptr) << "SIEVECLAW_CLI must name the sieveclaw-cli binary";
    CScopedDataFolder home;
    const std::string out = home.File("out");
    const auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), cli);
        return RunProgram(std::move(arguments), out, std::chrono::minutes(3));
    };

    EXPECT_EQ(run({"check"}), 1);
    EXPECT_NE(ReadWhole(out).find("no accounts"), std::string::npos) << ReadWhole(out);
    EXPECT_EQ(run({"run"}), 2) << "nothing to run: the service must not be restarted";

    CDovecotServer server;
    server.AddUser(
        "ann", "ann-pw",
        {MakeMessage(0).m_Text, MakeMessage(1).m_Text /* spam */, MakeMessage(2).m_Text, MakeMessage(3).m_Text});
    ASSERT_TRUE(server.Start()) << server.Error();
    ::setenv("SSL_CERT_FILE", server.CaFile().c_str(), 1);
    const std::string port = std::to_string(server.PlainPort());
    ASSERT_EQ(run({"lists", "add", "from", "casino"}), 0);
    const auto add = [&](const std::string& name, const std::string& password) {
        ::setenv("SIEVECLAW_PASSWORD", password.c_str(), 1);
        const int status = run({"accounts", "add", "--name", name, "--pop3-server", "127.0.0.1", "--pop3-port", port,
                                "--pop3-user", "ann"});
        ::unsetenv("SIEVECLAW_PASSWORD");
        return status;
    };
    ASSERT_EQ(add("Ann", "ann-pw"), 0);
    ASSERT_EQ(add("Wrong", "not-the-password"), 0);
    ASSERT_EQ(add("Held", "ann-pw"), 0);
    ASSERT_EQ(run({"accounts", "hold", "Held"}), 0);
    // A spam file of an earlier run, named in other case, and one of an account that is gone.
    fs::create_directories(home.Path() / "spam");
    std::ofstream(home.Path() / "spam" / "older.eml") << "REASON:x\r\nACCOUNT:ANN\r\nSubject: old\r\n";
    std::ofstream(home.Path() / "spam" / "orphan.eml") << "ACCOUNT:Gone\r\nSubject: old\r\n";

    // The row of an account: inbox count, trash count, the rest of the line.
    const auto row = [&](const std::string& name) {
        std::istringstream lines(ReadWhole(out));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(name + " ", 0) == 0) {
                std::istringstream fields(line.substr(name.size()));
                std::size_t inbox = 0;
                std::size_t trash = 0;
                std::string rest;
                fields >> inbox >> trash;
                std::getline(fields, rest);
                return std::tuple{inbox, trash, rest};
            }
        }
        return std::tuple{std::size_t{999}, std::size_t{999}, std::string("no row")};
    };

    EXPECT_EQ(run({"check"}), 1) << ReadWhole(out);
    const std::string printed = ReadWhole(out);
    EXPECT_NE(printed.find("Currently: Logged into Ann."), std::string::npos) << printed;
    EXPECT_NE(printed.find("Email Connection: Connected to the account named 'Ann'"), std::string::npos);
    // One line per download with its total, however many pieces it came in.
    std::size_t downloads = 0;
    for (std::size_t at = printed.find(" bytes downloaded\n"); at != std::string::npos;
         at = printed.find(" bytes downloaded\n", at + 1)) {
        ++downloads;
    }
    EXPECT_EQ(downloads, 4U) << printed;
    EXPECT_NE(printed.find("Error:  [AUTH] Authentication failed.\n"), std::string::npos)
        << "the server's reason for the refused log-on is not shown:\n"
        << printed;
    EXPECT_NE(printed.find("Account: Wrong"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("Logging into Held"), std::string::npos) << "an account on hold was checked";
    EXPECT_EQ(row("Ann"), std::tuple(std::size_t{3}, std::size_t{2},
                                     std::string("  logged on: 4 on the server, 4 "
                                                 "examined, 1 spam, 3 good")));
    EXPECT_EQ(std::get<2>(row("Wrong")), "  could not log on");
    EXPECT_EQ(std::get<2>(row("Held")), "  on hold");

    // Without the failing account the check succeeds; the account on hold does not count.
    ASSERT_EQ(run({"accounts", "remove", "Wrong"}), 0);
    EXPECT_EQ(run({"check"}), 0) << ReadWhole(out);
    // Whether the good mail is examined again depends on what the inbox folder held; the counts
    // do not.
    const auto [inbox, trash, rest] = row("Ann");
    EXPECT_EQ(inbox, 3U);
    EXPECT_EQ(trash, 2U);
    EXPECT_EQ(rest.rfind("  logged on: 3 on the server", 0), 0U) << rest;
    EXPECT_NE(rest.find(" 0 spam"), std::string::npos) << rest;
    ::unsetenv("SSL_CERT_FILE");
}

}  // namespace
}  // namespace sieveclaw::test
