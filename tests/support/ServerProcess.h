#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace sieveclaw::test {

// Starts words[0] with the arguments words[1..] as a server for one test: standard input from
// /dev/null, standard output and error into stderrPath, default signal handling, no inherited
// descriptors, and ended with SIGTERM when the test process dies without stopping it. The
// child's pid, or -1 with error set.
pid_t SpawnServerProcess(std::vector<std::string> words, const std::string& stderrPath, std::string& error);

}  // namespace sieveclaw::test
