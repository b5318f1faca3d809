// korvane-cli's command line from arbitrary words: whatever it is given, it ends with one of its
// exit codes, and a usage error is one line on standard error. Every COM name leads nowhere here (a
// private configuration directory whose links dangle, laid anew for each input), so commands that
// reach a port fail at once instead of touching a device.
#include "fuzz_check.h"

#include "cli.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The private configuration directory, made once.
const std::string& ConfigHome() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/korvane-fuzz-cli-XXXXXX";
        std::string made = mkdtemp(pattern) ? pattern : "/nonexistent";
        setenv("XDG_CONFIG_HOME", made.c_str(), 1);
        return made;
    }();
    return dir;
}

// COM1..COM16 all dangle (map may have pointed one elsewhere during the last input).
void LayDanglingLinks() {
    namespace fs = std::filesystem;
    fs::path devices = fs::path(ConfigHome()) / "korvane" / "devices";
    std::error_code error;
    fs::remove_all(devices, error);
    fs::create_directories(devices, error);
    for (int com = 1; com <= 16; ++com)
        fs::create_symlink("/nonexistent/tty", devices / ("COM" + std::to_string(com)), error);
}

int Lines(std::FILE* file) {
    std::rewind(file);
    int lines = 0;
    for (int c; (c = std::fgetc(file)) != EOF;) lines += c == '\n';
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LayDanglingLinks();
    // Words are separated by zero bytes; at most 8 of them.
    std::vector<std::string> words{"korvane-cli"};
    std::string input(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0; start <= input.size() && words.size() < 9;) {
        size_t end = std::min(input.find('\0', start), input.size());
        words.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int status = cli::RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    FUZZ_CHECK(status == 0 || status == 1 || status == 2 || status == 3 || status == 64);
    if (status == 64) FUZZ_CHECK(Lines(err) == 1);
    std::fclose(out);
    std::fclose(err);
    return 0;
}
