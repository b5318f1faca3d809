// The board-session fixture now lives in tests/common; this name stays for the suites that include it.
#pragma once

#include "../common/board_session.h"
