// Two version numbers: the project's, which the program prints, and the instrument's own,
// which its help page shows.
#include "tests/cli/cli_support.h"

using namespace clitest;

TEST_F(CliTest, VersionPrintsTheProjectsAndTheHelpPageTheInstruments) {
    const Result version = run({"--version"});
    ASSERT_EQ(version.status, 0) << version.err;
    const std::string prefix = "kestrane-sim ";
    ASSERT_EQ(version.out.rfind(prefix, 0), 0u) << version.out;
    const std::string number = lines(version.out).front().substr(prefix.size());
    EXPECT_EQ(number, KESTRANE_VERSION);

    std::vector<std::string> args = tanker();
    for (const char* a : {"--no-pictures", "--script"}) args.push_back(a);
    args.push_back(script("help.script", "0 key /\n0 show\n"));
    const Result r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> left = pages(r.out, "Left");
    ASSERT_FALSE(left.empty()) << r.out;
    EXPECT_EQ(lines(left.front()).front(), "Fuel Mgt Version 030109");
}
