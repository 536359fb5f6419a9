// One version number: the program's and the module's help page, both from the build.
#include "tests/cli/cli_support.h"

using namespace clitest;

TEST_F(CliTest, TheHelpPageShowsTheVersionThatVersionPrints) {
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
    EXPECT_EQ(lines(left.front()).front(), "Fuel Mgt Version " + number);
}
