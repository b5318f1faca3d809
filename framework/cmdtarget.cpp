#include "cmdtarget.h"

const MessageMap* CCmdTarget::ThisMessageMap() {
    static const MessageMap map{nullptr, {}};
    return &map;
}

BOOL CCmdTarget::OnCmdMsg(UINT id, UINT code) {
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageMapEntry& e : map->entries) {
            if (e.message == WM_COMMAND && e.id == id && e.code == code && e.handler) {
                (this->*e.handler)();
                return TRUE;
            }
        }
    }
    return FALSE;
}

BOOL CCmdTarget::ClaimsMessage(UINT message) const {
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageMapEntry& e : map->entries) {
            if (e.message == message) return TRUE;
        }
    }
    return FALSE;
}
