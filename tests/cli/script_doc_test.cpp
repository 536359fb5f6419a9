// docs/script-format.md lists the actions of a script with their arguments: the same as the
// table of actions the program reads scripts with.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "sim/cli/script.h"
#include "tests/support/read_file.h"

namespace {

// A cell of a Markdown table row, without its blanks and code marks.
std::string cell(std::istringstream& row) {
    std::string text;
    std::getline(row, text, '|');
    const size_t first = text.find_first_not_of(" `");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" `") - first + 1);
}

TEST(ScriptFormatDoc, ListsEveryActionWithTheArgumentsTheProgramTakes) {
    const std::string doc = test::readFile(std::filesystem::path(KESTRANE_DOCS) / "script-format.md");
    ASSERT_FALSE(doc.empty());
    std::map<std::string, std::string> listed;
    std::istringstream lines(doc);
    bool inTable = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("| Action | Arguments |", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable) continue;
        if (line.rfind("|", 0) != 0) break;
        std::istringstream row(line.substr(1));
        const std::string name = cell(row), usage = cell(row);
        if (name.rfind("---", 0) != 0) listed[name] = usage;
    }
    ASSERT_FALSE(listed.empty()) << "no table of actions";
    std::map<std::string, std::string> actions;
    for (const cli::ActionType& type : cli::actionTypes()) actions[type.name] = type.usage;
    EXPECT_EQ(listed, actions);
}

}  // namespace
