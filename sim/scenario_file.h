// Scenario files of the emulator: vessels with their tanks and dock links, and displays with
// the mode they show and the instrument's own items. The format is described in
// docs/scenario-format.md.
//
// Loading is in two steps so that a bad file changes nothing: parseScenario turns the text
// into a plain description and checks everything the file alone decides; applyScenario checks
// what depends on the simulation (names in use, modes registered) and only then creates the
// vessels, dock links and displays. Saving asks every instrument for its block, formats the
// whole file and replaces the old one only once the new one is completely written.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/display.h"
#include "sim/simulation.h"

namespace sim {

inline constexpr unsigned kMaxDockPorts = 1024;
inline constexpr double kMaxTankCapacity = 1e15;     // kg
inline constexpr unsigned kMaxDisplaySize = 0xFFFF;  // the size travels in 16 bits

struct ScenarioDockLink {
    unsigned port = 0;       // this vessel's port
    std::string vessel;      // the vessel docked there
    unsigned otherPort = 0;  // its port that holds this one
    int line = 0;
};

struct ScenarioVessel {
    std::string name;
    std::string className;
    std::vector<Tank> tanks;  // in index order
    unsigned ports = 0;
    std::vector<ScenarioDockLink> docks;
    int line = 0;
};

struct ScenarioDisplay {
    std::string name;
    std::string vessel;
    unsigned width = kDefaultDisplaySize;
    unsigned height = kDefaultDisplaySize;
    std::string mode;                // empty: the display shows no mode
    std::vector<std::string> items;  // the instrument's block, one item a line
    int line = 0;
    int vesselLine = 0;
    int modeLine = 0;
};

struct ScenarioDescription {
    std::string source;                    // file name, for messages
    std::vector<std::string> description;  // free text of the description block
    std::vector<ScenarioVessel> vessels;
    std::vector<ScenarioDisplay> displays;
};

// Parses scenario text. On an error returns nothing and sets `error` to
// "<source>:<line>: <what>".
std::optional<ScenarioDescription> parseScenario(std::string_view text, const std::string& source,
                                                 std::string& error);
// Reads and parses a file.
std::optional<ScenarioDescription> readScenarioFile(const std::string& path, std::string& error);

// Creates the vessels, dock links and displays of a parsed scenario in the simulation, switches
// each display to its mode and hands the instrument its items. The modes must be registered.
// On an error nothing has been created.
bool applyScenario(const ScenarioDescription& scenario, Simulation& simulation, std::string& error);

// readScenarioFile and applyScenario.
bool loadScenario(const std::string& path, Simulation& simulation, std::string& error);

// The simulation as a scenario: every present vessel with its current masses, every display,
// and the block each instrument writes (which, as in the simulator, clears the module's
// transfer state).
ScenarioDescription captureScenario(Simulation& simulation, std::vector<std::string> description = {});

// The text of a scenario file. Masses and capacities read back as the same doubles.
std::string formatScenario(const ScenarioDescription& scenario);

// Writes the text to a temporary file beside `path` and renames it over `path`: a failed write
// leaves the old file as it was.
bool writeScenarioFile(const std::string& path, std::string_view text, std::string& error);

// Captures the simulation and writes it to `path`. Refused when a vessel or display name is not
// one word, or a name holds ';' (the file would not load as saved), and when the file cannot
// be written at all; then the instruments are not asked for their blocks, so the running
// state is left alone.
bool saveScenario(Simulation& simulation, const std::string& path, std::string& error,
                  std::vector<std::string> description = {});

}  // namespace sim
