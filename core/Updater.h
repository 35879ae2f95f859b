#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sieveclaw {

// Where the periodic filter update gets its files. The worker calls it from its own thread at
// start, at most once every 14 days. The engine's default takes the files dropped into the
// folder "updates/" of the data folder; another implementation may fetch them from a server.
class CUpdater {
public:
    virtual ~CUpdater() = default;

    // The paths of the filter-update files now available (word-list layout, unscrambled). The
    // caller merges each and then deletes it. tempFolder is where an implementation that fetches
    // files may put them. Nothing when there is no update.
    virtual std::vector<std::string> DownloadFilterFiles(const std::string& tempFolder) = 0;

    // Where the files come from, as the user reads it ("the folder /home/ann/.../updates/",
    // "filters.example.com").
    virtual std::string SourceName() const = 0;

    // What the update does, completing "When you close this message Sieveclaw will ...".
    virtual std::string FetchDescription() const {
        return "connect to " + SourceName() + " and download new filters if any are available";
    }

    // Live Update's program update, on the user interface thread. True when the updater wants the
    // program to end (it replaces the program); report says what it did, for the user. The
    // program is a package of the system here, so this one only says so.
    virtual bool UpdateProgram(std::string& report) {
        report = std::string(kPackagedProgramReport);
        return false;
    }

    static constexpr std::string_view kPackagedProgramReport =
        "Sieveclaw itself is updated by your system's package manager (for example with \"sudo apt upgrade\"), "
        "not from within the program.";
};

// The text of the dismissable box ("FilterCheck") that announces a filter update.
inline std::string FilterCheckText(const CUpdater& updater) {
    return "Sieveclaw checks " + updater.SourceName() +
           " for new filters every 14 days.  This is our way of making sure you have the latest and most up to "
           "date filters.  When you close this message Sieveclaw will " +
           updater.FetchDescription() + ".";
}

}  // namespace sieveclaw
