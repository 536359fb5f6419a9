// `kestrane-sim play`: the scenario in real time in the terminal, driven from the keyboard.
#pragma once

#include <filesystem>
#include <string>

#include "sim/scenario_apply/scenario_apply.h"

namespace cli {

struct PlayOptions {
    double accel = 1.0;
    double refresh = 0.5;  // s of simulated time between a display's redraws (the simulator's default)
    std::filesystem::path outDir = "kestrane-out";
    std::string stem;           // beginning of the saved scenarios' names
    std::string scenarioLabel;  // shown at the top
    sim::VesselCatalogue classes = sim::VesselCatalogue::standard();  // for going on from a save
};

// Runs until the player quits; then prints the tank table and the conservation check. Returns
// the exit status; errors that stop it before the screen opens go to `error` as one line.
int play(const std::string& modulePath, const sim::ScenarioDescription& scenario, const PlayOptions& options,
         std::string& error);

}  // namespace cli
