// What the emulator gives the module about a vessel, seen on the page and in the saved file.
#include "tests/cli/cli_support.h"

using namespace clitest;

TEST_F(CliTest, AShipWithoutAClassHasItsNameAsClassOnThePageAndInTheSavedFile) {
    // The classes come from the user's file beside the shipped ones.
    std::ofstream(root / "own.cfg") << "; the user's own\nPod 0 100 50\nHeavyTug 1 10\n";
    std::ofstream(root / "pod.scn")
        << "BEGIN_FOCUS\n  Ship Pod\nEND_FOCUS\n"
           "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\nEND_MFD\n"
           "BEGIN_MFD Right\n  TYPE User\n  MODE Fuel Management\nEND_MFD\n"
           "BEGIN_SHIPS\nPod\n  PRPLEVEL 0:0.4\nEND\nTug:HeavyTug\n  FUEL 0.1\nEND\n"
           "Mir\nEND\nEND_SHIPS\n"
           "BEGIN_KESTRANE_SIM\n  DISPLAY Right 512 512 Tug\nEND\n";
    const Result r = run({"--classes", (root / "own.cfg").string(), "run", (root / "pod.scn").string(),
                          "--no-pictures", "--script",
                          script("s.script",
                                 "0 show Right\n0 close Left\n0 open Left\n0 show Left\n"
                                 "0 save pod-saved.scn\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    // The Right display opened last and shows the tug; the Left one, opened again, the pod.
    const std::vector<std::string> left = pages(r.out, "Left"), right = pages(r.out, "Right");
    ASSERT_FALSE(left.empty());
    ASSERT_FALSE(right.empty());
    EXPECT_EQ(lines(left.back()).front(), "Fuel Mgt Pod (Pod)");
    EXPECT_EQ(lines(right[0]).front(), "Fuel Mgt Tug (HeavyTug)");
    // Saved as the simulator saves it: name and class, the stock class Mir among them.
    const std::string saved = readFile(work / "kestrane-out/pod-saved.scn");
    for (const char* line :
         {"\nPod:Pod\n  PRPLEVEL 0:0.400000\nEND\n", "\nTug:HeavyTug\n  PRPLEVEL 0:0.100000\nEND\n",
          "\nMir:Mir\nEND\n", "  DISPLAY Right 512 512 Tug\n"})
        EXPECT_TRUE(contains(saved, line)) << line << "\n" << saved;
}
