// Arbitrary lines of an instrument's scenario block read into a new instrument, then the
// display redrawn, time run at ordinary and absurd step lengths, the block written and read
// back. Input: one byte of set-up (see World), one of choices below, then the block's text,
// one line per '\n'.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

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

    world.readBlock(*d, linesOf(data + 2, size - 2));
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
