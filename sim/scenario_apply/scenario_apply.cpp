#include "sim/scenario_apply/scenario_apply.h"

#include <unordered_map>

#include "sim/formats/files.h"
#include "sim/formats/text.h"
#include "sim/world/display.h"
#include "sim/world/scenario_block.h"

namespace sim {

namespace {

// Names the file could not give back as they are.
bool savable(Simulation& simulation, const std::string& path, std::string& error) {
    auto refuse = [&](const std::string& what) {
        error = path + ": cannot save " + what;
        return false;
    };
    for (VesselRecord* v : simulation.vessels()) {
        if (!isOneWordName(v->name))
            return refuse("vessel name " + inQuotes(v->name) + ": not one word without ':' and ';'");
        if (v->className.find_first_of("\r\n;") != std::string::npos)
            return refuse("class name " + inQuotes(v->className));
    }
    for (Display* d : simulation.displays()) {
        if (d->external) continue;  // windows of their own, not saved
        if (!isDisplayId(d->name()))
            return refuse("display " + inQuotes(d->name()) + ": the displays are Left, Right and 3 to 12");
        if (d->modeName().find_first_of("\r\n;") != std::string::npos)
            return refuse("mode name " + inQuotes(d->modeName()));
    }
    return true;
}

// The focus ship of a saved scenario: the loaded file's while it is there, else the ship of
// the first display, else the first ship.
std::string focusOf(Simulation& simulation, const ScenarioDescription& base) {
    if (!base.focus.empty() && simulation.findVessel(base.focus)) return base.focus;
    const std::vector<Display*> displays = simulation.displays();
    if (!displays.empty()) return displays[0]->vessel().name;
    const std::vector<VesselRecord*> vessels = simulation.vessels();
    return vessels.empty() ? std::string() : vessels[0]->name;
}

}  // namespace

bool applyScenario(const ScenarioDescription& scenario, Simulation& simulation, std::string& error) {
    // Everything that could refuse the scenario is checked before anything is created.
    for (const ScenarioVessel& v : scenario.vessels) {
        if (simulation.findVessel(v.name)) {
            error = lineMessage(scenario.source, v.line, "vessel " + inQuotes(v.name) + " already exists");
            return false;
        }
    }
    for (const ScenarioDisplay& d : scenario.displays) {
        if (simulation.findDisplay(d.name)) {
            error = lineMessage(scenario.source, d.line, "display " + inQuotes(d.name) + " already exists");
            return false;
        }
    }

    // Hashed: a scenario of many vessels looks a name up for every vessel and dock link.
    std::unordered_map<std::string, VesselRecord*> created;
    created.reserve(scenario.vessels.size());
    std::vector<Display*> displays;
    // Should the host refuse anyway, what was created is taken out again.
    auto undo = [&](int line, const std::string& what) {
        for (Display* d : displays) simulation.removeDisplay(*d);
        for (auto& [name, record] : created) simulation.removeVessel(*record);
        error = lineMessage(scenario.source, line, what);
        return false;
    };

    for (const ScenarioVessel& v : scenario.vessels) {
        created[v.name] = &simulation.addVessel({v.name, v.className, v.tanks, v.ports});
    }
    for (const ScenarioVessel& v : scenario.vessels) {
        VesselRecord& a = *created[v.name];
        for (const ScenarioDockLink& link : v.docks) {
            VesselRecord& b = *created[link.vessel];
            const DockPort& port = a.ports[link.port];
            if (port.docked == &b && port.dockedPort == link.otherPort) continue;  // written from both sides
            if (!simulation.dock(a, link.port, b, link.otherPort)) return undo(link.line, "cannot dock");
        }
    }
    // The vessels are there: the plug-ins hear of the session's start before any display opens.
    simulation.startSession();
    for (const ScenarioDisplay& d : scenario.displays) {
        Display& display = simulation.addDisplay(d.name, *created[d.vessel], d.width, d.height);
        displays.push_back(&display);
        if (d.type.empty()) continue;
        const RegisteredMode* mode = nullptr;
        if (equalsIgnoringCase(d.type, "User")) {
            for (const RegisteredMode& m : simulation.modes()) {
                if (equalsIgnoringCase(m.name, d.mode)) mode = &m;
            }
        }
        if (!mode) {
            // One of the simulator's own display types, or a mode no module here registered.
            const bool user = equalsIgnoringCase(d.type, "User");
            display.showForeign(user ? d.mode : d.type,
                                user ? "no loaded module registers it" : "the simulator's own; not emulated",
                                d.block);
            continue;
        }
        if (!display.openMode(mode->name))
            return undo(d.modeLine, "mode " + inQuotes(d.mode) + " made no instrument");
        ScenarioBlock block(d.reading);
        display.readStatus(block);
    }
    return true;
}

bool loadScenario(const std::string& path, Simulation& simulation, std::string& error,
                  const VesselCatalogue& classes) {
    const std::optional<ScenarioDescription> scenario = readScenarioFile(path, error, classes);
    return scenario && applyScenario(*scenario, simulation, error);
}

ScenarioDescription captureScenario(Simulation& simulation, const ScenarioDescription& base) {
    ScenarioDescription out;
    out.source = base.source;
    out.description = base.description;
    out.shipsEnd = base.shipsEnd;
    out.viewSizes = base.viewSizes;
    out.focus = focusOf(simulation, base);
    std::unordered_map<std::string, const ScenarioVessel*> baseVessels;
    for (const ScenarioVessel& v : base.vessels) baseVessels[v.name] = &v;

    for (VesselRecord* r : simulation.vessels()) {
        ScenarioVessel v;
        if (const auto found = baseVessels.find(r->name); found != baseVessels.end()) {
            v.lines = found->second->lines;
            v.before = found->second->before;
        }
        v.name = r->name;
        v.className = r->className.empty() ? r->name : r->className;
        v.tanks = r->tanks;
        v.ports = static_cast<unsigned>(r->ports.size());
        // Each ship lists every port that holds a vessel, as the simulator writes it.
        for (unsigned p = 0; p < r->ports.size(); ++p) {
            const DockPort& port = r->ports[p];
            if (port.docked) v.docks.push_back({p, port.docked->name, port.dockedPort, 0});
        }
        out.vessels.push_back(std::move(v));
    }
    for (Display* display : simulation.displays()) {
        // The simulator saves the cockpit's displays, not the windows of its external displays.
        if (display->external) continue;
        ScenarioDisplay d;
        d.name = display->name();
        d.vessel = display->vessel().name;
        d.width = display->width();
        d.height = display->height();
        if (display->instrument()) {
            d.type = "User";
            d.mode = display->modeName();
            ScenarioBlock block;
            display->writeStatus(block);
            d.items = std::move(block.lines);
        } else if (!display->foreign().empty()) {
            d.block = display->foreignBlock();
        }
        out.displays.push_back(std::move(d));
    }
    out.layout = layoutFor(base, out);
    return out;
}

bool saveScenario(Simulation& simulation, const std::string& path, std::string& error,
                  const ScenarioDescription& base) {
    if (!savable(simulation, path, error)) return false;
    // The temporary file is made first: when it cannot be, the instruments are not asked.
    ReplacingFile file(path);
    return file.open(error) && file.write(formatScenario(captureScenario(simulation, base)), error) &&
           file.commit(error);
}

}  // namespace sim
