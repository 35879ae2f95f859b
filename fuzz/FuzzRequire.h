#pragma once

#include <cstdlib>

// A property every input must keep; a broken one stops the run as a crash, so the fuzzer keeps
// the input that showed it.
inline void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}
