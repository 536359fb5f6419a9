#include "sim/world/scenario_block.h"

#include "sim/formats/text.h"

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
