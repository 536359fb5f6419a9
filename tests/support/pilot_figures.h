// The figures every host is held to in the pilots' scenarios: tests/data/pilot-figures.txt, read
// as its header describes it.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace test {

struct PilotFigures {
    std::string file;
    std::vector<std::string> keys;   // as the description names them: M T S D + - ?
    std::vector<std::string> block;  // the Left display's items, "PUMPMODE 1" and so on
    struct Ship {
        std::string name, levels, docks;  // PRPLEVEL's and DOCKINFO's items; empty: no such line
    };
    std::vector<Ship> ships;
    double vented = 0;
};

inline std::vector<PilotFigures> readPilotFigures(const std::filesystem::path& path) {
    std::vector<PilotFigures> all;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string word, rest;
        if (!(words >> word)) continue;
        std::getline(words >> std::ws, rest);
        while (!rest.empty() && rest.back() == ' ') rest.pop_back();
        if (word == "scenario") {
            all.push_back({rest, {}, {}, {}, 0});
            continue;
        }
        if (all.empty()) continue;
        PilotFigures& f = all.back();
        const std::string name = rest.substr(0, rest.find(' '));
        const std::string items = rest.find(' ') == std::string::npos ? "" : rest.substr(rest.find(' ') + 1);
        if (word == "keys") {
            for (std::istringstream keys(rest); keys >> word;) f.keys.push_back(word);
        } else if (word == "block") {
            f.block.push_back(rest);
        } else if (word == "ship") {
            f.ships.push_back({name, items, ""});
        } else if (word == "dock") {
            for (PilotFigures::Ship& s : f.ships) {
                if (s.name == name) s.docks = items;
            }
        } else if (word == "vented") {
            f.vented = std::stod(rest);
        }
    }
    return all;
}

}  // namespace test
