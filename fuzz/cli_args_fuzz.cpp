// korvane-cli's command line from arbitrary words: whatever it is given, it ends with one of its
// exit codes, and a usage error is one line on standard error. Every COM name leads nowhere here (a
// private configuration directory whose links dangle, laid anew for each input), so commands that
// reach a port fail at once instead of touching a device.
#include "fuzz_check.h"

#include "cli.h"

#include <filesystem>
#include <vector>

namespace {

// COM1..COM16 all dangle (map may have pointed one elsewhere during the last input), in a private
// configuration directory made once.
void LayDanglingLinks() {
    namespace fs = std::filesystem;
    static const fs::path devices = [] {
        char pattern[] = "/tmp/korvane-fuzz-cli-XXXXXX";
        setenv("XDG_CONFIG_HOME", mkdtemp(pattern) ? pattern : "/nonexistent", 1);
        return fs::path(std::getenv("XDG_CONFIG_HOME")) / "korvane" / "devices";
    }();
    std::error_code error;
    fs::remove_all(devices, error), fs::create_directories(devices, error);
    for (int com = 1; com <= 16; ++com)
        fs::create_symlink("/nonexistent/tty", devices / ("COM" + std::to_string(com)), error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LayDanglingLinks();
    // Words are separated by zero bytes; at most 8 of them.
    std::vector<std::string> words{"korvane-cli"};
    const std::string input = FuzzInput{data, size}.Rest();
    for (size_t start = 0, end; start <= input.size() && words.size() < 9; start = end + 1)
        end = std::min(input.find('\0', start), input.size()),
        words.push_back(input.substr(start, end - start));
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    std::FILE *out = std::tmpfile(), *err = std::tmpfile();
    const int status = cli::RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    FUZZ_CHECK(status == 0 || status == 1 || status == 2 || status == 3 || status == 64);
    int lines = 0;
    for (int c = (std::rewind(err), 0); (c = std::fgetc(err)) != EOF;) lines += c == '\n';
    FUZZ_CHECK(status != 64 || lines == 1);
    std::fclose(out), std::fclose(err);
    return 0;
}
