#include "core/DataFileDamage.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "core/TextFile.h"

namespace sieveclaw {

namespace {

struct CLoadMemory {
    // Protects m_Damaged.
    std::mutex m_Lock;
    std::map<std::string, DataFileDamage> m_Damaged;
};

CLoadMemory& LoadMemory() {
    static CLoadMemory memory;
    return memory;
}

}  // namespace

std::string DamageText(const DataFileDamage& damage) {
    std::string text = damage.m_Path;
    if (damage.m_Line > 0) {
        text += ", line " + std::to_string(damage.m_Line);
    }
    return text + ": " + damage.m_What;
}

std::string RefusedSaveText(const DataFileDamage& damage) {
    return DamageText(damage) +
           ". Nothing was written to it, so that what it holds is not lost: repair the file or move it away, "
           "then try again.";
}

EDataFileRead ReadDataFile(const std::string& path, std::string& bytes, DataFileDamage& damage) {
    if (ReadFileBytes(path, bytes)) {
        bytes.erase(0, bytes.size() - WithoutByteOrderMark(bytes).size());
        return EDataFileRead::kRead;
    }
    if (errno == ENOENT || errno == ENOTDIR) {
        return EDataFileRead::kMissing;
    }
    damage = {path, 0, std::string("it cannot be read (") + std::strerror(errno) + ")"};
    return EDataFileRead::kUnreadable;
}

void NoteLoadedFile(const std::string& path, const std::optional<DataFileDamage>& damage) {
    CLoadMemory& memory = LoadMemory();
    const std::lock_guard lock(memory.m_Lock);
    if (damage) {
        memory.m_Damaged[path] = *damage;
    } else {
        memory.m_Damaged.erase(path);
    }
}

std::optional<DataFileDamage> DamageBlockingSave(const std::string& path, const FindTextDamage& findDamage) {
    {
        CLoadMemory& memory = LoadMemory();
        const std::lock_guard lock(memory.m_Lock);
        if (const auto found = memory.m_Damaged.find(path); found != memory.m_Damaged.end()) {
            return found->second;
        }
    }
    std::string bytes;
    DataFileDamage damage;
    switch (ReadDataFile(path, bytes, damage)) {
        case EDataFileRead::kMissing:
            return std::nullopt;
        case EDataFileRead::kUnreadable:
            return damage;
        case EDataFileRead::kRead:
            break;
    }
    std::optional<DataFileDamage> found = findDamage ? findDamage(bytes) : std::nullopt;
    if (found) {
        found->m_Path = path;
    }
    return found;
}

SaveResult SaveDataFile(const std::string& path, std::string_view bytes, unsigned mode,
                        const FindTextDamage& findDamage) {
    if (const std::optional<DataFileDamage> damage = DamageBlockingSave(path, findDamage)) {
        errno = EPERM;
        return {false, RefusedSaveText(*damage)};
    }
    if (!WriteFileAtomically(path, bytes, mode)) {
        const int error = errno;
        SaveResult result{false, "cannot write " + path + ": " + std::strerror(error)};
        errno = error;
        return result;
    }
    return {true, {}};
}

}  // namespace sieveclaw
