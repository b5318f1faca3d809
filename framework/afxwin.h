// The window framework: everything an application includes. The headers name no Qt type, so the
// application compiles against them alone and another backend can replace framework/qt/.
#pragma once

#include "windefs.h"
#include "cstring.h"
#include "resources.h"
#include "cmdtarget.h"
#include "wnd.h"
#include "dialog.h"
#include "filedlg.h"
#include "ddx.h"
#include "gdi.h"
#include "menu.h"
#include "msgbox.h"
#include "winapp.h"
