#include "ports_posix.h"

#include "ports.h"

#include "args.h"
#include "serial_line_posix.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace cli {
namespace {

// The kinds of serial device by name; ttyS names need a real UART behind them as well.
struct DeviceFamily {
    const char* prefix;
    const char* kind;
    bool needsUart;
};
constexpr DeviceFamily kFamilies[] = {
    {"ttyUSB", "USB", false},
    {"ttyACM", "USB ACM", false},
    {"ttyS", "UART", true},
};

// The first line of a sysfs attribute; empty when there is none.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string RealPath(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : std::string();
}

// The USB device above a tty in sysfs: the first ancestor of its "device" that has idVendor.
void AddUsbDescription(const fs::path& ttyDir, SerialDevice* device) {
    std::error_code error;
    fs::path dir = fs::canonical(ttyDir / "device", error);
    for (int depth = 0; !error && depth < 8 && dir.has_relative_path(); ++depth, dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", error)) continue;
        device->vendorId = Attribute(dir / "idVendor");
        device->productId = Attribute(dir / "idProduct");
        device->manufacturer = Attribute(dir / "manufacturer");
        device->product = Attribute(dir / "product");
        device->serial = Attribute(dir / "serial");
        return;
    }
}

// The device for tty `name`, or false when the name is no serial device of ours.
bool MakeDevice(const std::string& name, const fs::path& ttyDir, const std::string& dev,
                SerialDevice* device) {
    for (const DeviceFamily& family : kFamilies) {
        if (name.rfind(family.prefix, 0) != 0) continue;
        // A ttyS without a UART (type 0, "unknown") is only a placeholder of the driver.
        const std::string type = family.needsUart ? Attribute(ttyDir / "type") : "";
        if (family.needsUart && (type.empty() || type == "0")) return false;
        device->path = dev + "/" + name;
        device->kind = family.kind;
        AddUsbDescription(ttyDir, device);
        // Only the FTDI driver has it: the adapter sends what it received after this long at most.
        device->latencyTimer = Attribute(ttyDir / "device" / "latency_timer");
        return true;
    }
    return false;
}

// Adds the by-id names to the devices they lead to.
void AddIds(const std::string& dev, std::vector<SerialDevice>* devices) {
    std::error_code listError;
    for (const fs::directory_entry& entry : fs::directory_iterator(dev + "/serial/by-id", listError)) {
        std::error_code error;
        std::string target = fs::read_symlink(entry.path(), error).filename().string();
        for (SerialDevice& device : *devices) {
            if (!error && fs::path(device.path).filename() == target)
                device.ids.push_back(entry.path().string());
        }
    }
    for (SerialDevice& device : *devices) std::sort(device.ids.begin(), device.ids.end());
}

std::string Describe(const SerialDevice& device) {
    std::string text = device.kind;
    if (!device.vendorId.empty()) text += " " + device.vendorId + ":" + device.productId;
    for (const std::string* part : {&device.manufacturer, &device.product})
        if (!part->empty()) text += " " + *part;
    if (!device.serial.empty()) text += ", serial " + device.serial;
    if (!device.latencyTimer.empty()) text += ", latency timer " + device.latencyTimer + " ms";
    return text;
}

// What a COM route's device is: its description when present, else why it is not usable.
std::string RouteNote(const ComRoute& route, const std::vector<SerialDevice>& devices) {
    if (route.kind == ComRoute::Dangling)
        return "not there: plug it in or korvane-cli unmap COM" + std::to_string(route.com);
    if (route.resolved.empty()) return "missing";
    for (const SerialDevice& device : devices)
        if (RealPath(device.path) == route.resolved) return Describe(device);
    return route.kind == ComRoute::Default ? "no serial device" : "";
}

} // namespace

std::vector<ComRoute> ComRoutes() {
    std::vector<ComRoute> routes;
    for (int com = kFirstCom; com <= kLastCom; ++com) {
        ComRoute route;
        route.com = com;
        route.path = win32posix::ComDevicePath(com);
        route.resolved = RealPath(route.path);
        std::error_code error;
        if (fs::is_symlink(fs::symlink_status(route.path, error))) {
            route.target = fs::read_symlink(route.path, error).string();
            route.kind = route.resolved.empty() ? ComRoute::Dangling : ComRoute::Link;
        }
        routes.push_back(route);
    }
    return routes;
}

std::vector<SerialDevice> SerialDevices(const std::string& dev, const std::string& sys) {
    std::vector<SerialDevice> devices;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(sys + "/class/tty", error)) {
        SerialDevice device;
        if (MakeDevice(entry.path().filename().string(), entry.path(), dev, &device))
            devices.push_back(device);
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    AddIds(dev, &devices);
    return devices;
}

void PrintPorts(const std::vector<ComRoute>& routes, const std::vector<SerialDevice>& devices,
                std::FILE* out) {
    static const char* const kKinds[] = {"default", "link", "dangling"};
    std::fprintf(out, "COM links in %s (korvane-cli map COMn PATH):\n",
                 win32posix::ComDeviceDirectory().c_str());
    for (const ComRoute& route : routes) {
        std::string where = route.kind == ComRoute::Default ? route.path : route.target;
        if (route.kind == ComRoute::Link && route.resolved != route.target) where += " -> " + route.resolved;
        std::string note = RouteNote(route, devices);
        if (!note.empty()) where += " (" + note + ")";
        std::fprintf(out, "COM%-4d %-9s %s\n", route.com, kKinds[route.kind], where.c_str());
    }
    std::fprintf(out, "Serial devices present:%s\n", devices.empty() ? " none" : "");
    for (const SerialDevice& device : devices) {
        std::fprintf(out, "%-14s %s\n", device.path.c_str(), Describe(device).c_str());
        for (const std::string& id : device.ids) std::fprintf(out, "%-14s %s\n", "", id.c_str());
    }
}

const char* const kPortsAbout = "where COM1..COM16 lead; the serial devices present";

int ListPorts(std::FILE* out, std::FILE*) {
    PrintPorts(ComRoutes(), SerialDevices(), out);
    return EXIT_OK;
}

} // namespace cli
