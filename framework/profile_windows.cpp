// Profile access on Windows: the private-profile functions on %APPDATA%\<name>.INI, one file per
// user. Until that file exists, reading falls back to the folderless <name>.INI, which the
// private-profile functions look for in the Windows folder, where earlier installations kept it.
// That file is only ever read: an ordinary user may not write the Windows folder, and a write
// refused there would be lost without a word.
#include "profile.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace profile {
namespace {

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The name without its folder: where the private-profile functions look in the Windows folder.
std::string FolderlessName(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int ReadInt(const std::string& path, const char* section, const char* key, int def) {
    if (path.empty()) return def;
    const std::string from = FileExists(path) ? path : FolderlessName(path);
    char raw[64] = "";
    GetPrivateProfileStringA(section, key, "", raw, sizeof raw, from.c_str());
    int value = def;
    return ParseValue(raw, &value) ? value : def;
}

bool WriteInt(const std::string& path, const char* section, const char* key, int value) {
    if (path.empty()) return false;
    const size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos) CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    return WritePrivateProfileStringA(section, key, std::to_string(value).c_str(), path.c_str()) != FALSE;
}

std::string PathFor(const std::string& name) {
    // Without a roaming folder there is no per-user profile: reads give the defaults, writes fail.
    const char* appData = std::getenv("APPDATA");
    return appData && *appData ? std::string(appData) + "\\" + name + ".INI" : std::string();
}

} // namespace profile
