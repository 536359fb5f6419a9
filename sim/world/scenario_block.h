// One instrument's block of a scenario file, as the host hands it to WriteStatus and
// ReadStatus: a list of item lines.
#pragma once

#include <string>
#include <vector>

namespace sim {

class ScenarioBlock {
public:
    ScenarioBlock() = default;
    explicit ScenarioBlock(std::vector<std::string> itemLines) : lines(std::move(itemLines)) {}

    std::vector<std::string> lines;  // "ITEM value", one item a line

    // Reading, as the simulator's oapiReadScenario_nextline: the lines in turn, blanks and tabs
    // trimmed from both ends and comments cut off, up to a line "END" (which it does not hand
    // out; the simulator reads on past the display's END_MFD to there) or the last line.
    bool nextLine(char*& line);
    void rewind() { readPos_ = 0; }

private:
    size_t readPos_ = 0;
    std::string current_;
};

}  // namespace sim
