// Message boxes.
#pragma once

#include "windefs.h"

/// Shows a modal box with `text`, the program's name as caption (string AFX_IDS_APP_TITLE when the
/// program registered one, else the executable's name) and the buttons of `type` (MB_OK: OK only),
/// running a nested message loop until it is closed. Returns the button chosen (IDOK for MB_OK).
/// `helpId` is accepted and ignored.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
