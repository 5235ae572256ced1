// Kernel handles of the simulated machine (files, find handles, processes, tokens, snapshots).
// Each object knows its kind, so an API given a handle of the wrong kind fails with
// ERROR_INVALID_HANDLE as Windows does.
#pragma once
#include <memory>

#include "simwin/base.h"

namespace sim {

class HandleObject {
  public:
    virtual ~HandleObject() = default;
    virtual const char* kind() const = 0;
};

// Hands out a new handle for `object`; never null and never INVALID_HANDLE_VALUE.
HANDLE AddHandle(std::unique_ptr<HandleObject> object);

// The object behind `handle` if it is open and of type T, else null (last error untouched).
HandleObject* LookupHandle(HANDLE handle);
template <class T>
T* LookupHandleAs(HANDLE handle) {
    return dynamic_cast<T*>(LookupHandle(handle));
}

// Closes `handle`; false if it was not open.
bool RemoveHandle(HANDLE handle);

}  // namespace sim
