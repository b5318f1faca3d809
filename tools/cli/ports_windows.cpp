// korvane-cli ports on Windows: the COM names the system has, from its DOS device names and from the
// serial ports its drivers registered.
#include "ports.h"

#include "args.h"

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

namespace cli {
namespace {

// The highest COM number Windows gives.
constexpr int kHighestCom = 256;

// COM number -> what it leads to.
using PortMap = std::map<int, std::string>;

// The number of "COMn" (any case); 0 for any other name.
int ComNumberOf(const char* name) {
    if (_strnicmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9') return 0;
    char* end = nullptr;
    const long number = std::strtol(name + 3, &end, 10);
    return *end == '\0' && number <= kHighestCom ? static_cast<int>(number) : 0;
}

// The names of the DOS device namespace: COM3 -> \Device\Serial2 and the like.
void AddDosDevices(PortMap* ports) {
    char target[1024];
    for (int com = 1; com <= kHighestCom; ++com) {
        const std::string name = "COM" + std::to_string(com);
        if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) (*ports)[com] = target;
    }
}

// The ports the serial drivers registered: each value is named after the device and holds its COM
// name. A name already found keeps its DOS device.
void AddRegistered(PortMap* ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char device[256];
        char com[32] = {};
        DWORD deviceSize = sizeof device;
        DWORD comSize = sizeof com - 1; // room for the end the value may lack
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, device, &deviceSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(com), &comSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        const int number = result == ERROR_SUCCESS && type == REG_SZ ? ComNumberOf(com) : 0;
        if (number > 0) ports->emplace(number, device);
    }
    RegCloseKey(key);
}

// Under Wine a COM port is a link in the prefix's dosdevices folder, and the system lists it only
// when it was there as Wine started; it opens all the same. So the program's own numbers that no
// list holds are tried. On Windows every name that opens is listed, so these attempts fail at once
// and touch nothing.
void AddUnlisted(PortMap* ports) {
    for (int com = kFirstCom; com <= kLastCom; ++com) {
        if (ports->count(com) != 0) continue;
        const std::string name = "\\\\.\\COM" + std::to_string(com);
        const HANDLE handle =
            CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) continue;
        CloseHandle(handle);
        (*ports)[com] = "not listed by the system, but it opens (a Wine dosdevices link)";
    }
}

} // namespace

const char* const kPortsAbout = "the COM ports this system has, and where they lead";

int ListPorts(std::FILE* out, std::FILE*) {
    PortMap ports;
    AddDosDevices(&ports);
    AddRegistered(&ports);
    AddUnlisted(&ports);
    std::fprintf(out, "COM ports of this system:%s\n", ports.empty() ? " none" : "");
    for (const auto& [com, where] : ports) {
        const char* note = com > kLastCom ? " (the program opens COM1 to COM16 only)" : "";
        std::fprintf(out, "COM%-4d %s%s\n", com, where.c_str(), note);
    }
    return EXIT_OK;
}

} // namespace cli
