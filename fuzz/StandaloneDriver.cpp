// Runs a fuzz target without libFuzzer: every file named on the command line (directories are
// read one level deep, in name order), then deterministic mutations of those files. The same
// inputs come out on every run and every machine, so a failure here reproduces exactly.
//
//   fuzz_target [-mutations=N] [-v] <file or directory>...
//
// -v names each input before it runs, so the last name printed before a crash is the culprit.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

struct Sample {
    std::string m_Name;
    Bytes m_Data;
};

// splitmix64: small, fast and the same everywhere (the standard distributions are not).
class CRandom {
public:
    explicit CRandom(std::uint64_t sample) : m_State(sample) {}

    std::uint64_t Next() {
        std::uint64_t z = (m_State += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform enough in [0, bound); 0 when bound is 0.
    std::size_t Below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(Next() % bound); }

private:
    std::uint64_t m_State;
};

bool ReadFile(const fs::path& path, Bytes& data) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        return false;
    }
    data.clear();
    std::uint8_t buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        data.insert(data.end(), buffer, buffer + got);
    }
    return std::ferror(file.get()) == 0;
}

// Bytes that make parsers of mail and protocol text change course.
// clang-format off
constexpr std::string_view kTokens[] = {"\r\n", "\n", "\r\n.\r\n", "@", "<", ">", " ", "\t", ":", "+OK ", "-ERR ",
                                        "To:", "FROM:", "Subject:", "\nDate:", "STLS", std::string_view("\0", 1)};
// clang-format on

Bytes Mutate(const std::vector<Sample>& samples, CRandom& random, std::string& how) {
    const Sample& base = samples[random.Below(samples.size())];
    Bytes data = base.m_Data;
    how = base.m_Name;
    const std::size_t steps = 1 + random.Below(4);
    for (std::size_t step = 0; step < steps; ++step) {
        switch (random.Below(6)) {
            case 0: {  // truncate
                data.resize(random.Below(data.size() + 1));
                how += " truncated";
                break;
            }
            case 1: {  // flip a few bytes
                for (std::size_t n = 1 + random.Below(8); n > 0 && !data.empty(); --n) {
                    data[random.Below(data.size())] ^= static_cast<std::uint8_t>(1 + random.Below(255));
                }
                how += " flipped";
                break;
            }
            case 2: {  // splice: the head of this input, the tail of another
                const Bytes& other = samples[random.Below(samples.size())].m_Data;
                data.resize(random.Below(data.size() + 1));
                const std::size_t from = random.Below(other.size() + 1);
                data.insert(data.end(), other.begin() + static_cast<std::ptrdiff_t>(from), other.end());
                how += " spliced";
                break;
            }
            case 3: {  // insert a token
                const std::string_view token = kTokens[random.Below(std::size(kTokens))];
                const std::size_t at = random.Below(data.size() + 1);
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), token.begin(), token.end());
                how += " token";
                break;
            }
            case 4: {  // repeat a stretch many times: long lines, deep runs of one byte
                if (data.empty()) {
                    break;
                }
                const std::size_t from = random.Below(data.size());
                const std::size_t length = 1 + random.Below(std::min<std::size_t>(data.size() - from, 64));
                const Bytes stretch(data.begin() + static_cast<std::ptrdiff_t>(from),
                                    data.begin() + static_cast<std::ptrdiff_t>(from + length));
                const std::size_t times = 1 + random.Below(2000);
                Bytes repeated;
                repeated.reserve(stretch.size() * times);
                for (std::size_t i = 0; i < times; ++i) {
                    repeated.insert(repeated.end(), stretch.begin(), stretch.end());
                }
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(from), repeated.begin(), repeated.end());
                how += " repeated";
                break;
            }
            default: {  // erase a stretch
                if (data.empty()) {
                    break;
                }
                const std::size_t from = random.Below(data.size());
                const std::size_t length = 1 + random.Below(data.size() - from);
                data.erase(data.begin() + static_cast<std::ptrdiff_t>(from),
                           data.begin() + static_cast<std::ptrdiff_t>(from + length));
                how += " erased";
                break;
            }
        }
    }
    return data;
}

// An allocation of exactly the input's size, so that a sanitizer sees any read past its end.
void RunOne(const Bytes& data, const std::string& name, bool verbose) {
    if (verbose) {
        std::fprintf(stderr, "running %s (%zu bytes)\n", name.c_str(), data.size());
        std::fflush(stderr);
    }
    const auto copy = std::make_unique<std::uint8_t[]>(data.size());
    std::copy(data.begin(), data.end(), copy.get());
    LLVMFuzzerTestOneInput(copy.get(), data.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t mutations = 4000;
    bool verbose = false;
    std::vector<fs::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-v") {
            verbose = true;
        } else if (argument.starts_with("-mutations=")) {
            mutations = std::strtoull(argv[i] + 11, nullptr, 10);
        } else if (argument.starts_with("-")) {
            std::fprintf(stderr, "ignoring option %s\n", argv[i]);
        } else {
            paths.emplace_back(argument);
        }
    }

    std::vector<Sample> samples;
    for (const fs::path& path : paths) {
        std::error_code error;
        std::vector<fs::path> files;
        if (fs::is_directory(path, error)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
                if (entry.is_regular_file(error)) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(path);
        }
        for (const fs::path& file : files) {
            Sample sample{file.filename().string(), {}};
            if (!ReadFile(file, sample.m_Data)) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 2;
            }
            samples.push_back(std::move(sample));
        }
    }
    if (samples.empty()) {
        std::fprintf(stderr, "usage: %s [-mutations=N] [-v] <sample file or directory>...\n", argv[0]);
        return 2;
    }

    for (const Sample& sample : samples) {
        RunOne(sample.m_Data, sample.m_Name, verbose);
    }
    RunOne({}, "empty input", verbose);
    CRandom random(0x5EC1A7);
    std::string how;
    for (std::size_t i = 0; i < mutations; ++i) {
        const Bytes data = Mutate(samples, random, how);
        RunOne(data, "mutation " + std::to_string(i) + ": " + how, verbose);
    }
    std::printf("%zu samples and %zu mutations ran without a fault\n", samples.size(), mutations);
    return 0;
}
