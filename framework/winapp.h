// CWinApp: the one application object. The program defines exactly one global instance of its
// CWinApp-derived class; the framework's entry point (AfxWinMain, called by the framework's main)
// starts the window system, calls InitInstance once and ends the process when it returns FALSE.
#pragma once

#include "cmdtarget.h"
#include "cstring.h"
#include "windefs.h"

#include <string>

class CWnd;

class CWinApp : public CCmdTarget {
public:
    /// Registers this object as the application (the last one constructed wins; destroying it
    /// brings back the one before).
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    /// The main window (set by the program); message boxes without an owner belong to it. The
    /// framework clears it when that window is destroyed, and when its object is.
    CWnd* m_pMainWnd = nullptr;
    /// Set by the framework when the main window's dialog could not be built (its template is not
    /// registered): AfxWinMain then exits with 1 where ExitInstance says 0, so the failure does not
    /// pass for success.
    BOOL m_bMainWndFailed = FALSE;
    /// Executable name without folder and extension, e.g. "korvane".
    std::string m_strExeName;
    /// Profile file: `$XDG_CONFIG_HOME/<m_strExeName>.INI` (Windows: `%APPDATA%\<m_strExeName>.INI`).
    std::string m_strProfileName;

    /// Runs once at start-up; FALSE ends the program (the usual case for a dialog program).
    virtual BOOL InitInstance() { return FALSE; }
    /// Runs when the program ends; returns the process exit code (0).
    virtual int ExitInstance() { return 0; }
    /// Command ID_HELP: there is no help system on this platform, so nothing happens.
    void OnHelp() {}

    /// The integer under `section`/`key` of the profile, `def` when missing or not a decimal integer.
    UINT GetProfileInt(const char* section, const char* key, int def);
    /// Writes `value` as decimal text; FALSE when the profile could not be written (it is then unchanged).
    BOOL WriteProfileInt(const char* section, const char* key, int value);
    /// Icon resource `id` (the same handle for every call), or null when it is not registered or
    /// malformed (a line on stderr says which).
    HICON LoadIcon(UINT id) const;
    /// Nothing to do on this platform (controls are drawn by the window system).
    void Enable3dControlsStatic() {}

    /// Sets the executable name and the profile path from it (the entry point calls it with argv[0]).
    void SetExeName(const std::string& name);

private:
    CWinApp* m_pPreviousApp;
};

/// The application object, or null before it is constructed.
CWinApp* AfxGetApp();
/// Nothing to do on this platform: there are no embedded controls to host.
void AfxEnableControlContainer(void* manager = nullptr);
/// The framework's entry point: starts the window system, calls InitInstance, and returns the exit
/// code: ExitInstance's, or 1 with a message on stderr when there is no application object or no
/// display, or when the main window's dialog template was missing (m_bMainWndFailed).
int AfxWinMain(int argc, char** argv);
/// Prepares the window system for the framework (message-box handler behind MessageBoxA, focus
/// source, no quitting when the last window closes; on Windows the common controls). AfxWinMain
/// calls it; a test that makes its own QApplication calls it once after that.
void AfxInitPlatform();
/// Executable name without folder and extension: from /proc/self/exe (Windows: the module file
/// name), else from `argv0`.
std::string AfxExecutableName(const char* argv0);
/// The start shared by both systems' AfxWinMain: the application object, named after the executable;
/// null, with a line on stderr saying what to do, when the program defines none.
CWinApp* AfxNamedApp(int argc, char** argv);
