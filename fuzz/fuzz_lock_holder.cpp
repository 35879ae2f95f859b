// The data folder's lock file over arbitrary bytes (a file anyone may have edited): no crash, a
// process id that is never negative, and a holder's name of one line that follows a blank.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/DataFolderLock.h"
#include "fuzz/FuzzRequire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sieveclaw::DataFolderHolder holder = sieveclaw::ReadDataFolderHolder(text);
    Require(holder.m_ProcessId >= 0);
    Require(holder.m_Program.find('\n') == std::string::npos);
    // A name comes only after a process id and a blank.
    Require(holder.m_Program.empty() || text.find(' ') != std::string_view::npos);
    return 0;
}
