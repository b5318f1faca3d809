// korvane-cli publish on Windows: not there yet (Debian has no libmosquitto for mingw).
#include "publish.h"

namespace cli {

const char* const kPublishAbout = "not on Windows yet: publish readings to an MQTT broker";

int PublishBoard(const PollRequest&, const PublishRequest&, std::FILE* err) {
    std::fputs("korvane-cli: publish is not available on Windows yet (it needs libmosquitto)\n", err);
    return EXIT_USAGE;
}

} // namespace cli
