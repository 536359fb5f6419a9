// A module that breaks the host's rules cannot pass a run: what it did is printed at the end
// and the exit status is the one of a failed check.
#include "tests/cli/cli_support.h"

using namespace clitest;

TEST_F(CliTest, BadHostCallsAndAModeLeftRegisteredFailTheRun) {
    std::ofstream(root / "one.scn") << "BEGIN_SHIPS\nTanker:ShuttlePB\n  FUEL 0.5\nEND\nEND_SHIPS\n";
    const Result r =
        run({"--module", KESTRANE_FAULTY_MODULE, "run", (root / "one.scn").string(), "--time", "1"});
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    // One bad call a step: 50 frames of 0.02 s.
    EXPECT_TRUE(contains(r.out, "The module made 50 bad host call(s), such as:")) << r.out;
    EXPECT_TRUE(contains(r.out, "such as:\n  GetPropellantHandle: null vessel\nAt unload: "))
        << r.out;  // each kind once
    EXPECT_TRUE(contains(r.out, "left its display mode registered: 'Fuel Management'")) << r.out;
    EXPECT_TRUE(contains(r.out, "passed")) << r.out;  // propellant itself was conserved
    EXPECT_EQ(r.err, "kestrane-sim: the module broke the host's rules (see above)\n");

    // The module as built keeps the rules: nothing of the kind is printed.
    const Result good = run({"run", (root / "one.scn").string(), "--time", "1"});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_FALSE(contains(good.out, "The module")) << good.out;
}
