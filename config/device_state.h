// Enabling, disabling and unloading the present device of a configuration record. The state
// change goes to SetupAPI's default property-change handler directly; the class installer is
// never called. The exported operations are declared in boardkit/operations.h.
#pragma once
#include <cstdint>

#include "platform/win32.h"

// The state changes the operations make, as (StateChange, Scope) pairs.
struct DeviceStateChange {
    DWORD stateChange;
    DWORD scope;
};
constexpr DeviceStateChange kEnableGlobally = {DICS_ENABLE, DICS_FLAG_GLOBAL};
constexpr DeviceStateChange kEnableHere = {DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC};
constexpr DeviceStateChange kDisableHere = {DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC};

// The install-parameter flags that tell a change waits for a restart.
constexpr DWORD kRestartFlags = DI_NEEDRESTART | DI_NEEDREBOOT;
