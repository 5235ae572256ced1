// The one entry point every simulated Win32 call goes through: it counts the call, consults the
// fault table, and journals calls that change the machine.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "simwin/base.h"

namespace sim {

// Opens one simulated call. `arg` is the argument a fault may be restricted to (a key path, a
// file name, an ID); the fault table matches it case-insensitively.
class ApiCall {
  public:
    explicit ApiCall(const char* api, std::string_view arg = {});
    // The error an injected fault asks for, or 0 when the call runs normally.
    DWORD fault() const { return fault_; }
    const char* api() const { return api_; }

  private:
    const char* api_;
    DWORD fault_ = 0;
};

// Appends one line to this run's journal: the call, its arguments, its result.
void Journal(const char* api, std::string_view args, long long result);

// Records a flag or path the simulation does not model: journaled, so that a test sees it,
// and the caller fails the call with ERROR_CALL_NOT_IMPLEMENTED.
void NotModelled(const char* api, std::string_view what);

// The failure path of a BOOL API: sets the last error and returns FALSE.
inline BOOL FailWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace sim

namespace sim {
// This run's journal lines, oldest first (tests read them; the exit appends them to journal.log).
const std::vector<std::string>& JournalLines();
}  // namespace sim
