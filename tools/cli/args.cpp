#include "args.h"

#include <strings.h>

namespace cli {

int ParseComNumber(const std::string& text) {
    size_t at = strncasecmp(text.c_str(), "COM", 3) == 0 ? 3 : 0;
    // At most two digits: "0003" would otherwise be COM3 as well.
    if (text.size() == at || text.size() - at > 2 || text[at] == '0') return 0;
    int number = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9') return 0;
        number = number * 10 + (text[at] - '0');
    }
    return number >= kFirstCom && number <= kLastCom ? number : 0;
}

} // namespace cli
