// korvane-cli map and unmap on Windows: COM names are the system's own, so there is nothing to map.
#include "links.h"

#include "args.h"

namespace cli {
namespace {

int Refuse(const char* command, std::FILE* err) {
    std::fprintf(err,
                 "korvane-cli: %s is not needed on Windows: COM names are the system's own (Device Manager "
                 "shows which COM number an adapter has)\n",
                 command);
    return EXIT_USAGE;
}

} // namespace

const LinkHelp kLinkHelp{"not on Windows: COM names are the system's own", "the device",
                         "not on Windows: COM names are the system's own"};

int MapCom(int, const std::string&, std::FILE*, std::FILE* err) {
    return Refuse("map", err);
}

int UnmapCom(int, std::FILE*, std::FILE* err) {
    return Refuse("unmap", err);
}

} // namespace cli
