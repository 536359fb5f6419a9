// Plain values that files and the world share.
#pragma once

namespace sim {

// A tank as a scenario file gives it and a vessel holds it.
struct Tank {
    double capacity = 0.0;  // kg
    double mass = 0.0;      // kg
};

// A display's size in pixels when a file names none.
inline constexpr unsigned kDefaultDisplaySize = 512;
// The simulator's external-display plug-in opens its windows at this size.
inline constexpr unsigned kExternalDisplaySize = 300;

}  // namespace sim
