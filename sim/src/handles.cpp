#include "handles.h"

#include <unordered_map>

namespace sim {
namespace {

struct Table {
    std::unordered_map<uintptr_t, std::unique_ptr<HandleObject>> objects;
    uintptr_t next = 0x100;
};

Table& T() {
    static auto* table = new Table;
    return *table;
}

}  // namespace

HANDLE AddHandle(std::unique_ptr<HandleObject> object) {
    Table& t = T();
    // Kernel handles are multiples of four, as on Windows; never reuse a closed value, so a
    // stale handle fails instead of reaching a new object.
    uintptr_t value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

HandleObject* LookupHandle(HANDLE handle) {
    auto it = T().objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == T().objects.end() ? nullptr : it->second.get();
}

bool RemoveHandle(HANDLE handle) {
    auto it = T().objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == T().objects.end()) {
        return false;
    }
    // Destroy outside the map: an object's destructor may itself touch the table.
    std::unique_ptr<HandleObject> object = std::move(it->second);
    T().objects.erase(it);
    object.reset();
    return true;
}

}  // namespace sim
