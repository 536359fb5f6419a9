// What a key or button did, as the pilot sees it: the settings read off the page the display
// showed before and the one it shows after.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace cli {

// The settings a page of the module shows, in the order of the page: page (status or
// help), mode, rate, target tank, source tank, docking port, docked to. A setting the page does
// not show is left out; a warning in its place ("NOT DOCKED") is its value, in small letters.
std::vector<std::pair<std::string, std::string>> pageFields(const std::string& pageText);

// "changed: rate Low -> Medium, ..." between two pages, or "consumed, no change" when no
// setting differs. `arrow` separates old and new.
std::string describeChange(const std::string& before, const std::string& after, const std::string& arrow);

}  // namespace cli
