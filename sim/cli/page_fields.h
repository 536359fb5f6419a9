// What a key or button did, as the pilot sees it: the settings read off the page the display
// showed before and the one it shows after.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

// The settings a page of the module shows, in the order of the page: page (status or
// help), mode, rate, target tank, source tank, docking port, docked to. A setting the page does
// not show is left out; a warning in its place ("NOT DOCKED") is its value, in small letters.
std::vector<std::pair<std::string, std::string>> pageFields(const std::string& pageText);

// A setting of pageFields(): its value, or null when the page does not show it.
const std::string* pageField(const std::vector<std::pair<std::string, std::string>>& fields,
                             std::string_view name);

// Cross-Feed with one tank as both source and target, as the mode opens, where the pump cannot
// run: that tank ("1 of 3"); else null.
const std::string* oneTankAsBoth(const std::vector<std::pair<std::string, std::string>>& fields);

// "changed: rate Low -> Medium, ..." between two pages, or "consumed, no change" when no
// setting differs. `arrow` separates old and new.
std::string describeChange(const std::string& before, const std::string& after, const std::string& arrow);

}  // namespace cli
