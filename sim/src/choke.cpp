#include "choke.h"

#include <map>

#include "machine.h"
#include "machine_internal.h"
#include "text.h"

namespace sim {
namespace {

// A fault applies to the call when its API and (if given) its argument match and its count
// rule selects this occurrence. Every matching call advances the fault's count.
bool FaultSelects(Fault& fault, const char* api, std::string_view arg) {
    if (fault.api != api) {
        return false;
    }
    if (!fault.arg.empty() && !sim::EqualNoCase(fault.arg, arg, sim::CaseRule::kAscii)) {
        return false;
    }
    ++fault.seen;
    if (fault.nth != 0) {
        return fault.seen == fault.nth;
    }
    if (fault.from != 0) {
        return fault.seen >= fault.from;
    }
    return true;
}

}  // namespace

ApiCall::ApiCall(const char* api, std::string_view arg) : api_(api) {
    EnsureLoaded();
    CountCall(api);
    for (Fault& fault : Faults()) {
        if (FaultSelects(fault, api, arg) && fault_ == 0) {
            fault_ = fault.error;
        }
    }
    if (fault_ != 0) {
        std::string line = std::string(api) + "(" + std::string(arg) + ") -> injected fault " +
                           std::to_string(fault_);
        AppendJournalLine(std::move(line));
    }
}

void Journal(const char* api, std::string_view args, long long result) {
    std::string line = std::string(api) + "(" + std::string(args) + ") = " + std::to_string(result);
    AppendJournalLine(std::move(line));
}

void NotModelled(const char* api, std::string_view what) {
    AppendJournalLine(std::string(api) + ": not modelled: " + std::string(what));
}

}  // namespace sim
