// What a key does in a run, as in the simulator's frame loop: a display that asked for a redraw
// is drawn before the next key reaches it, and the log says what each key changed.
#include "tests/cli/cli_support.h"

using namespace clitest;

namespace {

// Each line found in the output, after the one before it.
void expectInOrder(const std::string& out, const std::vector<std::string>& expected) {
    size_t from = 0;
    for (const std::string& line : expected) {
        const size_t at = out.find(line, from);
        EXPECT_NE(at, std::string::npos) << line << "\n" << out;
        if (at != std::string::npos) from = at;
    }
}

}  // namespace

TEST_F(CliTest, KeysAtOneTimeSeeThePageTheKeyBeforeThemAskedFor) {
    // Unload and the rate keys at the same time: the docked source is found at the redraw
    // the mode key asked for, so the rate keys find a transfer possible.
    const Result r = run({"run", scenario("docked-depot.scn"), "--no-pictures", "--time", "3", "--script",
                          script("unload.script", "0 key M\n0 key M\n0 key +\n0 key +\n0 key +\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(tankRow(r.out, "Tanker", 1).after, 0.0, 1e-9);  // 250 kg at 100 kg/s
    EXPECT_NEAR(tankRow(r.out, "Depot", 1).after, 1250.0, 1e-9);
    EXPECT_TRUE(contains(r.out, "key + (=, 0x0D) on Left: changed: rate Medium -> High")) << r.out;

    // The shipped script does the same without waiting or showing first.
    const Result shipped =
        run({"run", scenario("docked-depot.scn"), "--script", scenario("unload.script"), "--no-pictures"});
    ASSERT_EQ(shipped.status, 0) << shipped.err;
    EXPECT_NEAR(tankRow(shipped.out, "Depot", 1).in, 520.0, 1e-9);
    EXPECT_TRUE(contains(pages(shipped.out, "Left").front(), "Pump Rate: High")) << shipped.out;
}

TEST_F(CliTest, TheLogSaysWhatEachKeyAndButtonChanged) {
    std::vector<std::string> args = tanker();
    for (const std::string& arg :
         {std::string("--no-pictures"), std::string("--time"), std::string("1"), std::string("--script"),
          script("keys.script",
                 "0 key M\n0 key D\n0 key T\n0 key -\n0 button PR+\n0 key +\n0 key +\n"
                 "0 key +\n0 key ?\n0 key M\n0 key /\n0 key F\n0 button 3 4\n")})
        args.push_back(arg);
    const Result r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> expected{
        "key M (M, 0x32) on Left: changed: mode Cross-Feed -> Load, source tank 1 of 3 -> 1 of 2, "
        "docking port (not shown) -> 1 of 2, docked to (not shown) -> Depot",
        // The second port is free: the source is gone with the vessel.
        "key D (D, 0x20) on Left: changed: docking port 1 of 2 -> 2 of 2, docked to Depot -> not docked, "
        "source tank 1 of 2 -> (not shown)",
        "key T (T, 0x14) on Left: changed: target tank 1 of 3 -> 2 of 3",
        "key - (-, 0x0C) on Left: consumed, no change",         // asks for a redraw that shows the same
        "button 1 (PR+) event 1 on Left: consumed, no change",  // nothing docked: stays Off
        "key ? (/, 0x35) on Left: changed: page status -> help",
        "key M (M, 0x32) on Left: consumed, no change",  // the help page takes command keys
        "key / (/, 0x35) on Left: changed: page help -> status",
        "key F (F, 0x21) on Left: not consumed",
        "button 3 event 4 on Left: not consumed",
    };
    expectInOrder(r.out, expected);
}

TEST_F(CliTest, TheModeSelectionListsTheModeByItsKeyAndGoesBackToTheModeShownBefore) {
    const Result r = run({"run", scenario("demo.scn"), "--no-pictures", "--time", "2", "--script",
                          script("select.script",
                                 "0 key M\n0 select Left\n0 show\n0 key Q\n0 key F\n0 key M\n"
                                 "1 select\n1 key M\n1 select\n1 show\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> expected{
        "key M (M, 0x32) on Left: not consumed (no mode shown)",
        "select on Left: the mode selection page (F for Fuel Management)",
        "key Q (Q, 0x10) on Left: not consumed (no mode on that key)",
        "key F (F, 0x21) on Left: selected Fuel Management",
        "key M (M, 0x32) on Left: changed: mode Cross-Feed -> Load",
        "select on Left: the mode selection page",
        "key M (M, 0x32) on Left: not consumed (no mode on that key)",
        "select on Left: back to Fuel Management",
    };
    expectInOrder(r.out, expected);
    const std::vector<std::string> left = pages(r.out, "Left");
    ASSERT_EQ(left.size(), 3u) << r.out;  // the selection, back in the mode at 1 s, and the end
    EXPECT_EQ(left[0].substr(0, left[0].find_last_not_of('\n') + 1), "Mode selection\n\n[F] Fuel Management");
    EXPECT_TRUE(contains(r.out, "Left: mode selection on Kestrel")) << r.out;
    // The instrument made anew for the same vessel goes on with the configuration.
    EXPECT_TRUE(contains(left[1], "Pump Mode: Load (SRC => TGT)")) << left[1];
}

TEST_F(CliTest, CrossFeedWithOneTankAsBothSaysWhyTheRateStaysOff) {
    // Cross-Feed opens with tank 1 as source and target; stepped apart, the rate goes up.
    const Result r = run({"run", scenario("docked-depot.scn"), "--no-pictures", "--time", "1", "--script",
                          script("same.script", "0 key +\n0 key T\n0 key +\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out,
                         "key + (=, 0x0D) on Left: consumed, no change: the pump cannot run with one tank "
                         "(1 of 3) as both source and target\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "key + (=, 0x0D) on Left: changed: rate Off -> Low\n")) << r.out;
}
