// Runs a fuzz target once over every file given and every file in every folder given (in name
// order), as CTest's replay of a seed corpus. A target reports a finding by aborting, as it does
// under libFuzzer; an empty corpus is a mistake and fails too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i)
        fs::is_directory(argv[i]) ? files.insert(files.end(), fs::directory_iterator(argv[i]), {})
                                  : files.insert(files.end(), fs::path(argv[i]));
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string bytes =
            (std::ostringstream() << std::ifstream(file, std::ios::binary).rdbuf()).str();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return files.empty() ? 1 : 0;
}
