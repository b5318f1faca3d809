// korvane-cli ports on POSIX: where COM1..COM16 lead (the links of the device directory, else
// /dev/ttyS<n-1>), and the serial devices sysfs shows.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

/// Where one COM name leads.
struct ComRoute {
    enum Kind { Default, Link, Dangling };
    int com = 0;
    Kind kind = Default;
    std::string path;     ///< the device directory's entry, or /dev/ttyS<n-1>
    std::string target;   ///< Link, Dangling: what the link holds
    std::string resolved; ///< every link followed; empty when the path leads nowhere
};

/// COM1..COM16 as the program opens them (through the device directory of XDG_CONFIG_HOME).
std::vector<ComRoute> ComRoutes();

/// One serial device that is present.
struct SerialDevice {
    std::string path;                                               ///< <dev>/ttyUSB0 ...
    std::vector<std::string> ids;                                   ///< its <dev>/serial/by-id names
    std::string kind;                                               ///< "USB", "UART" ...
    std::string vendorId, productId, manufacturer, product, serial; ///< USB, where sysfs has them
    std::string latencyTimer; ///< an FTDI adapter's latency timer in ms: how long it holds received bytes
};

/// The ttyUSB, ttyACM and (with a real UART) ttyS devices that `sys`/class/tty lists, with their
/// USB descriptions and the names `dev`/serial/by-id gives them, sorted by path.
std::vector<SerialDevice> SerialDevices(const std::string& dev = "/dev", const std::string& sys = "/sys");

/// Writes the COM routes, then the devices, one line each (by-id names on lines of their own).
void PrintPorts(const std::vector<ComRoute>& routes, const std::vector<SerialDevice>& devices,
                std::FILE* out);

} // namespace cli
