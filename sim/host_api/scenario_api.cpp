// The simulator's scenario reading and writing calls, on the block a display hands its instrument.
#include "host/oapi.h"
#include "sim/world/scenario_block.h"
#include "sim/world/simulation.h"

namespace {
void record(sim::HostCall call) {
    if (sim::Simulation* s = sim::Simulation::current()) s->calls.add(call);
}
}  // namespace

bool oapiReadScenario_nextline(FILEHANDLE scn, char*& line) {
    record(sim::HostCall::ReadScenarioLine);
    return scn && static_cast<sim::ScenarioBlock*>(scn)->nextLine(line);
}

void oapiWriteScenario_int(FILEHANDLE scn, char* item, int value) {
    record(sim::HostCall::WriteScenarioInt);
    if (scn && item)
        static_cast<sim::ScenarioBlock*>(scn)->lines.push_back(std::string(item) + " " +
                                                               std::to_string(value));
}

void oapiWriteScenario_string(FILEHANDLE scn, char* item, char* text) {
    record(sim::HostCall::WriteScenarioString);
    if (scn && item)
        static_cast<sim::ScenarioBlock*>(scn)->lines.push_back(std::string(item) + " " + (text ? text : ""));
}
