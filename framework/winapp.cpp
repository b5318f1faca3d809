#include "winapp.h"

#include "profile.h"

#include <cstdio>

namespace {

CWinApp* g_pApp = nullptr;

} // namespace

CWinApp* AfxNamedApp(int argc, char** argv) {
    std::string name = AfxExecutableName(argc > 0 ? argv[0] : nullptr);
    if (!g_pApp) {
        std::fprintf(stderr, "%s: no application object (define one global object of a CWinApp class)\n",
                     name.c_str());
        return nullptr;
    }
    g_pApp->SetExeName(name);
    return g_pApp;
}

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
