#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/DataFileDamage.h"

// The settings store: named values in sections of an ini file, read and written the way the
// program's settings have always been (GetProfileInt/GetProfileString with a default for a
// missing value; WriteProfileInt/WriteProfileString).
//
// File format, as the reader takes it:
// - Lines end at LF; trailing CRs are dropped, so CR LF files read the same. Blank lines and
//   lines whose first non-blank byte is ';' or '#' are comments.
// - "[name]" starts a section (blanks inside the brackets and text after ']' are ignored).
//   Lines before the first section belong to the section named "".
// - "name=value": the name is the text before the first '=', the value the text after it, both
//   without surrounding blanks (the value also without trailing white space). There are no
//   comments after a value: ';' is an ordinary byte there (the extension list is made of them).
// - Names and sections are compared byte for byte (case matters).
// - A name that occurs twice in a section (or in two sections of the same name): the first one
//   wins. Later ones, and every line the reader does not understand, are kept as they are.
// - Values are escaped (EscapeProfileValue) so that any byte string survives: '\' as "\\",
//   control bytes (0x00-0x1F, 0x7F) and a blank at either end as "\xHH". Bytes 0x80-0xFF stay
//   raw. On reading, "\\" and "\xHH" are decoded; any other backslash is taken literally, so a
//   hand-written "C:\Mail" reads as written.
// - Integers are decimal. Reading takes an optional sign and the leading decimal digits (so
//   "12abc" is 12) and gives the default when there is no digit; values beyond the int range
//   saturate at its ends.
//
// - A leading UTF-8 byte-order mark is passed over. A line that is none of the above (a '['
//   without its ']', a value without a name, anything else) or holds a NUL byte makes the file
//   damaged: it is still read as well as it can be, but never written over (DataFileDamage.h).
//
// A write goes to the disk at once (the whole file, replaced atomically, mode 0600 because it
// holds the scrambled filter password), unless a CWriteBatch is open: then the file is written
// once when the batch ends. Lines the program did not change are written back as they were read
// (with LF line ends). Safe from any thread: one lock guards the values and the file.

namespace sieveclaw {

// The settings file: $SIEVECLAW_HOME/sieveclaw.ini when SIEVECLAW_HOME is set, else
// $XDG_CONFIG_HOME/Tallowmere/sieveclaw.ini (an empty or relative XDG_CONFIG_HOME counts as
// ~/.config).
std::string GetProfileStorePath();

std::string EscapeProfileValue(std::string_view value);

// The first damaged line of a settings file's text (path empty), or nothing.
std::optional<DataFileDamage> FindProfileTextDamage(std::string_view text);
std::string UnescapeProfileValue(std::string_view text);

class CProfileStore {
public:
    // A store in memory only: writes never reach a file.
    CProfileStore() = default;
    // A store over the file at path; nothing is read until Load.
    explicit CProfileStore(std::string path) : m_Path(std::move(path)) {}
    CProfileStore(const CProfileStore&) = delete;
    CProfileStore& operator=(const CProfileStore&) = delete;

    // Reads the file, replacing what the store held. A missing file is an empty store (true);
    // false when the file exists but cannot be read (the store is then empty) or is damaged (the
    // store holds what could be read): LastError and Damage say where, and no write of this
    // process reaches the file from then on.
    bool Load();
    // What the last Load found wrong with the file, or nothing.
    std::optional<DataFileDamage> Damage() const;

    // Replaces what the store holds with the ini text. Never fails: what is not understood is
    // kept for the rewrite and otherwise ignored. Returns the first damaged line (path empty),
    // or nothing.
    std::optional<DataFileDamage> Parse(std::string_view text);
    // The whole file as it would be written now.
    std::string Serialize() const;

    int GetProfileInt(std::string_view section, std::string_view name, int defaultValue) const;
    std::string GetProfileString(std::string_view section, std::string_view name, std::string_view defaultValue) const;
    // True when a value of that name is stored.
    bool HasProfileValue(std::string_view section, std::string_view name) const;

    // Stores the value and writes the file (see CWriteBatch). False when the section or name
    // cannot be stored (empty, control bytes, '=' or ']' in it, or a name beginning with '[', ';'
    // or '#') or the file could not be written; the value is kept in memory in the latter case
    // and goes out with the next successful write.
    bool WriteProfileInt(std::string_view section, std::string_view name, int value);
    bool WriteProfileString(std::string_view section, std::string_view name, std::string_view value);

    // Writes the file now when something changed since the last write. True when nothing needed
    // writing or the write succeeded; a memory-only store always succeeds.
    bool Flush();

    const std::string& Path() const { return m_Path; }
    // Why the last Load or file write failed.
    std::string LastError() const;

    // Defers the file writes of every WriteProfile* call until the batch ends, so that a save of
    // many values writes the file once. Batches may nest; the outermost one writes.
    class CWriteBatch {
    public:
        explicit CWriteBatch(CProfileStore& store);
        CWriteBatch(const CWriteBatch&) = delete;
        CWriteBatch& operator=(const CWriteBatch&) = delete;
        // Ends the batch if Commit has not.
        ~CWriteBatch();
        // Ends the batch; for the outermost one, writes the file. False when that write failed.
        bool Commit();

    private:
        CProfileStore& m_Store;
        bool m_Open = true;
    };

private:
    struct Line {
        enum class EKind { kOther, kSection, kValue };
        EKind m_Kind = EKind::kOther;
        // The line as read (without its line end); empty once a written value replaced it.
        std::string m_Raw;
        // kSection: the section's name. kValue: the value's name.
        std::string m_Name;
        // kValue: the decoded value.
        std::string m_Value;
        // The section the line belongs to (its own name for a section line).
        std::string m_Section;
    };

    const Line* FindLocked(std::string_view section, std::string_view name) const;
    // Stores the value; true when that changed anything.
    bool SetLocked(std::string_view section, std::string_view name, std::string value);
    bool WriteLocked(std::string_view section, std::string_view name, std::string value);
    bool FlushLocked();
    std::string SerializeLocked() const;
    // Closes one batch level; the outermost writes the file. False when that write failed.
    bool EndBatch();

    const std::string m_Path;
    // Protects everything below.
    mutable std::mutex m_Lock;
    std::vector<Line> m_Lines;
    std::optional<DataFileDamage> m_Damage;
    bool m_Dirty = false;
    int m_BatchDepth = 0;
    std::string m_LastError;
};

}  // namespace sieveclaw
