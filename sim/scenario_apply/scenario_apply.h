// A parsed scenario applied to the simulation, and the simulation captured back as one: the one
// place that knows both the file's records and the world.
//
// Loading is in two steps so that a bad file changes nothing: parseScenario turns the text
// into a plain description and checks everything the file alone decides; applyScenario checks
// what depends on the simulation (names in use) and only then creates the vessels, dock links
// and displays. Saving asks every instrument for its block, lays the simulation out as the
// file it was loaded from, and replaces the old file only once the new one is completely
// written.
#pragma once

#include <string>

#include "sim/formats/scenario_text.h"
#include "sim/formats/vessel_catalogue.h"
#include "sim/world/simulation.h"

namespace sim {

// Creates the vessels, dock links and displays of a parsed scenario in the simulation, switches
// each display to its mode and hands the instrument its items. A display of a mode that is not
// registered, or of one of the simulator's own types, shows what it is and keeps its block.
// On an error nothing has been created.
bool applyScenario(const ScenarioDescription& scenario, Simulation& simulation, std::string& error);

// readScenarioFile and applyScenario.
bool loadScenario(const std::string& path, Simulation& simulation, std::string& error,
                  const VesselCatalogue& classes = VesselCatalogue::standard());

// The simulation as a scenario laid out as `base` (the file it was loaded from, with its
// description as the caller wants it saved): every present vessel with its current levels and
// docking, every display, and the block each instrument writes (which, as in the simulator,
// clears the module's transfer state). What the emulator does not model comes from `base`.
ScenarioDescription captureScenario(Simulation& simulation, const ScenarioDescription& base = {});

// Captures the simulation and writes it to `path`. Refused when the file would not load as
// saved (a vessel name that is not one word or holds ':' or ';', a display that is not one of
// the simulator's), and when the file cannot be written at all; then the instruments are not
// asked for their blocks, so the running state is left alone.
bool saveScenario(Simulation& simulation, const std::string& path, std::string& error,
                  const ScenarioDescription& base = {});

}  // namespace sim
