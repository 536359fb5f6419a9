#include "sim/world/call_record.h"

#include <algorithm>

namespace sim {

const char* hostCallName(HostCall call) {
    static const char* const names[] = {KESTRANE_HOST_CALLS(KESTRANE_NAME)};
    return names[static_cast<size_t>(call)];
}

void CallRecord::bad(HostCall call, const char* what) {
    ++badCalls;
    if (badCallNotes.size() < 100) badCallNotes.push_back(std::string(hostCallName(call)) + ": " + what);
}

void CallRecord::clear() {
    calls.clear();
    callCount = 0;
    badCalls = 0;
    badCallNotes.clear();
}

size_t CallRecord::count(HostCall call) const {
    return static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(), [call](const CallEntry& e) { return e.call == call; }));
}

std::vector<HostCall> CallRecord::sequence() const {
    std::vector<HostCall> out;
    out.reserve(calls.size());
    for (const CallEntry& e : calls) out.push_back(e.call);
    return out;
}

}  // namespace sim
