#include "core/MailPrograms.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/TextFile.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

std::string Entry(const std::string& name, const std::string& exec, const std::string& types,
                  const std::string& extra = "") {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\nMimeType=" + types + "\n" + extra;
}

void Write(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    ASSERT_TRUE(WriteFileAtomically(path.string(), text, 0644));
}

TEST(MailProgramsTest, EntriesThatHandleMailtoAreTheProgramsAndTheDefaultIsMatchedByItsCommand) {
    test::CScopedDataFolder folder;
    const auto own = folder.Path() / "data/applications";
    const auto system = folder.Path() / "data-dirs/applications";
    Write(own / "vendor/zmail.desktop", Entry("zMail", "zmail %u", "x-scheme-handler/mailto;"));
    Write(own / "hidden.desktop", Entry("Hidden", "hidden %u", "x-scheme-handler/mailto;", "Hidden=true\n"));
    Write(system / "vendor-zmail.desktop", Entry("Shadowed", "old-zmail %u", "x-scheme-handler/mailto;"));
    Write(system / "amail.desktop",
          Entry("AMail", "/opt/amail/bin/amail -compose %u", "text/plain;x-scheme-handler/mailto;message/rfc822"));
    Write(system / "browser.desktop", Entry("Browser", "browser %u", "x-scheme-handler/http;"));

    const std::vector<MailProgram> programs = FindMailPrograms();
    ASSERT_EQ(programs.size(), 2U);
    EXPECT_EQ(programs[0].m_Name, "AMail");
    EXPECT_EQ(programs[1].m_Name, "zMail");
    EXPECT_EQ(programs[1].m_DesktopId, "vendor-zmail.desktop");

    EXPECT_EQ(DefaultMailtoCommand(), "");
    Write(folder.Path() / "config/mimeapps.list",
          "[Default Applications]\nx-scheme-handler/mailto=missing.desktop;amail.desktop;\n");
    const std::string command = DefaultMailtoCommand();
    EXPECT_EQ(command, "/opt/amail/bin/amail -compose %u");
    EXPECT_EQ(MatchDefaultMailProgram(programs, command), "AMail");
    EXPECT_EQ(MatchDefaultMailProgram(programs, "something else"), "");

    // "&Get Your Email": the chosen program's command, else (unknown or none chosen) the default's.
    EXPECT_EQ(MailProgramCommand("zMail"), "zmail %u");
    EXPECT_EQ(MailProgramCommand("Gone"), command);
    EXPECT_EQ(MailProgramCommand(""), command);
}

TEST(MailProgramsTest, ExecLinesSplitIntoTheProgramAndItsArgumentsWithoutFieldCodes) {
    using Args = std::vector<std::string>;
    const struct {
        const char* m_Exec;
        Args m_Expected;
    } cases[] = {
        {"zmail %u", {"zmail"}},
        {"/opt/amail/bin/amail -compose %u", {"/opt/amail/bin/amail", "-compose"}},
        {"\"/opt/My Mail/mail\" --new  %U", {"/opt/My Mail/mail", "--new"}},
        {"\"say \\\"hi\\\"\" x%%y", {"say \"hi\"", "x%y"}},
        {"mail --to=%u", {"mail", "--to="}},
        {"\"unclosed", {}},
        {"  %u ", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitExecLine(c.m_Exec), c.m_Expected) << c.m_Exec;
    }
}

}  // namespace
}  // namespace sieveclaw
