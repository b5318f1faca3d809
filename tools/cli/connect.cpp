// korvane-cli probe and dump, and the connection step every board command shares.
#include "connect.h"

#include "BoardLink.h"
#include "COMLINK.h"

namespace cli {
namespace {

std::FILE* s_dumpOut = nullptr;

void PrintDumpLine(const char* line) {
    std::fprintf(s_dumpOut, "%s\n", line);
}

} // namespace

int ConnectOrExplain(int com, std::FILE* err) {
    int result = ConnectBoard(com);
    if (result == CONNECT_OK) return result;
    std::fprintf(err, "%s\n", ConnectMessage(result));
    if (result != CONNECT_OPEN_FAILED) return result;
    // Whatever of the port is still open goes first: the hint may try the device itself, and on
    // Windows our own handle would make it look held by another program.
    DisconnectBoard();
    std::fprintf(err, "korvane-cli: %s\n", OpenFailureHint(com).c_str());
    return result;
}

int ProbeBoard(int com, std::FILE* out, std::FILE* err) {
    int result = ConnectOrExplain(com, err);
    if (result == CONNECT_OK) std::fprintf(out, "connected on COM%d at %d baud\n", com, ConnectedBaud());
    DisconnectBoard();
    return result;
}

int DumpPort(int com, std::FILE* out, std::FILE* err) {
    int result = ConnectOrExplain(com, err);
    if (result != CONNECT_OPEN_FAILED && g_pPort) {
        s_dumpOut = out;
        g_pPort->DumpState(PrintDumpLine);
    }
    DisconnectBoard();
    return result;
}

} // namespace cli
