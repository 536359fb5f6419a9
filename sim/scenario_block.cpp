#include "sim/scenario_block.h"

#include "host/oapi.h"
#include "sim/simulation.h"
#include "sim/text.h"

namespace sim {

bool ScenarioBlock::nextLine(char*& line) {
    if (readPos_ >= lines.size()) return false;
    const std::string_view text = trim(withoutComment(lines[readPos_]));
    if (equalsIgnoringCase(text, "END")) return false;
    ++readPos_;
    current_ = text;
    line = current_.data();
    return true;
}

}  // namespace sim

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
