// Arbitrary lines of an instrument's block in a scenario file read into a new instrument, then the
// display redrawn, time run at ordinary and absurd step lengths, the block written and read
// back. Input: one byte of set-up (see World), one of choices below, then the block's text,
// one line per '\n'.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "sim/scenario_apply/scenario_apply.h"
#include "tests/fuzz/fuzz_world.h"

namespace {

constexpr double kSteps[] = {1.0, 0.0, 0.25, 3600.0, 1e9, std::numeric_limits<double>::max()};

std::vector<std::string> linesOf(const uint8_t* data, size_t size) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += static_cast<char>(data[i]);
        }
    }
    return lines;
}

// The lines as the instrument gets them from a scenario file: written into a display's block
// of Fuel Management, read through the scenario reader, handed on as the simulator's reader
// hands them (on past END_MFD to the first END). Lines that break the file's own structure
// (a block of their own, a second BEGIN_SHIPS) go to the instrument as they are.
std::vector<std::string> inScenarioFile(const uint8_t* data, size_t size) {
    static const sim::VesselCatalogue kClasses({{"Tanker", {1000, 500, 0.3}, 2}});
    std::string text = "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n";
    text.append(reinterpret_cast<const char*>(data), size);
    text += "\nEND_MFD\n\nBEGIN_SHIPS\nShip:Tanker\n  PRPLEVEL 0:0.25\nEND\nEND_SHIPS\n";
    std::string error;
    const std::optional<sim::ScenarioDescription> parsed = sim::parseScenario(text, "fuzz", error, kClasses);
    if (!parsed || parsed->displays.empty()) return linesOf(data, size);
    return parsed->displays[0].reading;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    fuzz::World world(data[0]);
    // choices, bit by bit: 0 draw on the raster surface; 1 show the help page before reading;
    // 2 raise the rate after reading; 3 step the mode after reading.
    const uint8_t choices = data[1];
    const bool raster = choices & 1;
    sim::Display* d = world.sim.findDisplay("Main");
    if (!d) return 0;
    if (choices & 2) world.act([&] { d->key(kKeyHelp); });

    world.readBlock(*d, inScenarioFile(data + 2, size - 2));
    world.redraw(*d, raster);
    if (choices & 4) world.act([&] { d->key(kKeyRateUp); });
    if (choices & 8) world.act([&] { d->key(kKeyMode); });
    for (double dt : kSteps) world.step(dt);
    world.redraw(*d, raster);

    // What was restored saves and loads again without harm.
    std::vector<std::string> block = world.writeBlock(*d);
    world.act([&] { d->openMode(kModeName); });
    world.readBlock(*d, std::move(block));
    world.redraw(*d, raster);
    for (double dt : kSteps) world.step(dt);
    return 0;
}
