#include "resources.h"

#include <vector>

namespace {

// Function-local so that registration from other files' static objects finds it constructed.
std::vector<const ResourceTable*>& Tables() {
    static std::vector<const ResourceTable*> tables;
    return tables;
}

// Searches the newest table first so that a later registration overrides an earlier one.
template <typename Entry, typename Value, typename Select>
Value Find(UINT id, Select select, Value (*pick)(const Entry&)) {
    auto& tables = Tables();
    for (auto it = tables.rbegin(); it != tables.rend(); ++it) {
        for (const Entry& entry : select(**it)) {
            if (entry.id == id) return pick(entry);
        }
    }
    return nullptr;
}

} // namespace

void AfxRegisterResources(const ResourceTable& table) {
    Tables().push_back(&table);
}

const DialogTemplate* AfxFindDialogTemplate(UINT id) {
    return Find<DialogResource, const DialogTemplate*>(
        id, [](const ResourceTable& t) { return t.dialogs; },
        +[](const DialogResource& e) { return e.dialog; });
}

const IconResource* AfxFindIconResource(UINT id) {
    return Find<IconResourceEntry, const IconResource*>(
        id, [](const ResourceTable& t) { return t.icons; },
        +[](const IconResourceEntry& e) { return e.icon; });
}

const char* AfxFindString(UINT id) {
    return Find<StringResource, const char*>(
        id, [](const ResourceTable& t) { return t.strings; },
        +[](const StringResource& e) { return e.text; });
}
