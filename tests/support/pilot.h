// What a pilot does at a display of the module's mode, for the tests that play one.
#pragma once

#include "display/pump_mfd.h"
#include "sim/world/display.h"
#include "tests/support/drawing.h"

namespace test {

// Keys pressed on a display, then a redraw, by a pilot who finds the help page showing: the
// help page swallows the keys and drawing it changes nothing, so the pilot leaves it and
// presses them again.
template <typename Press>
void pressOnTheStatusPage(sim::Display& d, Press&& press) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        press();
        if (!showsHelpPage(redraw(d))) return;
        d.key(kKeyHelp);
    }
}

}  // namespace test
