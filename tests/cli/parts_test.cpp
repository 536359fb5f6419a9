// The parts of kestrane-sim on their own: the tank ledger's conservation check must catch
// propellant that appears, disappears or is moved unevenly; scripts parse into actions; the
// emulator redraws its displays and takes keys as the simulator does.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>

#include "sim/cli/emulator.h"
#include "sim/cli/keys.h"
#include "sim/cli/ledger.h"
#include "sim/cli/play.h"
#include "sim/cli/script.h"
#include "sim/cli/transfer_watch.h"
#include "sim/world/display.h"
#include "sim/world/simulation.h"

namespace {

class LedgerTest : public ::testing::Test {
protected:
    sim::Simulation sim;
    sim::VesselRecord& ship = sim.addVessel({"Ship", "Tug", {{1000.0, 300.0}, {500.0, 100.0}}, 1});
    sim::VesselRecord& depot = sim.addVessel({"Depot", "Depot", {{5000.0, 4000.0}}, 1});
    cli::TankLedger ledger;

    // One time step in which `change` happens to the tanks.
    template <typename F>
    void step(F change) {
        ledger.beforeStep();
        change();
        ledger.afterStep();
    }
};

TEST_F(LedgerTest, TransfersAndVentsBalanceButPropellantFromNowhereOrLostInTransitFails) {
    ledger.begin(sim);
    for (int i = 0; i < 1000; ++i) {
        step([&] {
            depot.tanks[0].mass -= 0.1;
            ship.tanks[0].mass += 0.1;
        });
    }
    // The last trace of a transfer, too small to change the depot's double (half an ulp of
    // 3900 kg is 2.3e-13 kg): only the receiving tank shows it.
    step([&] { ship.tanks[0].mass += 1e-13; });
    step([&] { ship.tanks[1].mass -= 40.0; });  // vented
    // And a transfer into the depot whose last trace only the giving tank shows.
    step([&] {
        ship.tanks[1].mass -= 1.0;
        depot.tanks[0].mass += 1.0;
    });
    step([&] { ship.tanks[1].mass -= 1e-13; });
    step([] {});
    ledger.finish();
    cli::ConservationCheck c = ledger.check();
    EXPECT_TRUE(c.ok()) << cli::formatCheck(c);
    EXPECT_EQ(c.steps, 1005);
    EXPECT_EQ(c.transferSteps, 1003);
    EXPECT_EQ(c.ventSteps, 1);
    EXPECT_DOUBLE_EQ(c.vented, 40.0);
    EXPECT_NEAR(ledger.accounts()[1].out, 1.0 + 1e-13, 1e-14);
    EXPECT_NEAR(ledger.accounts()[0].in, 100.0, 1e-9);
    EXPECT_NEAR(ledger.accounts()[2].out, 100.0, 1e-9);
    EXPECT_NE(cli::formatCheck(c).find("Conservation check: passed"), std::string::npos);

    const struct {
        const char* what;
        std::function<void()> change;
        long long cli::ConservationCheck::*counter;
        const char* says;  // the whole line, however long
    } faults[] = {
        {"appears", [&] { ship.tanks[0].mass += 1.0; }, &cli::ConservationCheck::oddSteps,
         "\n  1 steps changed tanks in a way no pump mode does\n"},
        // Fifty times what rounding the depot's mass can hide.
        {"appears, a little", [&] { ship.tanks[0].mass += 1e-11; }, &cli::ConservationCheck::oddSteps,
         "\n  1 steps changed tanks in a way no pump mode does\n"},
        {"uneven",
         [&] {
             depot.tanks[0].mass -= 1.0;
             ship.tanks[0].mass += 1.0 + 1e-9;
         },
         &cli::ConservationCheck::unbalancedSteps,
         "\n  1 transfer steps moved different amounts out of one tank and into the other (worst 1e-09 "
         "kg)\n"},
        {"two givers",
         [&] {
             depot.tanks[0].mass -= 1.0;
             ship.tanks[1].mass -= 1.0;
             ship.tanks[0].mass += 2.0;
         },
         &cli::ConservationCheck::oddSteps, "\n  1 steps changed tanks in a way no pump mode does\n"},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        ledger.begin(sim);
        step(fault.change);
        ledger.finish();
        c = ledger.check();
        EXPECT_FALSE(c.ok());
        EXPECT_EQ(c.*fault.counter, 1);
        EXPECT_NE(cli::formatCheck(c).find("FAILED"), std::string::npos);
        EXPECT_NE(cli::formatCheck(c).find(fault.says), std::string::npos) << cli::formatCheck(c);
    }

    // A change between steps is no pump's doing either.
    ledger.begin(sim);
    ship.tanks[0].mass += 5.0;
    step([] {});
    ledger.finish();
    c = ledger.check();
    EXPECT_EQ(c.outsideChanges, 1);
    EXPECT_FALSE(c.ok());
}

TEST_F(LedgerTest, RemovedVesselsAndLoadedScenariosAreAccountedForSeparately) {
    ledger.begin(sim);
    step([&] {
        depot.tanks[0].mass -= 10.0;
        ship.tanks[0].mass += 10.0;
    });
    ledger.removing(depot, 1.0);
    sim.removeVessel(depot);
    step([] {});
    ledger.finish();
    cli::ConservationCheck c = ledger.check();
    EXPECT_TRUE(c.ok()) << cli::formatCheck(c);
    EXPECT_DOUBLE_EQ(c.removed, 3990.0);
    EXPECT_DOUBLE_EQ(c.after, 410.0);
    EXPECT_FALSE(ledger.accounts()[2].present);

    // A scenario with other masses: the difference is the load's, not the pump's.
    ledger.leaving();
    sim::Simulation other;
    sim::VesselRecord& again =
        other.addVessel({"Ship", "Tug", {{1000.0, 200.0}, {500.0, 100.0}, {50.0, 5.0}}, 0});
    ledger.loaded(other, "other.scn", 2.0);
    ledger.beforeStep();
    again.tanks[2].mass -= 5.0;
    ledger.afterStep();
    ledger.finish();
    c = ledger.check();
    EXPECT_TRUE(c.ok()) << cli::formatCheck(c);
    EXPECT_DOUBLE_EQ(c.loaded, -110.0 + 5.0);
    EXPECT_DOUBLE_EQ(c.vented, 5.0);
    EXPECT_TRUE(ledger.accounts().back().fromLoad);
}

// What play's panel says of the running transfer comes from the masses the ledger booked.
TEST_F(LedgerTest, TheRunningTransferShowsItsRateWhatItMovedAndWhenItsFirstTankReachesItsLimit) {
    ledger.begin(sim);
    cli::TransferWatch watch;
    const auto booked = [&](double dt, auto change) {
        step(change);
        watch.afterStep(ledger, dt);
    };
    const auto load = [&] {
        depot.tanks[0].mass -= 0.1;
        ship.tanks[0].mass += 0.1;
    };
    for (int i = 0; i < 10; ++i) booked(0.01, load);
    // 10 kg/s: the ship's tank, 301 of 1000 kg, is full long before the depot's 3999 kg run dry.
    EXPECT_NEAR(watch.rate(), 10.0, 1e-9);
    EXPECT_NEAR(watch.moved(), 1.0, 1e-9);
    EXPECT_NEAR(watch.timeLeft(), 69.9, 1e-9);
    EXPECT_EQ(watch.status(10.0),
              (std::vector<std::string>{"10 kg/s, Depot tank 1 => Ship tank 1", "1.000 kg moved so far",
                                        "Ship tank 1 is full in 1 min 10 s", "7.0 s of real time at x10"}));
    // A step too small for the depot's double to show is the same transfer.
    booked(1e-14, [&] { ship.tanks[0].mass += 1e-13; });
    EXPECT_NEAR(watch.moved(), 1.0, 1e-9);
    EXPECT_TRUE(watch.status(1.0).front().ends_with(" kg/s, Depot tank 1 => Ship tank 1"))
        << watch.status(1.0).front();

    // The other way round is another transfer, and the giving tank can be the first to its limit.
    booked(1.0, [&] {
        ship.tanks[1].mass -= 40.0;
        depot.tanks[0].mass += 40.0;
    });
    EXPECT_NEAR(watch.moved(), 40.0, 1e-9);
    EXPECT_EQ(watch.status(1.0),
              (std::vector<std::string>{"40 kg/s, Ship tank 2 => Depot tank 1", "40.000 kg moved so far",
                                        "Ship tank 2 runs dry in 1.5 s"}));
    booked(0.5, [&] { ship.tanks[1].mass -= 10.0; });
    EXPECT_EQ(watch.status(1.0),
              (std::vector<std::string>{"20 kg/s vented from Ship tank 2", "10.000 kg vented so far",
                                        "Ship tank 2 runs dry in 2.5 s"}));
    booked(0.5, [] {});
    EXPECT_FALSE(watch.running());
    EXPECT_EQ(watch.status(1.0), std::vector<std::string>{"none running"});

    EXPECT_EQ(cli::duration(41.94), "41.9 s");
    EXPECT_EQ(cli::duration(725.0), "12 min 05 s");
    EXPECT_EQ(cli::duration(12000.0), "3 h 20 min");
}

// play's lines break between words; a word longer than the line is cut, and what does not fit
// ends in a mark.
TEST(Play, LinesWrapAtWordsAndWhatDoesNotFitEndsInAMark) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(cli::wrapWords("pump mode  rate", 9, 3), (Lines{"pump mode", "rate"}));
    EXPECT_EQ(cli::wrapWords("the pump switched itself off", 10, 2), (Lines{"the pump", "switche..."}));
    EXPECT_EQ(cli::wrapWords("the pump switched", 10, 2), (Lines{"the pump", "switched"}));
    EXPECT_EQ(cli::wrapWords("kestrane-out/saves", 8, 3), (Lines{"kestrane", "-out/sav", "es"}));
    EXPECT_EQ(cli::wrapWords("a b c d", 3, 1), (Lines{"..."}));
    // A long name keeps what fits of it rather than vanish behind the mark.
    EXPECT_EQ(cli::wrapWords("10 kg/s, Depot-of-the-inner-belt tank 1", 24, 1),
              (Lines{"10 kg/s, Depot-of-the..."}));
}

TEST(Script, LinesBecomeTimedActionsWithTheirArguments) {
    std::string error;
    const std::optional<cli::Script> script = cli::parseScript(
        "; comment line\n"
        "0 open Left\n"
        "1.5 key m            ; letters in either case\n"
        "+0.5 key 0x21 Right\n"
        "+0 button PR+\n"
        "2 button 3 2 Left\n"
        "2 button -1 Left\n"
        "3 open Aft Tanker 400 300\n"
        "3 dock Tanker 1 Depot 0\n"
        "4 save out/x.scn\n"
        "4 accel 10\n"
        "4 note Free text; as written, to the line's end\n",
        "t.script", error);
    ASSERT_TRUE(script) << error;
    const std::vector<cli::Action>& a = script->actions;
    ASSERT_EQ(a.size(), 11u);
    EXPECT_EQ(a[0].name(), "open");
    EXPECT_EQ(a[0].line, 2);
    EXPECT_EQ(a[1].key, 0x32u);
    EXPECT_DOUBLE_EQ(a[1].time, 1.5);
    EXPECT_DOUBLE_EQ(a[2].time, 2.0);
    EXPECT_EQ(a[2].key, 0x21u);
    EXPECT_EQ(a[2].display, "Right");
    EXPECT_EQ(a[3].buttonLabel, "PR+");
    EXPECT_EQ(a[3].event, 1);
    EXPECT_EQ(a[4].button, 3);
    EXPECT_EQ(a[4].event, 2);
    EXPECT_EQ(a[4].display, "Left");
    EXPECT_EQ(a[5].button, -1);
    EXPECT_EQ(a[5].display, "Left");
    EXPECT_EQ(a[6].vessel, "Tanker");
    EXPECT_EQ(a[6].width, 400u);
    EXPECT_EQ(a[6].height, 300u);
    EXPECT_EQ(a[7].otherVessel, "Depot");
    EXPECT_EQ(a[7].port, 1u);
    EXPECT_EQ(a[8].text, "out/x.scn");
    EXPECT_DOUBLE_EQ(a[9].accel, 10.0);
    EXPECT_EQ(a[10].text, "Free text; as written, to the line's end");

    // The seven command keys by the names the display's help and the README use.
    for (const auto& [name, code] : {std::pair{"M", 0x32u},
                                     {"=", 0x0Du},
                                     {"+", 0x0Du},
                                     {"-", 0x0Cu},
                                     {"T", 0x14u},
                                     {"S", 0x1Fu},
                                     {"D", 0x20u},
                                     {"/", 0x35u},
                                     {"?", 0x35u}}) {
        EXPECT_EQ(cli::keyCode(name), code) << name;
    }
    EXPECT_FALSE(cli::keyCode("0x"));
    EXPECT_FALSE(cli::keyCode("MM"));

    for (const char* bad : {"1 open Left Tanker 400\n", "1 accel 0\n", "1 button PR+ 1 Left extra\n",
                            "1 dock A 1 B\n", "-1 key M\n", "1 save\n"}) {
        EXPECT_FALSE(cli::parseScript(bad, "b.script", error)) << bad;
        EXPECT_EQ(error.rfind("b.script:1: ", 0), 0u) << error;
    }
}

}  // namespace

TEST(Emulator, RedrawsEveryHalfSecondAtMostTenTimesASecondAtOnceWhenAskedAndNothingWhilePaused) {
    std::string error;
    const std::optional<sim::ScenarioDescription> scenario =
        sim::readScenarioFile(KESTRANE_SCENARIOS "/docked-depot.scn", error);
    ASSERT_TRUE(scenario) << error;
    cli::Emulator e(KESTRANE_MODULE);
    ASSERT_TRUE(e.start(*scenario, error)) << error;
    sim::Simulation& s = e.simulation();
    // The file has no Right block: the cockpit has one all the same, off, on the focus ship.
    sim::Display* left = s.findDisplay("Left");
    sim::Display* right = s.findDisplay("Right");
    ASSERT_TRUE(left && right);
    EXPECT_TRUE(right->off());
    EXPECT_EQ(&right->vessel(), e.focus());
    e.keepDrawings = true;
    const auto draws = [](const sim::Display* d) { return d->repaints; };
    // Frames of 0.02 s of real time at time acceleration `accel`, up to simulated time `until`.
    double real = 0.0;
    const auto fly = [&](double until, double accel) {
        while (s.simTime < until - 1e-9) {
            s.step(0.02 * accel);
            real += 0.02;
            e.refresh(real);
        }
    };
    e.refresh(real);
    EXPECT_EQ(draws(left), 1);  // the new instrument at once
    fly(2.0, 1.0);
    EXPECT_EQ(draws(left), 5);       // at 0.5, 1, 1.5 and 2 s
    fly(12.0, 10.0);                 // 0.2 s a frame: ten times a real second, not 20
    EXPECT_EQ(draws(left), 5 + 10);  // at 3, 4 ... 12 s
    EXPECT_EQ(draws(right), 0);      // off: nothing to draw

    // A key whose instrument asks for a redraw is drawn at once.
    const std::string changed = e.press(
        *left, [&] { return left->key(*cli::keyCode("M")); }, "->");
    EXPECT_EQ(changed.rfind("changed: mode Cross-Feed -> Load", 0), 0u) << changed;
    EXPECT_EQ(draws(left), 16);

    // Paused: keys do not reach the instrument, and nothing is drawn, also what was asked for.
    e.paused = true;
    const std::string page = e.lastPage(*left);
    EXPECT_EQ(e.press(
                  *left, [&] { return left->key(*cli::keyCode("M")); }, "->"),
              cli::Emulator::kPausedRefusal);
    ++left->pendingRedraws;
    for (int i = 0; i < 50; ++i) e.refresh(real += 0.02);
    EXPECT_EQ(draws(left), 16);
    e.paused = false;
    e.refresh(real += 0.02);
    EXPECT_EQ(draws(left), 17);
    EXPECT_EQ(e.lastPage(*left), page);  // still Load: the key never arrived

    // The display's power key: off, then on again in its last mode, a new instrument.
    EXPECT_FALSE(left->power());
    EXPECT_TRUE(left->off());
    EXPECT_TRUE(left->power());
    EXPECT_EQ(left->modeName(), "Fuel Management");
    EXPECT_TRUE(right->power());
    EXPECT_EQ(right->foreign(), "Orbit");  // never shown a mode: the simulator's default
    e.stop();
}
