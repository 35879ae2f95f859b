#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

// A read-only view of the Windows registry as account discovery reads it. On Linux the registry
// of a Wine prefix is what other mail programs left behind: its text files system.reg
// (HKEY_LOCAL_MACHINE) and user.reg (HKEY_CURRENT_USER). Files written by regedit (REGEDIT4 or
// "Windows Registry Editor Version 5.00") read as well, so tests and users can hand over exports.
//
// Key and value names compare without regard to ASCII letter case, as the registry does. Texts
// stored as UTF-16 by Wine come out as UTF-8.

namespace sieveclaw {

enum class ERegistryRoot { kLocalMachine, kCurrentUser };

// Value types with the registry's numbers.
inline constexpr std::uint32_t kRegString = 1;
inline constexpr std::uint32_t kRegExpandString = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiString = 7;

struct RegistryValue {
    std::uint32_t m_Type = kRegString;
    // For the text types the text without its terminating zero (a multi-string keeps its inner
    // zeros); for the others the bytes as stored.
    std::string m_Data;
};

struct RegistryKeyNode {
    std::string m_Name;  // as spelt in the file
    // By upper-cased name, which is also the order in which the registry enumerates sub-keys.
    std::map<std::string, std::unique_ptr<RegistryKeyNode>> m_SubKeys;
    std::map<std::string, RegistryValue> m_Values;
};

// One registry file parsed. Lines that make no sense are skipped; a later definition of a value
// replaces an earlier one.
class CRegistryHive {
public:
    CRegistryHive();
    void Parse(std::string_view text);
    // The key at a path of names separated by '\' (empty: the root), or null.
    const RegistryKeyNode* Find(std::string_view path) const;
    const RegistryKeyNode& Root() const { return *m_Root; }

private:
    std::unique_ptr<RegistryKeyNode> m_Root;
};

// An open key: a handle that stays valid while it lives, whatever happens to the view.
class CRegistryKey {
public:
    CRegistryKey() = default;
    CRegistryKey(std::shared_ptr<const CRegistryHive> hive, const RegistryKeyNode* node)
        : m_Hive(std::move(hive)), m_Node(node) {}

    bool IsOpen() const { return m_Node != nullptr; }
    // A sub-key by relative path; not open when missing.
    CRegistryKey Open(std::string_view path) const;
    // The name of the sub-key at index (0 upwards); false past the last one or with no key.
    // Names longer than maxLength fail, as a too small name buffer does.
    bool EnumSubKey(std::size_t index, std::string& name, std::size_t maxLength = 255) const;
    // The value, or false when missing.
    bool Query(std::string_view valueName, RegistryValue& value) const;

    // A text value read into a buffer of bufferSize bytes: empty when missing or when the text
    // and its terminating zero do not fit; a text ends at its first zero.
    std::string ReadText(std::string_view valueName, std::size_t bufferSize = 256) const;
    // A value read into 4 bytes (little-endian): 0 when missing or larger than 4 bytes. Text
    // values count with their terminating zero, as a byte read of them gives.
    std::int32_t ReadNumber(std::string_view valueName) const;
    // ReadNumber as "%ld" gives it.
    std::string ReadNumberText(std::string_view valueName) const;

private:
    std::shared_ptr<const CRegistryHive> m_Hive;
    const RegistryKeyNode* m_Node = nullptr;
};

class CRegistryView {
public:
    // An empty registry: every open fails.
    CRegistryView() = default;

    // The registry of the Wine prefix $WINEPREFIX, or ~/.wine when that is not set. Missing or
    // unreadable files give empty roots.
    static CRegistryView FromWinePrefix();
    static CRegistryView FromWinePrefix(const std::string& prefixFolder);

    void SetRoot(ERegistryRoot root, std::string_view fileText);

    // The key at path under root, e.g. "Software\Qualcomm\Eudora\CommandLine"; not open when
    // missing.
    CRegistryKey Open(ERegistryRoot root, std::string_view path) const;

private:
    std::shared_ptr<const CRegistryHive> m_LocalMachine;
    std::shared_ptr<const CRegistryHive> m_CurrentUser;
};

// $WINEPREFIX, or ~/.wine when that is empty. Without a trailing '/'.
std::string GetWinePrefixFolder();

}  // namespace sieveclaw
