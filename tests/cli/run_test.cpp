// kestrane-sim run and the demo, end to end: the shipped scenarios and scripts, what the program
// prints (pages, tank table, conservation check), its exit status and the files it writes.
#include <algorithm>

#include "sim/formats/png_image.h"
#include "tests/cli/cli_support.h"

using namespace clitest;

namespace {

constexpr COLORREF kOlive = 0x8080, kDarkGreen = 0x8000, kLabel = 0xe0e0e0;

long countPixels(const sim::Image& image, COLORREF colour) {
    long n = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) n += image.pixel(x, y) == colour;
    return n;
}

}  // namespace

TEST_F(CliTest, DemoLoadsIntoTheReserveTankUntilFullThenSavesAndReloadsTheSamePage) {
    const Result r = run({});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // The simulator's Docking display, then mid-transfer at Medium, then stopped at the limit,
    // then the same page after the reload.
    const std::vector<std::string> left = pages(r.out, "Left");
    ASSERT_EQ(left.size(), 4u) << r.out;
    EXPECT_EQ(lines(left[0]).front(), "Docking") << left[0];
    EXPECT_TRUE(contains(r.out, "Left: Docking (not emulated) on Kestrel")) << r.out;
    EXPECT_TRUE(contains(left[1], "Pump Mode: Load (SRC => TGT)")) << left[1];
    EXPECT_TRUE(contains(left[1], "Pump Rate: Medium")) << left[1];
    EXPECT_TRUE(contains(left[1], "Target Tank 3 (of 3)")) << left[1];
    EXPECT_TRUE(contains(left[1], "Source Tank 1 (of 1)")) << left[1];
    EXPECT_TRUE(contains(left[1], "Docked To: Haven")) << left[1];
    EXPECT_TRUE(contains(left[2], "Pump Rate: Off")) << left[2];
    // As plain text the numbers stand apart from the fill.
    EXPECT_TRUE(contains(left[2], "\n 600.0 kg #### 100.00% #### 600.0 kg #\n")) << left[2];
    EXPECT_EQ(left[3], left[2]);
    EXPECT_TRUE(contains(r.out, "Left: shows the same page as when it was saved")) << r.out;

    // 1 kg at Low for a second, then Medium until tank 3 (180 of 600 kg) was full.
    auto table = tankTable(r.out);
    EXPECT_DOUBLE_EQ(row(table, "Kestrel", 3).after, 600.0);
    EXPECT_NEAR(row(table, "Kestrel", 3).in, 420.0, 1e-9);
    EXPECT_NEAR(row(table, "Haven", 1).after, 4080.0, 1e-9);
    EXPECT_NEAR(row(table, "Haven", 1).out, 420.0, 1e-9);
    EXPECT_DOUBLE_EQ(row(table, "Kestrel", 1).after, 1400.0);
    EXPECT_TRUE(contains(r.out, "Conservation check: passed: 16480.000 kg before = 16480.000 kg after"))
        << r.out;

    const std::vector<std::string> expected{"kestrane-out/demo-Left-0s.png", "kestrane-out/demo-Left-12s.png",
                                            "kestrane-out/demo-Left-50s-2.png",
                                            "kestrane-out/demo-Left-50s.png", "kestrane-out/demo-saved.scn"};
    EXPECT_EQ(filesWritten(), expected);
    for (const std::string& f : expected) EXPECT_TRUE(contains(r.out, "\n  " + f + "\n")) << f;

    // The pictures: the panel around the display with the labels; the target gauge olive
    // (40 %) while loading, dark green (100 %) once full.
    sim::Image during, full;
    ASSERT_TRUE(sim::readPng((work / "kestrane-out/demo-Left-12s.png").string(), &during));
    ASSERT_TRUE(sim::readPng((work / "kestrane-out/demo-Left-50s.png").string(), &full));
    EXPECT_GT(during.width, 512);
    EXPECT_GT(during.height, 512);
    EXPECT_GT(countPixels(during, kOlive), 1000);
    EXPECT_EQ(countPixels(full, kOlive), 0);
    EXPECT_GT(countPixels(full, kDarkGreen), countPixels(during, kDarkGreen));
    EXPECT_GT(countPixels(during, kLabel), 50);

    const std::string saved = readFile(work / "kestrane-out/demo-saved.scn");
    for (const char* item :
         {"  TYPE User\n  MODE Fuel Management\n  PUMPMODE 1\n  PUMPRATE 0\n  DOCKPORT 0\n  TARGETTANK 2\n"
          "  SOURCETANK 0:Haven\nEND_MFD\n",
          "  PRPLEVEL 0:0.560000 1:1.000000 2:1.000000\n", "  PRPLEVEL 0:0.816000\n"})
        EXPECT_TRUE(contains(saved, item)) << item << "\n" << saved;
}

TEST_F(CliTest, TheBuiltInDemoIsTheShippedScenarioAndScript) {
    const Result builtIn = run({"--out", "a"});
    const Result shipped =
        run({"run", scenario("demo.scn"), "--script", scenario("demo.script"), "--out", "b"});
    ASSERT_EQ(builtIn.status, 0) << builtIn.err;
    ASSERT_EQ(shipped.status, 0) << shipped.err;
    EXPECT_EQ(pages(shipped.out, "Left"), pages(builtIn.out, "Left"));
    const auto summary = [](const std::string& out) {
        const size_t from = out.find("Tanks from"), to = out.find("\nFiles written");
        return from == std::string::npos ? std::string() : out.substr(from, to - from);
    };
    EXPECT_FALSE(summary(builtIn.out).empty());
    EXPECT_EQ(summary(shipped.out), summary(builtIn.out));
}

TEST_F(CliTest, EachPumpModeMovesWhatItShouldAndThePumpStopsAtTheLimit) {
    struct Case {
        const char* scenario;
        const char* script;
        // Vessel, tank (from 1), and its kg after, in, out and vented.
        std::vector<std::tuple<std::string, int, double, double, double, double>> tanks;
        const char* lastPage;
        const char* stop;  // what the log says stopped the pump
    };
    const Case cases[] = {
        {"docked-depot.scn",
         "cross-feed.script",
         {{"Tanker", 1, 770.0, 520.0, 0.0, 0.0},
          {"Tanker", 2, 0.0, 0.0, 520.0, 0.0},
          {"Depot", 1, 1000.0, 0.0, 0.0, 0.0}},
         "Pump Mode: Cross-Feed",
         "5.22 s  the pump switched itself off: Tanker tank 2 ran dry"},
        {"docked-depot.scn",
         "unload.script",
         {{"Tanker", 2, 0.0, 0.0, 520.0, 0.0},
          {"Depot", 1, 1520.0, 520.0, 0.0, 0.0},
          {"Tanker", 1, 250.0, 0.0, 0.0, 0.0}},
         "Pump Mode: Unload (TGT => SRC)",
         "the pump switched itself off: Tanker tank 2 ran dry"},
        {"docked-depot.scn",
         "vent.script",
         {{"Tanker", 1, 0.0, 0.0, 0.0, 250.0},
          {"Tanker", 2, 520.0, 0.0, 0.0, 0.0},
          {"Depot", 1, 1000.0, 0.0, 0.0, 0.0}},
         "OVERBOARD VENT",
         "25.02 s  the pump switched itself off: Tanker tank 1 ran dry"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const Result r = run({"run", scenario(c.scenario), "--script", scenario(c.script), "--no-pictures"});
        ASSERT_EQ(r.status, 0) << r.err;
        auto table = tankTable(r.out);
        for (const auto& [vessel, tank, after, in, out, vented] : c.tanks) {
            SCOPED_TRACE(vessel + " " + std::to_string(tank));
            const TankRow row = clitest::row(table, vessel, tank);
            EXPECT_NEAR(row.after, after, 1e-9);
            EXPECT_NEAR(row.in, in, 1e-9);
            EXPECT_NEAR(row.out, out, 1e-9);
            EXPECT_NEAR(row.vented, vented, 1e-9);
        }
        const std::vector<std::string> left = pages(r.out, "Left");
        ASSERT_FALSE(left.empty());
        EXPECT_TRUE(contains(left.back(), c.lastPage)) << left.back();
        EXPECT_TRUE(contains(left.back(), "Pump Rate: Off")) << left.back();
        EXPECT_TRUE(contains(r.out, "Conservation check: passed")) << r.out;
        EXPECT_TRUE(contains(r.out, c.stop)) << r.out;
        EXPECT_TRUE(filesWritten().empty());
    }
}

TEST_F(CliTest, ThePilotsCrossFeedFillsTheRcsTankAndPassesTheCheckWhenEverItStarts) {
    // T, then + twice a second later: 540 kg at 10 kg/s. However the steps fall, the last ones
    // leave traces too small to change the main tank's double; none is taken for a fault.
    const struct {
        double start;
        const char* accel;
    } runs[] = {{0.0, "1"}, {0.37, "1"}, {3.51, "1"}, {12.013, "1"}, {0.0, "10"}, {7.7, "3"}};
    for (const auto& [start, accel] : runs) {
        SCOPED_TRACE(std::to_string(start) + " s at x" + accel);
        const std::string at = std::to_string(start);
        const Result r = run({"run", scenario("pilot/Delta-glider cross-feeds its RCS tank.scn"),
                              "--no-pictures", "--accel", accel, "--script",
                              script("cf.script", at + " key T\n+1 key +\n+0 key +\n+60 show\n")});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, "Conservation check: passed")) << r.out;
        EXPECT_TRUE(contains(r.out, "the pump switched itself off: GL-01 tank 2 is full")) << r.out;
        EXPECT_NEAR(tankRow(r.out, "GL-01", 2).in, 540.0, 1e-9);
        EXPECT_NEAR(tankRow(r.out, "GL-01", 1).out, 540.0, 1e-9);
    }
}

TEST_F(CliTest, TheModuleIsGivenStepsOfStepTimesAccelerationAlsoWhenTheScriptChangesIt) {
    // Cross-feed at 100 kg/s: tank 2's 520 kg run dry 5.2 s in, and the pump stops at the end of
    // the step in which they did. What moves does not depend on the steps.
    const std::string crossFeed = "0 key S\n0 key +\n0 key +\n0 key +\n";
    struct Case {
        std::vector<std::string> options;
        std::string script;
        const char* says;  // of the steps
        const char* stop;
        const char* steps;  // counted by the check
    };
    const Case cases[] = {
        {{"--step", "0.1", "--accel", "3"},
         crossFeed,
         "frames of 0.1 s at time acceleration 3",
         "     5.40 s  the pump switched itself off: Tanker tank 2 ran dry\n",
         "27 steps: 18 moved propellant"},
        {{},
         crossFeed + "2 accel 25\n",
         "     2.00 s  time acceleration 25 (steps of 0.5 s)\n",
         "     5.50 s  the pump switched itself off: Tanker tank 2 ran dry\n",
         "112 steps: 107 moved propellant"},  // 100 of 0.02 s, then 12 of 0.5 s
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        std::vector<std::string> args{
            "run",      scenario("docked-depot.scn"),    "--no-pictures", "--time", "8",
            "--script", script("steps.script", c.script)};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, c.says)) << r.out;
        EXPECT_TRUE(contains(r.out, c.stop)) << r.out;
        EXPECT_TRUE(contains(r.out, c.steps)) << r.out;
        EXPECT_NEAR(tankRow(r.out, "Tanker", 1).in, 520.0, 1e-9);
        EXPECT_NEAR(tankRow(r.out, "Tanker", 2).after, 0.0, 1e-9);
    }
}

TEST_F(CliTest, ADisplayOpenedOnAVesselOfAnotherClassShowsThatVesselsTanks) {
    const Result r = run({"run", scenario("docked-depot.scn"), "--no-pictures", "--time", "1", "--script",
                          script("open.script", "0 open Right Depot\n0 show Right\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "open Right: switched to Fuel Management on Depot\n")) << r.out;
    const std::vector<std::string> right = pages(r.out, "Right");
    ASSERT_FALSE(right.empty()) << r.out;
    EXPECT_EQ(lines(right[0]).front(), "Fuel Mgt Depot (ProjectAlpha_ISS)");
    EXPECT_TRUE(contains(right[0], "Target Tank 1 (of 1)\n 1000 kg ")) << right[0];
    EXPECT_TRUE(contains(right[0], " SINGLE TANK ONLY\n")) << right[0];
}

TEST_F(CliTest, ASavedRunningLoadRunsOnUntilTheTankIsFull) {
    const Result r = run({"run", scenario("load-running.scn"), "--time", "30", "--step", "0.1"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto table = tankTable(r.out);
    EXPECT_DOUBLE_EQ(row(table, "Tanker", 3).after, 600.0);
    EXPECT_NEAR(row(table, "Depot", 1).after, 4350.0, 1e-9);
    EXPECT_TRUE(contains(r.out, "Run:      30.00 s of simulated time, frames of 0.1 s")) << r.out;
    // Without a script the displays are shown at the end.
    const std::vector<std::string> left = pages(r.out, "Left");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(contains(left[0], "Pump Rate: Off"));
    EXPECT_EQ(filesWritten(), std::vector<std::string>{"kestrane-out/load-running-Left-end.png"});
}

TEST_F(CliTest, ADockedSourceThatLeavesMidTransferStopsThePump) {
    // Undocked: the display shows the empty port; removed: the vessel's propellant leaves with
    // it and the check accounts for it.
    const Result undocked =
        run({"run", scenario("load-running.scn"), "--script", scenario("undock.script"), "--no-pictures"});
    ASSERT_EQ(undocked.status, 0) << undocked.err;
    auto table = tankTable(undocked.out);
    EXPECT_NEAR(row(table, "Tanker", 3).after, 505.0, 1e-9);  // 450 kg + 5.5 s at 10 kg/s
    EXPECT_NEAR(row(table, "Depot", 1).after, 4445.0, 1e-9);
    const std::vector<std::string> left = pages(undocked.out, "Left");
    ASSERT_EQ(left.size(), 2u);
    EXPECT_TRUE(contains(left[0], " NOT DOCKED")) << left[0];
    EXPECT_TRUE(contains(left[0], "Pump Rate: Off")) << left[0];
    EXPECT_TRUE(contains(undocked.out, "Conservation check: passed")) << undocked.out;
    EXPECT_TRUE(contains(undocked.out, "5.52 s  the pump switched itself off: Depot and Tanker undocked\n"))
        << undocked.out;

    const Result removed = run({"run", scenario("load-running.scn"), "--no-pictures", "--script",
                                script("remove.script", "2.5 remove Depot\n3 show\n5 key + Left\n")});
    ASSERT_EQ(removed.status, 0) << removed.err;
    table = tankTable(removed.out);
    // As the simulator deletes it: at the end of the frame, after one more step of the transfer.
    EXPECT_NEAR(row(table, "Tanker", 3).after, 475.2, 1e-9);
    EXPECT_TRUE(std::isnan(row(table, "Depot", 1).after));
    EXPECT_TRUE(
        contains(removed.out,
                 "     2.52 s  remove Depot (at 2.50 s (line 1)), at the end of that frame: it leaves the "
                 "simulation with 4474.800 kg"))
        << removed.out;
    EXPECT_TRUE(contains(removed.out, "+ 4474.800 kg removed with vessels")) << removed.out;
    EXPECT_TRUE(contains(removed.out, "Conservation check: passed")) << removed.out;
    EXPECT_TRUE(contains(removed.out, "2.54 s  the pump switched itself off: Depot was removed\n"))
        << removed.out;
    // With nothing docked the rate key cannot start a transfer.
    EXPECT_TRUE(contains(pages(removed.out, "Left").back(), "Pump Rate: Off"));

    // The mode opened for the docked vessel: its configuration replaces the one that ran.
    const Result opened = run({"run", scenario("load-running.scn"), "--no-pictures", "--script",
                               script("open.script", "2 open 3 Depot\n3 show Left\n")});
    ASSERT_EQ(opened.status, 0) << opened.err;
    EXPECT_TRUE(
        contains(opened.out,
                 "2.00 s  open 3: a new display of the cockpit, 512 x 512, switched to Fuel Management on "
                 "Depot; this stopped the "
                 "transfer shown on Left (Tanker, rate Medium): "))
        << opened.out;
    EXPECT_NEAR(tankRow(opened.out, "Tanker", 3).after, 470.0, 1e-9);
    EXPECT_TRUE(contains(pages(opened.out, "Left").back(), "Pump Rate: Off"));
    EXPECT_FALSE(contains(opened.out, "switched itself off")) << opened.out;
}

TEST_F(CliTest, TwoDisplaysOfOneVesselShowOneConfigurationAlsoAfterSaveAndReload) {
    const Result r = run(
        {"run", scenario("two-displays.scn"), "--script", scenario("two-displays.script"), "--no-pictures"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> left = pages(r.out, "Left"), right = pages(r.out, "Right");
    ASSERT_EQ(left.size(), 4u);  // at 0, 3 and 8 s, and at the end, not having been shown then
    ASSERT_EQ(right.size(), 3u);
    // The right display is 400 x 300: another layout, the same configuration.
    EXPECT_TRUE(contains(left[0], "Pump Rate: Low"));
    EXPECT_TRUE(contains(right[0], "Pump Rate: Low"));
    EXPECT_TRUE(contains(right[0], "Source Tank 2 (of 3)"));
    EXPECT_TRUE(contains(left[1], "Pump Rate: Medium")) << left[1];  // pressed on the right one
    EXPECT_TRUE(contains(left[2], "Pump Rate: Low")) << left[2];     // after the reload
    EXPECT_TRUE(contains(right[1], "Pump Rate: Low")) << right[1];
    EXPECT_TRUE(contains(left[3], "Pump Rate: Low")) << left[3];
    EXPECT_TRUE(contains(left[3], "296.0 kg")) << left[3];  // the transfer ran on after the reload
    EXPECT_TRUE(contains(r.out, "Left: shows the same page as when it was saved"));
    EXPECT_TRUE(contains(r.out, "Right: shows the same page as when it was saved"));
    // Low 2 s, Medium 4 s (with the left display closed for one of them), Low 4 s.
    auto table = tankTable(r.out);
    EXPECT_NEAR(row(table, "Tanker", 1).after, 296.0, 1e-9);
    // Saved at 8 s with 476 kg of 10400: the level 0.045769 as the simulator writes it, so
    // 475.998 kg after the reload, then 2 s at Low.
    EXPECT_NEAR(row(table, "Tanker", 2).after, 473.998, 5e-4);  // as the table prints it
    EXPECT_EQ(filesWritten(), std::vector<std::string>{"kestrane-out/two-displays-saved.scn"});
}

TEST_F(CliTest, SavingLeavesATransferRunningAndTheSavedFileBringsItBack) {
    const Result reloaded = run(
        {"run", scenario("load-running.scn"), "--script", scenario("save-reload.script"), "--no-pictures"});
    ASSERT_EQ(reloaded.status, 0) << reloaded.err;
    EXPECT_DOUBLE_EQ(tankRow(reloaded.out, "Tanker", 3).after, 600.0);
    EXPECT_TRUE(contains(reloaded.out, "Left: shows the same page as when it was saved")) << reloaded.out;
    const std::string saved = readFile(work / "kestrane-out/load-running-saved.scn");
    EXPECT_TRUE(contains(saved, "PUMPRATE 2")) << saved;
    EXPECT_TRUE(contains(saved, "PRPLEVEL 0:0.100000 1:0.050000 2:0.833333\n")) << saved;  // 450 + 50 kg

    // Saved only: the transfer runs on, at 10 kg/s for the second after the save.
    const Result savedOnly = run({"run", scenario("load-running.scn"), "--no-pictures", "--out", "elsewhere",
                                  "--script", script("save.script", "5 save only.scn\n6 show\n")});
    ASSERT_EQ(savedOnly.status, 0) << savedOnly.err;
    EXPECT_DOUBLE_EQ(tankRow(savedOnly.out, "Tanker", 3).after, 510.0);
    EXPECT_TRUE(contains(savedOnly.out, "the flight goes on as it was")) << savedOnly.out;
    EXPECT_TRUE(contains(pages(savedOnly.out, "Left").front(), "Pump Rate: Medium")) << savedOnly.out;
    EXPECT_TRUE(fs::exists(work / "elsewhere/only.scn"));

    // The saved file runs as a scenario of its own, from where it was saved.
    const Result again = run({"run", (work / "elsewhere/only.scn").string(), "--time", "1", "--no-pictures"});
    ASSERT_EQ(again.status, 0) << again.err;
    // The level 0.833333 of 600 kg, as the table prints it.
    EXPECT_NEAR(tankRow(again.out, "Tanker", 3).before, 500.0, 5e-4);
}

TEST_F(CliTest, ThePumpsOwnStopIsLoggedWhenItHappensAndNoLaterKeyTakesTheBlame) {
    std::ofstream(root / "pod.cfg") << "Pod 0 100 100\n";
    std::ofstream(root / "pod.scn") << "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\nEND_MFD\n"
                                       "BEGIN_SHIPS\nPod:Pod\n  PRPLEVEL 0:0.999 1:1\nEND\nEND_SHIPS\n";
    const Result r = run({"--classes", (root / "pod.cfg").string(), "run", (root / "pod.scn").string(),
                          "--no-pictures", "--script", script("s.script", "0 key S\n0 key +\n1 key T\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    // 0.1 kg of room at 1 kg/s: full after 0.10 s, but for the trace of room rounding leaves,
    // which the next step of 0.02 s moves.
    EXPECT_TRUE(
        contains(r.out,
                 "     0.12 s  the pump switched itself off: Pod tank 1 is full (one step later than rate x "
                 "time: rounding left 1.4e-14 kg for this step to move)\n"
                 "     1.00 s  key T (T, 0x14) on Left: changed: target tank 1 of 2 -> 2 of 2\n"))
        << r.out;
}

TEST_F(CliTest, ARateTheBlockLeavesWithNothingToPumpBetweenIsLoggedAtEachLoad) {
    // A pump mode out of range leaves Cross-Feed, on a vessel of one tank; a source vessel that
    // is not there leaves no source tank. The module keeps the rates; the log says they are idle.
    const std::string mfd = "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n";
    std::ofstream(root / "one.scn") << mfd +
                                           "  PUMPMODE 7\n  PUMPRATE 3\nEND_MFD\n"
                                           "BEGIN_SHIPS\nA:ShuttlePB\n  FUEL 0.5\nEND\nEND_SHIPS\n";
    std::ofstream(root / "nobody.scn") << mfd +
                                              "  SOURCETANK 1:Nobody\n  PUMPRATE 2\nEND_MFD\n"
                                              "BEGIN_SHIPS\nG:DeltaGlider\nEND\nEND_SHIPS\n";
    const Result r = run({"run", (root / "one.scn").string(), "--no-pictures", "--script",
                          script("s.script", "1 load " + (root / "nobody.scn").string() + "\n2 note end\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out,
                         "     0.00 s  Left: rate High, but the pump cannot run: the page shows SINGLE TANK "
                         "ONLY in place of the source tank\n"))
        << r.out;
    // The source vessel that is not there is the reason, said once.
    EXPECT_TRUE(
        contains(r.out,
                 "     1.00 s  the block's SOURCETANK 1:Nobody names no vessel of the scenario: the page "
                 "shows NO SOURCE TANK, and the rate Medium cannot run\n"))
        << r.out;
    EXPECT_FALSE(contains(r.out, "NO SOURCE TANK in place")) << r.out;
    EXPECT_TRUE(contains(r.out, "Conservation check: passed")) << r.out;
}

TEST_F(CliTest, TheTankTableLinesUpAnyMassAndNamesAreShownPrintable) {
    std::ofstream(root / "big.cfg") << "Big 0 1e15 1e15\nSmall 0 0.005\n";
    std::ofstream(root / "big.scn", std::ios::binary)
        << "BEGIN_DESC\nA description with a stray byte: \xff.\nEND_DESC\n"
           "BEGIN_SHIPS\nBig\xfe:Big\n  PRPLEVEL 0:0.123456 1:1\nEND\nS:Small\n  FUEL 1\nEND\nEND_SHIPS\n";
    const Result r = run({"--classes", (root / "big.cfg").string(), "run", (root / "big.scn").string(),
                          "--no-pictures", "--time", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "  A description with a stray byte: \\xFF.\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "\xfe")) << r.out;
    std::vector<std::string> table;
    for (const std::string& line : lines(r.out.substr(r.out.find("Tanks from")))) {
        if (line.rfind("Conservation", 0) == 0) break;
        table.push_back(line);
    }
    ASSERT_EQ(table.size(), 6u) << r.out;  // the heading, the column names, three tanks, the total
    EXPECT_EQ(table[2].rfind("Big\\xFE    1 1000000000000000.000  123456000000000.000", 0), 0u) << table[2];
    EXPECT_EQ(tankRow(r.out, "S", 1).capacity, 0.005) << table[4];
    // Every column ends where its name ends.
    for (const char* column : {"Capacity kg", "Before kg", "After kg", "Vented kg"}) {
        const size_t end = table[1].find(column) + std::string(column).size();
        for (size_t i = 2; i < table.size(); ++i) {
            if (i + 1 == table.size() && std::string(column) == "Capacity kg") continue;  // no total
            ASSERT_GE(table[i].size(), end) << table[i];
            EXPECT_NE(table[i][end - 1], ' ') << column << "\n" << table[i];
            EXPECT_TRUE(table[i].size() == end || table[i][end] == ' ') << column << "\n" << table[i];
        }
    }
}

TEST_F(CliTest, ARunWithoutDisplaysHasOneBlankLineBeforeItsTable) {
    std::ofstream(root / "nod.scn") << "BEGIN_SHIPS\nA:ShuttlePB\n  FUEL 1\nEND\nEND_SHIPS\n";
    const Result r = run({"run", (root / "nod.scn").string(), "--time", "1", "--no-pictures"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "whenever it asks\n\nTanks from 0 s to 1.00 s:\n")) << r.out;
}

TEST_F(CliTest, AFocusSwitchOpensTheSameModesForTheNewFocusAndStopsTheTransfer) {
    const Result r =
        run({"run", scenario("load-running.scn"), "--no-pictures", "--script",
             script("focus.script",
                    "2 focus Depot\n2 show Left\n3 save focus.scn\n4 remove Depot\n5 show Left\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        contains(r.out,
                 "     2.00 s  focus Depot; the displays of Tanker closed and opened again for Depot "
                 "(Left: Fuel Management, Right: off); the running transfer stopped: the module resets "
                 "it when its display opens for another vessel\n"))
        << r.out;
    // The instrument was made for the new focus vessel, which the save names.
    const std::vector<std::string> left = pages(r.out, "Left");
    ASSERT_EQ(left.size(), 2u) << r.out;
    EXPECT_EQ(lines(left[0]).front(), "Fuel Mgt Depot (ProjectAlpha_ISS)");
    EXPECT_TRUE(contains(left[0], "Pump Rate: Off")) << left[0];
    const std::string saved = readFile(work / "kestrane-out/focus.scn");
    EXPECT_TRUE(contains(saved, "BEGIN_FOCUS\n  Ship Depot\nEND_FOCUS\n")) << saved;
    EXPECT_FALSE(contains(saved, "BEGIN_MFD Right")) << saved;  // off: no block, as the simulator
    // The focus vessel leaving: the focus and the cockpit go to another vessel first.
    EXPECT_TRUE(contains(r.out,
                         "     4.02 s  remove Depot: the focus goes to Tanker; the displays of Depot closed "
                         "and opened again for Tanker (Left: Fuel Management, Right: off)\n"))
        << r.out;
    EXPECT_EQ(lines(left[1]).front(), "Fuel Mgt Tanker (DG-S)");
    // Two seconds at Medium, then nothing.
    EXPECT_NEAR(tankRow(r.out, "Tanker", 3).after, 470.0, 1e-9);
    EXPECT_TRUE(contains(r.out, "Conservation check: passed")) << r.out;
}

TEST_F(CliTest, ADisplayTheScenarioHasNoBlockForStartsOffAndAScriptSwitchesItOn) {
    // The shipped scenario without its Left block, as the simulator's Vessel-vessel.scn has none.
    std::string text = readFile(scenario("docked-depot.scn"));
    const size_t from = text.find("BEGIN_MFD Left"), to = text.find("END_MFD\n");
    ASSERT_NE(to, std::string::npos);
    text.erase(from, to + 8 - from);
    std::ofstream(root / "nomfd.scn") << text;
    const Result r = run({"run", (root / "nomfd.scn").string(), "--no-pictures", "--script",
                          script("on.script",
                                 "0 show\n1 key M Left\n1 power Left\n2 select Left\n2 key F Left\n"
                                 "3 save on.scn\n4 power Left\n4 save off.scn\n5 power Left\n5 open Right\n"
                                 "6 show\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line :
         {"     1.00 s  key M (M, 0x32) on Left: not consumed (no mode shown)\n",
          "     1.00 s  power Left: on, Orbit (not emulated)\n",
          "     2.00 s  key F (F, 0x21) on Left: selected Fuel Management\n",
          "     4.00 s  power Left: off\n", "     5.00 s  power Left: on, Fuel Management\n"})
        EXPECT_TRUE(contains(r.out, line)) << line << r.out;
    // Nothing to show while both are off; both show the mode at 6 s.
    ASSERT_EQ(pages(r.out, "Left").size(), 1u) << r.out;
    ASSERT_EQ(pages(r.out, "Right").size(), 1u) << r.out;
    EXPECT_EQ(lines(pages(r.out, "Right")[0]).front(), "Fuel Mgt Tanker (DG-S)");
    // Saved as the simulator saves: a block for the display that is on, none for one that is off.
    const std::string on = readFile(work / "kestrane-out/on.scn");
    EXPECT_TRUE(contains(on, "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n")) << on;
    EXPECT_FALSE(contains(on, "BEGIN_MFD Right")) << on;
    EXPECT_FALSE(contains(readFile(work / "kestrane-out/off.scn"), "BEGIN_MFD"))
        << readFile(work / "kestrane-out/off.scn");
}

TEST_F(CliTest, WhatOnlyThePagesShowIsLoggedAtTheStartAtEachLoadAndWhenThePumpStops) {
    // A class of three tanks and two ports. The first file's levels are out of range, its block
    // names a mode there is none of and one tank as both source and target; the second's names a
    // port and a tank the tanker does not have.
    std::ofstream(root / "tanker.cfg") << "Tanker 2 1000 500 200\nDepot 1 20000\n";
    const std::string mfd = "BEGIN_MFD Left\n  TYPE User\n  MODE Fuel Management\n";
    std::ofstream(root / "odd.scn")
        << mfd +
               "  PUMPMODE 9\n  PUMPRATE 2\n  TARGETTANK 0\n  SOURCETANK 0:Tanker\n"
               "END_MFD\nBEGIN_SHIPS\nTanker:Tanker\n  PRPLEVEL 0:1e308 1:-0.5\nEND\n"
               "END_SHIPS\n";
    std::ofstream(root / "docked.scn") << mfd +
                                              "  PUMPMODE 1\n  PUMPRATE 2\n  DOCKPORT 7\n  TARGETTANK 99\n"
                                              "  SOURCETANK 0:Depot\nEND_MFD\nBEGIN_SHIPS\nTanker:Tanker\n"
                                              "  DOCKINFO 0:0,Depot\nEND\nDepot:Depot\n  PRPLEVEL 0:0.5\n"
                                              "  DOCKINFO 0:0,Tanker\nEND\nEND_SHIPS\n";
    const Result r = run({"--classes", (root / "tanker.cfg").string(), "run", (root / "odd.scn").string(),
                          "--no-pictures", "--script",
                          script("s.script", "0 key S\n0 key +\n1 load " + (root / "docked.scn").string() +
                                                 "\n2 note end\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string odd = (root / "odd.scn").string();
    for (
        const std::string& line : std::vector<std::string>{
            // The levels as read, before the run.
            "     0.00 s  " + odd +
                ":11: PRPLEVEL '0:1e308': a level is a fraction of the capacity, 0 to 1; "
                "taken as 1 (full)\n",
            "     0.00 s  " + odd +
                ":11: PRPLEVEL '1:-0.5': a level is a fraction of the capacity, 0 to 1; "
                "taken as 0 (empty)\n",
            // What the instrument made of its block, and a rate with nothing to pump, before the keys.
            "     0.00 s  the block's PUMPMODE 9 reads as mode Cross-Feed: the modes are 0 to 3\n"
            "     0.00 s  Left: rate Medium, but the pump cannot run: one tank (1 of 3) is both its source "
            "and its target\n"
            "     0.00 s  key S",
            // From the empty tank 2 into the full tank 1: nothing moves, the page shows the pump off.
            "     0.50 s  the pump switched itself off: Tanker tank 2 is empty and Tanker tank 1 is full; "
            "nothing was moved since the rate was set to Low at 0.00 s\n",
            "     1.00 s  the block's DOCKPORT 7 names no port of the 2 Tanker has: it reads as docking port "
            "1 of 2\n"
            // The page draws the first tank in its place and switches the pump off: said once, at
            // the load, not again when the page shows the pump off.
            "     1.00 s  the block's TARGETTANK 99 names no tank of the 3 Tanker has: the page takes tank 1 "
            "and switches the pump off\n"
            "     2.00 s  end\n"}) {
        EXPECT_TRUE(contains(r.out, line)) << line << "\nin:\n" << r.out;
    }
}

TEST_F(CliTest, ASavedConfigurationOfAnotherVesselVentsThatVesselAfterTheLoadOrNothing) {
    // The external display stuck to the tanker, the focus on the depot, the window resized: the
    // configuration is the tanker's again, and its vent must stay the tanker's across the load.
    const Result r = run({"run", scenario("docked-depot.scn"), "--no-pictures", "--script",
                          script("s.script",
                                 "0 open Ext1 Tanker\n+0 pin Ext1 on\n1 focus Depot\n2 resize Ext1 400 400\n"
                                 "+0 key M Ext1\n+0 key M Ext1\n+0 key M Ext1\n+0 key + Ext1\n3 save v.scn\n"
                                 "4 load v.scn\n10 show Left\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string saved = readFile(work / "kestrane-out/v.scn");
    EXPECT_TRUE(
        contains(saved, "  MODE Fuel Management\n  TARGETVESSEL Tanker\n  PUMPMODE 3\n  PUMPRATE 1\n"))
        << saved;
    EXPECT_TRUE(contains(r.out, "|Fuel Mgt Tanker (DG-S)")) << r.out;
    EXPECT_TRUE(contains(r.out, "     4.00 s    Ext1: closed by the load: external displays are not saved\n"))
        << r.out;
    // 8 s at 1 kg/s, from 2 s to 10 s; the depot keeps its 1000 kg.
    EXPECT_TRUE(contains(r.out, "\nDepot     1    5000.000  1000.000 1000.000 0.000  0.000     0.000\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "\nTanker    1    2500.000   250.000  243.000 0.000  0.000     8.000\n"))
        << r.out;

    // Opened again, then the tanker removed: the display stuck to it goes, and the log names it.
    const Result removed =
        run({"run", scenario("docked-depot.scn"), "--no-pictures", "--script",
             script("r.script",
                    "0 open Ext1 Tanker\n+0 pin Ext1 on\n+0 open Ext1\n+0 open 3 Tanker 300 200\n1 "
                    "remove Tanker\n")});
    EXPECT_TRUE(contains(removed.out, "open 3: a new display of the cockpit, 300 x 200, switched to"))
        << removed.out;
    EXPECT_TRUE(contains(removed.out,
                         "     0.00 s  open Ext1: it showed Fuel Management on Tanker already: the mode "
                         "closed and opened again\n"))
        << removed.out;
    EXPECT_TRUE(contains(removed.out, "of propellant; its displays close: Ext1\n")) << removed.out;

    // The same file once the tanker is gone from it: nothing is restored, and the log says why.
    std::string gone = saved;
    gone.replace(gone.find("TARGETVESSEL Tanker"), 19, "TARGETVESSEL Ghost");
    std::ofstream(root / "gone.scn") << gone;
    const Result g = run({"run", (root / "gone.scn").string(), "--no-pictures", "--time", "2"});
    ASSERT_EQ(g.status, 0) << g.err;
    EXPECT_TRUE(contains(g.out,
                         "     0.00 s  the block's TARGETVESSEL Ghost names no vessel of the scenario: its "
                         "configuration is not restored, and the display starts afresh with the pump Off\n"))
        << g.out;
    EXPECT_TRUE(contains(g.out, "\nTotal                    1769.000 1769.000 0.000  0.000     0.000\n"))
        << g.out;
}

TEST_F(CliTest, AResizeOrViewSwitchSaysTheHelpPageClosed) {
    std::ofstream(root / "views.scn")
        << readFile(scenario("docked-depot.scn")) << "BEGIN_KESTRANE_SIM\n  VIEW panel 232 232\nEND\n";
    const Result r = run({"run", (root / "views.scn").string(), "--no-pictures", "--script",
                          script("h.script",
                                 "0 key ?\n1 resize Left 400 400\n1.5 resize Left 300 300\n2 key "
                                 "?\n3 view panel\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string closed = "(the help page closed with it: the status page is back)";
    EXPECT_TRUE(contains(r.out,
                         "1.00 s  resize Left to 400 x 400: Fuel Management closed and opened again at that "
                         "size " +
                             closed + "\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out,
                         "1.50 s  resize Left to 300 x 300: Fuel Management closed and opened again at that "
                         "size\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "(Left: Fuel Management " + closed + ", Right: off)")) << r.out;
}

TEST_F(CliTest, ShowPrintsThePageAsLastDrawnAndALoadKeepsBothCockpitDisplays) {
    // Loading at 10 kg/s: drawn every 0.5 s, a page shown at 0.7 s is the one drawn at 0.5 s; with
    // an hour between redraws it is still the first.
    const std::string s = script("s.script", "0.7 show Left\n1 save x.scn\n2 load x.scn\n3 show Right\n");
    std::map<std::string, Result> runs;
    for (const char* refresh : {"0.5", "3600"})
        runs[refresh] =
            run({"run", scenario("load-running.scn"), "--refresh", refresh, "--no-pictures", "--script", s});
    for (const auto& [refresh, r] : runs) {
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(
            r.out, std::string("Left: Fuel Management on Tanker, 512 x 512 pixels, at 0.70 s (as drawn at ") +
                       (refresh == "0.5" ? "0.50 s)\n" : "0.00 s)\n")))
            << r.out;
        // The cockpit keeps its Right display, off, in the session the load starts.
        EXPECT_TRUE(contains(r.out, "\nRight: off on Tanker, 512 x 512 pixels, at 3.00 s\n")) << r.out;
    }
    const std::string early = pages(runs["3600"].out, "Left")[0], later = pages(runs["0.5"].out, "Left")[0];
    EXPECT_TRUE(contains(early, " 450.0 kg ")) << early;
    EXPECT_TRUE(contains(later, " 455.0 kg ")) << later;
}

TEST_F(CliTest, FilesThatCannotBeWrittenAreNamedAfterTheLogAndTheOthersAreWritten) {
    // Files of at most 8 KiB, as on a nearly full disk: the pictures fail, the save goes in. The
    // Right display is too large to draw: no picture of it, and the run says so.
    std::string text = readFile(scenario("docked-depot.scn"));
    text += "BEGIN_KESTRANE_SIM\n  DISPLAY Right 8192 8192\nEND\n";
    std::ofstream(root / "big.scn") << text;
    // The limit's signal is left as it comes: the program must not die of it.
    const std::string command = "ulimit -f 16; exec '" + kSim + "' run '" + (root / "big.scn").string() +
                                "' --script '" +
                                script("s.script", "0 open Right Tanker\n0 show\n1 save a.scn\n") + "'";
    // Through a pipe, which no file size limits: all that is printed arrives.
    const Result r = execute({"bash", "-c", "set -o pipefail; (" + command + ") | cat"}, work, root / "io");
    EXPECT_TRUE(contains(r.out, "     1.00 s  save a.scn: ")) << r.out;
    EXPECT_TRUE(contains(r.out, "\nConservation check: passed")) << r.out;
    EXPECT_TRUE(contains(r.out,
                         "\nFiles written:\n  kestrane-out/a.scn\n\nNot written:\n"
                         "  kestrane-out/big-Right-0s.png: not made: 8192 x 8192 pixels is more than the "
                         "16777216 (4096 x 4096) this program draws\n"
                         "  kestrane-out/big-Right-end.png: not made: "))
        << r.out;
    EXPECT_TRUE(contains(r.out, "  kestrane-out/big-Left-0s.png: cannot write the picture: ")) << r.out;
    EXPECT_TRUE(contains(r.out, ": File too large\n")) << r.out;
    EXPECT_EQ(r.err, "kestrane-sim: 2 of 3 file(s) could not be written (see \"Not written\" above)\n");
    EXPECT_EQ(r.status, 1);
    // The save whole, and nothing half written beside it.
    EXPECT_EQ(filesWritten(), std::vector<std::string>{"kestrane-out/a.scn"});
    EXPECT_TRUE(contains(readFile(work / "kestrane-out/a.scn"), "END_SHIPS"));
}

TEST_F(CliTest, APinnedExternalDisplayKeepsItsVesselAcrossAFocusSwitchAndNoExternalDisplayIsSaved) {
    const Result r =
        run({"run", scenario("load-running.scn"), "--no-pictures", "--script",
             script("ext.script",
                    "1 open Ext1 Tanker\n1 open Ext2 Tanker 400 200\n1 pin Ext1 on\n"
                    "2 focus Depot\n2 show\n2.6 show Ext1\n3 resize Ext1 500 400\n4 save ext.scn\n")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out,
                         "     1.00 s  open Ext1: an external display, 300 x 300, switched to Fuel "
                         "Management on Tanker\n"))
        << r.out;
    // The cockpit and the display that follows the focus open for the depot, which stops the
    // transfer; the pinned one stays on the tanker and shows the one configuration there is.
    EXPECT_TRUE(contains(r.out,
                         "     2.00 s  focus Depot; the displays of Tanker closed and opened again for "
                         "Depot (Left: Fuel Management, Right: off, Ext2: Fuel Management); pinned, "
                         "staying: Ext1 on Tanker; the running transfer stopped"))
        << r.out;
    // Shown at 2 s as drawn before the switch; from its next redraw, the depot's configuration.
    ASSERT_EQ(pages(r.out, "Ext1").size(), 3u) << r.out;
    EXPECT_EQ(lines(pages(r.out, "Ext1")[1]).front(), "Fuel Mgt Depot (ProjectAlpha_ISS)");
    EXPECT_TRUE(contains(r.out, "\nExt2: Fuel Management on Depot, 400 x 200 pixels, at 2.00 s\n")) << r.out;
    // Opened again at the new size, for its own vessel: the configuration is set up for it.
    EXPECT_TRUE(contains(r.out,
                         "     3.00 s  resize Ext1 to 500 x 400: Fuel Management closed and opened again "
                         "at that size\n"))
        << r.out;
    EXPECT_EQ(lines(pages(r.out, "Ext1")[2]).front(), "Fuel Mgt Tanker (DG-S)");
    const std::string saved = readFile(work / "kestrane-out/ext.scn");
    EXPECT_TRUE(contains(saved, "BEGIN_MFD Left\n")) << saved;
    EXPECT_FALSE(contains(saved, "Ext")) << saved;
}
