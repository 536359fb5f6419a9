// `kestrane-sim play`: the scenario in real time in the terminal, driven from the keyboard.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "sim/cli/terminal.h"
#include "sim/scenario_apply/scenario_apply.h"

namespace cli {

struct PlayOptions {
    double accel = 1.0;
    double refresh = 0.5;  // s of simulated time between a display's redraws (the simulator's default)
    std::filesystem::path outDir = "kestrane-out";
    std::string stem;           // beginning of the saved scenarios' names
    std::string scenarioLabel;  // shown at the top
    ColourChoice colour = ColourChoice::Auto;
    sim::VesselCatalogue classes = sim::VesselCatalogue::standard();  // for going on from a save
};

// A key play takes. The one table of them is in play.cpp: the keys it acts on, the key panel,
// `play --help` and the README's table (which a test compares) all come from it.
struct PlayKey {
    std::vector<std::string> names;  // as typed: "W", "F2"; letters in either case
    std::string panel;               // its cell on the key panel; empty: told by another's cell
    std::string does;                // for the help and the README
};
const std::vector<PlayKey>& playKeys();

// The keys as `play --help` lists them, one a line within `width` columns.
std::string playKeysHelp(size_t width);

// Runs until the player quits; then prints the tank table and the conservation check. Returns
// the exit status; errors that stop it before the screen opens go to `error` as one line.
int play(const std::string& modulePath, const sim::ScenarioDescription& scenario, const PlayOptions& options,
         std::string& error);

// Words of `text` in lines of at most `width` columns, at most `rows` of them: a word longer
// than a line is cut, and text that does not fit ends the last line in "..." (within a word
// when the last space comes early in the line).
std::vector<std::string> wrapWords(const std::string& text, size_t width, size_t rows);

}  // namespace cli
