// Names of the Windows window system that the window framework uses. On Windows they are the
// system's own, from <windows.h>; only the framework's command ids are added here. As in every
// Windows program, the A/W macros of <windows.h> rename some framework members the same way in
// every file (SendMessage becomes SendMessageA), which changes nothing for their callers.
#pragma once

#include <windows.h>

#include <cstdint>

// Framework command ids.
#define ID_HELP 0xE146
#define AFX_IDS_APP_TITLE 0xE000
