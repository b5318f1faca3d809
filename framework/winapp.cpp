#include "winapp.h"

#include "profile.h"

#include <climits>
#include <unistd.h>

namespace {

CWinApp* g_pApp = nullptr;

std::string BaseWithoutExtension(const std::string& path) {
    std::string base = path.substr(path.rfind('/') + 1);
    size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

} // namespace

CWinApp::CWinApp() : m_pPreviousApp(g_pApp) {
    g_pApp = this;
    SetExeName(AfxExecutableName(nullptr));
}

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = m_pPreviousApp;
}

void CWinApp::SetExeName(const std::string& name) {
    m_strExeName = name.empty() ? "program" : name;
    m_strProfileName = profile::PathFor(m_strExeName);
}

UINT CWinApp::GetProfileInt(const char* section, const char* key, int def) {
    return static_cast<UINT>(profile::ReadInt(m_strProfileName, section, key, def));
}

BOOL CWinApp::WriteProfileInt(const char* section, const char* key, int value) {
    return profile::WriteInt(m_strProfileName, section, key, value);
}

CWinApp* AfxGetApp() {
    return g_pApp;
}

void AfxEnableControlContainer(void*) {}

std::string AfxExecutableName(const char* argv0) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) return BaseWithoutExtension(std::string(exe, static_cast<size_t>(n)));
    return argv0 ? BaseWithoutExtension(argv0) : std::string();
}
