// What the emulator gives the module about a vessel, seen on the page and in the saved file.
#include "tests/cli/cli_support.h"

using namespace clitest;

TEST_F(CliTest, AVesselWithoutAClassShowsItsNameAsItsClassAndSavesWithoutOne) {
    std::ofstream(root / "pod.scn")
        << "BEGIN_VESSEL Pod\n  TANK 100 40\n  TANK 50 0\nEND_VESSEL\n"
           "BEGIN_VESSEL Tug\n  CLASS Heavy Tug\n  TANK 10 1\nEND_VESSEL\n"
           "BEGIN_DISPLAY Left\n  VESSEL Pod\n  MODE Fuel Management\nEND_DISPLAY\n"
           "BEGIN_DISPLAY Right\n  VESSEL Tug\n  MODE Fuel Management\nEND_DISPLAY\n";
    const Result r = run({"run", (root / "pod.scn").string(), "--no-pictures", "--script",
                          script("s.script", "0 show\n0 save pod-saved.scn\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> left = pages(r.out, "Left"), right = pages(r.out, "Right");
    ASSERT_FALSE(left.empty());
    ASSERT_FALSE(right.empty());
    EXPECT_EQ(lines(left[0]).front(), "Fuel Mgt Pod (Pod)");
    EXPECT_EQ(lines(right[0]).front(), "Fuel Mgt Tug (Heavy Tug)");
    // The file keeps the vessel as it was written: without a class.
    const std::string saved = readFile(work / "kestrane-out/pod-saved.scn");
    EXPECT_FALSE(contains(saved, "CLASS Pod")) << saved;
    EXPECT_TRUE(contains(saved, "CLASS Heavy Tug")) << saved;
}
