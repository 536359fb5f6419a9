// What kestrane-sim says it takes is what its parser and play take: `run --help` and
// `play --help` against the options of the parser, and play's keys in its help and the README.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "sim/cli/command_line.h"
#include "sim/cli/play.h"
#include "tests/support/read_file.h"

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string namesOf(const cli::PlayKey& key) {
    std::string out;
    for (const std::string& n : key.names) out += (out.empty() ? "" : " or ") + n;
    return out;
}

TEST(Help, EachCommandListsEveryOptionItTakesAndPlayEveryKey) {
    cli::CommandLine line("0");
    for (const CLI::App* command : {line.run, line.play}) {
        SCOPED_TRACE(command->get_name());
        const std::string help = command->help();
        // Its own options, and the program's, which it takes after its name as well.
        for (const CLI::App* from : {command, static_cast<const CLI::App*>(&line.app)}) {
            for (const CLI::Option* option : from->get_options()) {
                for (const std::string& name : option->get_lnames()) {
                    if (from == &line.app && (name == "help" || name == "version")) continue;
                    EXPECT_TRUE(contains(help, "--" + name + " ")) << "--" << name << " in\n" << help;
                }
            }
        }
    }
    // The program's options reach the same place before and after the command.
    for (const char* given : {"--out o --classes c.cfg --color never --module m.so play s.scn",
                              "play s.scn --out o --classes c.cfg --color never --module m.so"}) {
        SCOPED_TRACE(given);
        cli::CommandLine parsed("0");
        ASSERT_NO_THROW(parsed.app.parse(given));
        EXPECT_EQ(parsed.outDir, "o");
        EXPECT_EQ(parsed.classesPath, "c.cfg");
        EXPECT_EQ(parsed.colourChoice(), cli::ColourChoice::Never);
        EXPECT_EQ(parsed.module, "m.so");
    }
    const std::string help = line.play->help();
    for (const cli::PlayKey& key : cli::playKeys())
        EXPECT_TRUE(contains(help, "\n  " + namesOf(key) + "  ")) << namesOf(key) << " in\n" << help;
}

// The README's table of play's keys: the keys play takes, each with what it does.
TEST(Help, TheReadmeListsPlaysKeysAsPlayTakesThem) {
    const std::string readme = test::readFile(std::filesystem::path(KESTRANE_SOURCE_DIR) / "README.md");
    std::vector<std::pair<std::string, std::string>> listed, keys;
    std::istringstream text(readme);
    bool inTable = false;
    for (std::string row; std::getline(text, row);) {
        if (row == "| Key | What it does |") {
            inTable = true;
            continue;
        }
        if (!inTable || row.rfind("|---", 0) == 0) continue;
        if (row.rfind("| ", 0) != 0) break;
        const size_t split = row.find(" | ");
        std::string names = row.substr(2, split - 2), does = row.substr(split + 3, row.size() - split - 5);
        // The names are the words in code marks; the text reads the same without them.
        std::string plain;
        for (size_t at = names.find('`'); at != std::string::npos; at = names.find('`', at + 1)) {
            const size_t end = names.find('`', at + 1);
            plain += (plain.empty() ? "" : " or ") + names.substr(at + 1, end - at - 1);
            at = end;
        }
        std::erase(does, '`');
        listed.emplace_back(plain, does);
    }
    for (const cli::PlayKey& key : cli::playKeys()) keys.emplace_back(namesOf(key), key.does);
    EXPECT_EQ(listed, keys);
}

}  // namespace
