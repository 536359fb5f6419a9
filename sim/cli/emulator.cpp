#include "sim/cli/emulator.h"

#include "sim/display.h"
#include "sim/surface.h"

namespace cli {

bool Emulator::start(const sim::ScenarioDescription& scenario, std::string& error) {
    stop();
    simulation_ = std::make_unique<sim::Simulation>();
    loader_ = std::make_unique<sim::ModuleLoader>(*simulation_);
    if (!loader_->load(modulePath_)) {
        error = loader_->error();
        stop();
        return false;
    }
    if (!simulation_->findMode(kModeName)) {
        error = "module '" + modulePath_ + "' registered no display mode \"" + kModeName + "\"";
        stop();
        return false;
    }
    if (!sim::applyScenario(scenario, *simulation_, error)) {
        stop();
        return false;
    }
    return true;
}

void Emulator::stop() {
    // The loader unloads the module, which must happen while its simulation still exists.
    loader_.reset();
    simulation_.reset();
}

void Emulator::redraw(bool all) {
    if (!simulation_) return;
    for (sim::Display* display : simulation_->displays()) {
        if (!display->instrument() || (!all && display->pendingRedraws <= 0)) continue;
        sim::RecordingSurface surface(sim::cellWidthFor(display->width()), false);
        display->repaint(&surface);
    }
}

}  // namespace cli
