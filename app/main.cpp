// Entry point of korvane: --help and --version answer on standard output without opening a window;
// anything else starts the program (the window system takes its own options).
#include "KorvaneApp.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintHelp() {
    std::printf(
        "Usage: korvane [--help] [--version]\n"
        "\n"
        "Korvane polls the sensor board on a serial port ten times a second and shows its two tilt\n"
        "readings and two buttons (TILT) or its seven voltages (DVM).\n"
        "\n"
        "It opens the COM port that its profile names (section MyKorvaneAp, key KorvaneComPort; COM3\n"
        "when there is none) and asks for another number when the board does not answer there.\n"
        "  profile:  %s\n"
        "  COMn:     $XDG_CONFIG_HOME/korvane/devices/COMn (a link to the device) when it exists,\n"
        "            else /dev/ttyS<n-1>; korvane-cli map COMn PATH makes such a link\n"
        "\n"
        "Without a display, run it with QT_QPA_PLATFORM=offscreen.\n",
        theApp.m_strProfileName.c_str());
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            PrintHelp();
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("korvane %s\n", KORVANE_VERSION);
            return 0;
        }
    }
    return AfxWinMain(argc, argv);
}
