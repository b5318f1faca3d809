// Message maps. A class says which window messages and which button commands it handles ("claims")
// in a small table; what it does not claim goes to its base class's table and, when no class claims
// it, to the window's default processing. Window messages are handled by the virtual handlers of
// CWnd (OnTimer, OnPaint, ...): the table only says that the class wants them. Commands name the
// member function to run.
//
//   const MessageMap* CMyDlg::GetMessageMap() const {
//       static const MessageMapEntry entries[] = {
//           {WM_TIMER},
//           CommandEntry(IDCANCEL, &CMyDlg::OnStop),
//       };
//       static const MessageMap map{CDialog::ThisMessageMap(), entries};
//       return &map;
//   }
#pragma once

#include "windefs.h"

#include <span>

class CCmdTarget;
/// A command handler: a member function without arguments of a CCmdTarget-derived class.
using CmdHandler = void (CCmdTarget::*)();

struct MessageMapEntry {
    UINT message;                 ///< WM_TIMER, WM_PAINT, WM_SYSCOMMAND, WM_QUERYDRAGICON or WM_COMMAND
    UINT id = 0;                  ///< WM_COMMAND: the control or command id
    CmdHandler handler = nullptr; ///< WM_COMMAND: the member to run
    UINT code = BN_CLICKED;       ///< WM_COMMAND: the notification code
};

struct MessageMap {
    const MessageMap* base; ///< the base class's map; null at the root
    std::span<const MessageMapEntry> entries;
};

/// A map entry that runs `handler` when button `id` is clicked (or command `id` is sent).
template <typename T> constexpr MessageMapEntry CommandEntry(UINT id, void (T::*handler)()) {
    return MessageMapEntry{WM_COMMAND, id, static_cast<CmdHandler>(handler), BN_CLICKED};
}

/// Root of everything that has a message map.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    /// This class's message map (each class with a map overrides it).
    virtual const MessageMap* GetMessageMap() const { return ThisMessageMap(); }
    /// The root map: claims nothing.
    static const MessageMap* ThisMessageMap();
    /// Runs the handler that the map chain names for command `id` with `code`; FALSE when none does.
    BOOL OnCmdMsg(UINT id, UINT code);
    /// TRUE when the map chain claims window message `message`.
    BOOL ClaimsMessage(UINT message) const;
};
