// The display modes modules register: all a display needs of the simulation to open one.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/host.h"

namespace sim {

struct RegisteredMode {
    int id;
    std::string name;
    DWORD key;
    MFD_MSGPROC msgproc;
};

class ModeRegistry {
public:
    int registerMode(const MFDMODESPEC& mode);
    bool unregisterMode(int id);
    const RegisteredMode* findMode(const std::string& name) const;
    const RegisteredMode* findMode(int id) const;
    // The mode a key selects on the mode selection page: the first registered with that key.
    const RegisteredMode* findModeByKey(DWORD key) const;
    const std::vector<RegisteredMode>& modes() const { return modes_; }
    // Told of each mode as it is registered, while the module is still inside its call (tests
    // use it to see what a module has done by the time it registers).
    std::function<void(const RegisteredMode&)> onModeRegistered;

private:
    std::vector<RegisteredMode> modes_;
    int nextModeId_ = 1;
};

}  // namespace sim
