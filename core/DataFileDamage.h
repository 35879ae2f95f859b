#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The rule that keeps the program's own data files (accounts, settings, lists) from being
// destroyed: a file that exists but cannot be read, or does not read whole, is damaged, and a
// damaged file is never written over. What it holds may be the user's only copy of their accounts
// or lists; the program cannot know which of its lines still mean what they say, so it leaves the
// file for the user to repair and says exactly where it went wrong.

namespace sieveclaw {

// Why one data file cannot be trusted. Readers of a file's text fill m_Line and m_What; the loader
// adds the path.
struct DataFileDamage {
    std::string m_Path;
    std::size_t m_Line = 0;  // from 1; 0 when the file as a whole is the problem
    std::string m_What;
};

// "<path>, line 7: <what>", or "<path>: <what>" without a line.
std::string DamageText(const DataFileDamage& damage);

// What a command or window says when it will not save over the file.
std::string RefusedSaveText(const DataFileDamage& damage);

// Finds the first damage in a file's text (m_Path left empty), or nothing when it reads whole.
using FindTextDamage = std::function<std::optional<DataFileDamage>(std::string_view text)>;

enum class EDataFileRead {
    kMissing,     // no such file: the same as an empty one, and it may be created
    kRead,        // bytes hold the file
    kUnreadable,  // it exists but cannot be read: damaged
};

// Reads a data file whole. For kUnreadable, damage names the file and the reason.
EDataFileRead ReadDataFile(const std::string& path, std::string& bytes, DataFileDamage& damage);

// Remembers, for the whole process, what the last load of path found. A file found damaged stays
// so for every later save of this process, even once it reads whole again: what was loaded from it
// is not what it holds, and saving that would overwrite the user's repair.
void NoteLoadedFile(const std::string& path, const std::optional<DataFileDamage>& damage);

// The damage that forbids replacing the file at path: the one its last load found, or one in the
// file as it is on disk now (read through findDamage). Nothing when it may be written.
std::optional<DataFileDamage> DamageBlockingSave(const std::string& path, const FindTextDamage& findDamage);

// What saving a data file came to. Tests as true when the file was written.
struct [[nodiscard]] SaveResult {
    bool m_Saved = false;
    std::string m_Error;  // why not: the refusal over a damaged file, or the write failure

    explicit operator bool() const { return m_Saved; }
};

// Replaces the file at path with bytes (WriteFileAtomically, mode) unless DamageBlockingSave
// forbids it.
SaveResult SaveDataFile(const std::string& path, std::string_view bytes, unsigned mode,
                        const FindTextDamage& findDamage);

}  // namespace sieveclaw
