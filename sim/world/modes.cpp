#include "sim/world/modes.h"

#include <algorithm>

namespace sim {

int ModeRegistry::registerMode(const MFDMODESPEC& mode) {
    // The record is the caller's temporary: keep copies of what it points at.
    const int id = nextModeId_++;
    modes_.push_back({id, mode.name ? mode.name : "", mode.key, mode.msgproc});
    if (onModeRegistered) onModeRegistered(modes_.back());
    return id;
}

bool ModeRegistry::unregisterMode(int id) {
    const auto it =
        std::find_if(modes_.begin(), modes_.end(), [id](const RegisteredMode& m) { return m.id == id; });
    if (it == modes_.end()) return false;
    modes_.erase(it);
    return true;
}

const RegisteredMode* ModeRegistry::findMode(const std::string& name) const {
    for (const RegisteredMode& m : modes_) {
        if (m.name == name) return &m;
    }
    return nullptr;
}

const RegisteredMode* ModeRegistry::findMode(int id) const {
    for (const RegisteredMode& m : modes_) {
        if (m.id == id) return &m;
    }
    return nullptr;
}

const RegisteredMode* ModeRegistry::findModeByKey(DWORD key) const {
    for (const RegisteredMode& m : modes_) {
        if (m.key == key) return &m;
    }
    return nullptr;
}

}  // namespace sim
