// kestrane-sim play in a real pseudo-terminal: a tmux session of its own (private server socket)
// gets the key presses, and its screen is read back.
#include <chrono>
#include <functional>
#include <regex>
#include <thread>

#include "sim/cli/transfer_watch.h"
#include "tests/cli/cli_support.h"

using namespace clitest;

namespace {

class PlayTest : public CliTest {
protected:
    PlayTest() : socket_("kestrane-cli-test-" + std::to_string(getpid())) {}
    ~PlayTest() override {
        if (started_) tmux({"kill-server"});
    }

    Result tmux(const std::vector<std::string>& args) {
        std::vector<std::string> command{"tmux", "-L", socket_, "-f", "/dev/null"};
        command.insert(command.end(), args.begin(), args.end());
        return execute(command, work, root / "tmux-io");
    }
    std::string screen() { return tmux({"capture-pane", "-p", "-t", "play"}).out; }

    // Waits up to ten seconds for the screen to show `text`.
    bool waitFor(const std::string& text) {
        for (int i = 0; i < 200; ++i) {
            if (contains(screen(), text)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void start(const std::string& shellCommand, int columns = 150, int rows = 45) {
        const Result r = tmux({"new-session", "-d", "-s", "play", "-x", std::to_string(columns), "-y",
                               std::to_string(rows), shellCommand});
        ASSERT_EQ(r.status, 0) << r.err;
        started_ = true;
        // Keep the pane after the program has ended, to read what it printed last.
        ASSERT_EQ(tmux({"set-option", "-t", "play", "remain-on-exit", "on"}).status, 0);
    }

    bool haveTmux() { return execute({"sh", "-c", "command -v tmux"}, work, root / "io").status == 0; }
    void quit() {
        tmux({"send-keys", "-t", "play", "q"});
        ASSERT_TRUE(waitFor("Conservation check: passed")) << screen();
    }

private:
    std::string socket_;
    bool started_ = false;
};

}  // namespace

TEST_F(PlayTest, AKeyPressChangesThePumpModeOnScreenAndQuittingExitsCleanly) {
    if (execute({"sh", "-c", "command -v tmux"}, work, root / "io").status != 0)
        GTEST_SKIP() << "tmux is not installed";
    const fs::path rc = root / "rc";
    start("'" + kSim + "' play '" + scenario("docked-depot.scn") + "' --out saves; echo \"exit $?\" > '" +
          rc.string() + "'");

    ASSERT_TRUE(waitFor("Pump Mode: Cross-Feed")) << screen();
    EXPECT_TRUE(contains(screen(), "Fuel Mgt Tanker (DG-S)"));
    tmux({"send-keys", "-t", "play", "m"});
    ASSERT_TRUE(waitFor("Pump Mode: Load (SRC => TGT)")) << screen();
    EXPECT_TRUE(contains(screen(), "Key m (scan code 0x32) on Left: changed: mode Cross-Feed -> Load"))
        << screen();
    ASSERT_TRUE(waitFor("Docked To: Depot")) << screen();
    tmux({"send-keys", "-t", "play", "+"});
    ASSERT_TRUE(waitFor("Pump Rate: Low")) << screen();

    // The emulator's own keys, each name the help gives, say what they did on the same line.
    for (const auto& [key, says] :
         std::vector<std::pair<std::string, std::string>>{{">", "Key >: time acceleration x10"},
                                                          {"<", "Key <: time acceleration x1"},
                                                          {".", "Key .: time acceleration x10"},
                                                          {",", "Key ,: time acceleration x1"},
                                                          {"p", "Paused."},
                                                          {"p", "Going on."},
                                                          {"Space", "Paused."},
                                                          {"Space", "Going on."},
                                                          {"Tab", "Tab: display Right"},
                                                          {"BTab", "Shift+Tab: display Left"}}) {
        tmux({"send-keys", "-t", "play", key});
        EXPECT_TRUE(waitFor(says)) << key << "\n" << screen();
    }

    // Paused: no time passes, nothing is redrawn and the display's keys are refused, as the status
    // line says.
    const auto timeShown = [&] {
        const std::string text = screen();
        const size_t at = text.find("Time ");
        return at == std::string::npos ? std::string() : text.substr(at, text.find(" s ", at) - at);
    };
    tmux({"send-keys", "-t", "play", "p"});
    ASSERT_TRUE(waitFor("acceleration x1   PAUSED")) << screen();
    EXPECT_TRUE(contains(screen(),
                         "Paused: no time passes, and the display's keys, F1, O, F3, F8, E, R, K and X are "
                         "refused. P or space "
                         "goes on."))
        << screen();
    const std::string pausedAt = timeShown();
    ASSERT_FALSE(pausedAt.empty()) << screen();
    for (const char* key : {"m", "F1", "o"}) tmux({"send-keys", "-t", "play", key});
    ASSERT_TRUE(waitFor("Power on Left: refused: paused")) << screen();
    tmux({"send-keys", "-t", "play", "m"});
    ASSERT_TRUE(waitFor("Key m (scan code 0x32) on Left: refused: paused")) << screen();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(timeShown(), pausedAt);
    EXPECT_TRUE(contains(screen(), "Pump Mode: Load (SRC => TGT)")) << screen();
    tmux({"send-keys", "-t", "play", "p"});
    ASSERT_TRUE(waitFor("Going on.")) << screen();
    for (int i = 0; i < 100 && timeShown() == pausedAt; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(timeShown(), pausedAt);

    // Save: the file is written and the flight goes on as it was, nothing loaded.
    tmux({"send-keys", "-t", "play", "w"});
    ASSERT_TRUE(waitFor("Saved saves/docked-depot-saved.scn; the flight goes on as it was.")) << screen();
    EXPECT_TRUE(contains(screen(), "Pump Rate: Low"));
    tmux({"send-keys", "-t", "play", "F2"});
    ASSERT_TRUE(waitFor("Saved saves/docked-depot-saved-2.scn; the flight goes on as it was.")) << screen();
    const std::string saved = readFile(work / "saves/docked-depot-saved.scn");
    // The scenario's description stays, as a run's save keeps it, with a line on the save.
    EXPECT_TRUE(contains(saved, "BEGIN_DESC\nA tanker, a scramjet delta-glider (DG-S) with three tanks"))
        << saved;
    EXPECT_TRUE(contains(saved, "Saved by kestrane-sim play at ")) << saved;

    tmux({"send-keys", "-t", "play", "Escape"});
    for (int i = 0; i < 200 && !fs::exists(rc); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(rc)) << screen();
    EXPECT_EQ(readFile(rc), "exit 0\n");
    // After the screen closes: the table and the check, in the terminal's normal text.
    ASSERT_TRUE(waitFor("Conservation check: passed")) << screen();
    EXPECT_TRUE(contains(screen(), "saves/docked-depot-saved.scn"));
}

TEST_F(PlayTest, TheModeIsChosenWithTheModeSelectKeyAndTheHintFollowsTheDisplay) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    start("'" + kSim + "' play '" + scenario("demo.scn") + "'", 120, 40);
    // No mode: the hint names the way to one, and the display's keys are not taken.
    ASSERT_TRUE(waitFor(
        "Left shows Docking, not emulated: press F1 for the mode selection, then F for Fuel Management."))
        << screen();
    tmux({"send-keys", "-t", "play", "m"});
    ASSERT_TRUE(waitFor("Key m (scan code 0x32) on Left: not consumed (no mode shown)")) << screen();

    tmux({"send-keys", "-t", "play", "F1"});
    ASSERT_TRUE(waitFor("[F] Fuel Management")) << screen();
    EXPECT_TRUE(contains(screen(), "Mode selection: press F for Fuel Management, F1 to go back."))
        << screen();
    tmux({"send-keys", "-t", "play", "z"});
    ASSERT_TRUE(waitFor("not consumed (no mode on that key)")) << screen();
    tmux({"send-keys", "-t", "play", "f"});
    ASSERT_TRUE(waitFor("Fuel Mgt Kestrel (DG-S)")) << screen();
    EXPECT_TRUE(contains(screen(), "Key f (scan code 0x21) on Left: selected Fuel Management")) << screen();
    // The whole hint fits a terminal of 120 columns.
    EXPECT_TRUE(contains(
        screen(),
        "Press M to step the pump mode, ? for the instrument's help, F1 for the mode selection, Q to quit."))
        << screen();
    EXPECT_FALSE(contains(screen(), "too small")) << screen();

    // Selecting again and back: the same configuration, as the instrument is made anew.
    tmux({"send-keys", "-t", "play", "m"});
    ASSERT_TRUE(waitFor("Pump Mode: Load")) << screen();
    tmux({"send-keys", "-t", "play", "F1"});
    ASSERT_TRUE(waitFor("[F] Fuel Management")) << screen();
    tmux({"send-keys", "-t", "play", "F1"});
    ASSERT_TRUE(waitFor("back to Fuel Management")) << screen();
    EXPECT_TRUE(waitFor("Pump Mode: Load")) << screen();
    quit();
}

TEST_F(PlayTest, ATerminalTooSmallSaysSoAndKeepsTheHintInView) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    start("'" + kSim + "' play '" + scenario("docked-depot.scn") + "' --color never", 80, 20);
    ASSERT_TRUE(waitFor("Terminal 80 x 20, too small (needs 105 x 30): showing what fits")) << screen();
    EXPECT_TRUE(contains(screen(), "showing what fits")) << screen();
    EXPECT_TRUE(contains(screen(), "Fuel Mgt Tanker (DG-S)")) << screen();
    // The last rows are the hint and what the last key did, not the display's lower half.
    tmux({"send-keys", "-t", "play", "m"});
    ASSERT_TRUE(waitFor("Key m (scan code 0x32) on Left: changed: mode Cross-Feed -> Load")) << screen();
    const std::vector<std::string> rows = lines(screen());
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[rows.size() - 3].rfind("Press M to step the pump mode", 0), 0u) << screen();

    // Made large enough, the notice goes.
    tmux({"resize-window", "-t", "play", "-x", "120", "-y", "40"});
    ASSERT_TRUE(waitFor("Q to quit.")) << screen();
    EXPECT_FALSE(contains(screen(), "too small")) << screen();
    // Without colours a gauge reads as the text output's: '#' filled, '.' empty.
    EXPECT_TRUE(contains(screen(), "####......")) << screen();
    quit();
}

// From the smallest terminal the README names up, what the screen says stays whole: the title,
// the pause, the running transfer, and a long outcome wrapped between words.
TEST_F(PlayTest, EachTerminalSizeKeepsTheLinesWholeAndTheTransferShowsWhatTheTanksDo) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    start("'" + kSim + "' play '" + scenario("docked-depot.scn") + "' --accel 10", 109, 31);
    ASSERT_TRUE(waitFor("Transfer: none running")) << screen();
    // Load at Medium: the depot's 1000 kg into the tanker's tank 1, 250 of 2500 kg.
    for (const char* key : {"m", "+", "+"}) tmux({"send-keys", "-t", "play", key});
    ASSERT_TRUE(waitFor("Transfer: 10 kg/s, Depot tank 1 => Tanker tank 1")) << screen();
    tmux({"send-keys", "-t", "play", "p"});
    ASSERT_TRUE(waitFor("PAUSED")) << screen();
    // What moved and what is left agree with the depot's mass in the tank list.
    const std::string text = screen();
    std::smatch moved, left, depot;
    ASSERT_TRUE(std::regex_search(text, moved, std::regex("  ([0-9.]+) kg moved so far"))) << text;
    ASSERT_TRUE(std::regex_search(text, left, std::regex("Depot tank 1 runs dry in ([0-9]+) min ([0-9]+) s")))
        << text;
    ASSERT_TRUE(std::regex_search(text, depot, std::regex("Depot +1 +([0-9.]+) of"))) << text;
    const double inDepot = std::stod(depot[1]);
    EXPECT_NEAR(std::stod(moved[1]), 1000.0 - inDepot, 0.002) << text;
    EXPECT_NEAR(60 * std::stod(left[1]) + std::stod(left[2]), inDepot / 10.0, 1.0) << text;
    EXPECT_TRUE(contains(text, " s of real time at x10\n")) << text;

    const std::vector<std::pair<int, int>> sizes{{109, 31}, {120, 40}, {140, 40}, {200, 50}};
    // Each size in turn, until the screen drawn for it passes `check` (which names what is
    // wrong) or three seconds have passed: a redraw follows the resize within a frame or two.
    const auto atEachSize = [&](const std::function<std::string(const std::string&)>& check) {
        for (const auto& [columns, rows] : sizes) {
            tmux({"resize-window", "-t", "play", "-x", std::to_string(columns), "-y", std::to_string(rows)});
            std::string at, wrong;
            for (int i = 0; i < 150; ++i) {
                at = screen();
                if ((wrong = check(at)).empty()) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            EXPECT_EQ(wrong, "") << columns << " x " << rows << "\n" << at;
        }
    };
    atEachSize([](const std::string& at) -> std::string {
        if (contains(at, "too small")) return "too small";
        bool title = false;
        for (const std::string& row : lines(at))
            title = title || (contains(row, "kestrane-sim play: ") && row.ends_with("docked-depot.scn"));
        if (!title) return "no whole title";
        if (!contains(at, "acceleration x10   PAUSED")) return "no PAUSED";
        if (!contains(
                at,
                "\nPaused: no time passes, and the display's keys, F1, O, F3, F8, E, R, K and X are refused. "
                "P or space goes on.\n"))
            return "no whole hint";
        if (!contains(at, "Depot tank 1 runs dry in ")) return "no time left";
        return "";
    });

    // The focus switch says the most: its rows are the words of the outcome, wrapped between them.
    tmux({"send-keys", "-t", "play", "p"});
    tmux({"send-keys", "-t", "play", "F3"});
    ASSERT_TRUE(waitFor("F3: focus Depot")) << screen();
    atEachSize([](const std::string& at) -> std::string {
        const std::vector<std::string> shown = lines(at);
        std::string joined;
        for (size_t i = 0; i < shown.size(); ++i) {
            if (!shown[i].starts_with("F3: focus")) continue;
            for (size_t j = i; j < shown.size() && !shown[j].empty(); ++j)
                joined += (j > i ? " " : "") + shown[j];
            break;
        }
        return joined ==
                       "F3: focus Depot; the displays of Tanker opened again for it (Left: Fuel Management, "
                       "Right: off); the running transfer stopped (the module resets it for another vessel)."
                   ? ""
                   : "the outcome reads: " + joined;
    });
    quit();
}

TEST_F(PlayTest, AStopOnlyThePageShowsIsSaidAsTheLogSaysIt) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    start("'" + kSim + "' play '" + scenario("docked-depot.scn") + "'", 120, 40);
    ASSERT_TRUE(waitFor("Pump Mode: Cross-Feed")) << screen();
    // Unload from the tanker's empty tank 3: the pump starts and stops with nothing moved.
    for (const char* key : {"m", "m", "t", "t", "+"}) tmux({"send-keys", "-t", "play", key});
    ASSERT_TRUE(
        waitFor("the pump switched itself off: Tanker tank 3 is empty; nothing was moved since the "
                "rate was set to Low"))
        << screen();
    quit();
}

TEST_F(PlayTest, ABlockItemTakenOtherwiseIsSaidOnceWithItsReasonAsRunSaysIt) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    // Load at Medium into a full tank, a target tank the tanker does not have, and Load with
    // nothing docked: the pump stops or never runs. `run` draws before its first step and play after it; both
    // say the same.
    struct Case {
        const char* items;
        const char* levels;
        std::string note;
        bool undocked = false;
    };
    const std::string depot = readFile(scenario("docked-depot.scn"));
    int n = 0;
    for (const Case& c :
         {Case{"  PUMPMODE 1\n  PUMPRATE 2\n", "PRPLEVEL 0:1 1:0.05",
               "the block's PUMPRATE 2 reads as rate Off: Tanker tank 1 is full"},
          Case{"  PUMPRATE 1\n  TARGETTANK 99\n", "PRPLEVEL 0:0.1 1:0.05",
               "the block's TARGETTANK 99 names no tank of the 3 Tanker has: the page takes "
               "tank 1 and switches the pump off"},
          Case{"  PUMPMODE 1\n  PUMPRATE 2\n", "PRPLEVEL 0:0.1 1:0.05",
               "the block's PUMPRATE 2 reads as rate Off: the page shows NOT DOCKED in place of "
               "the docked vessel",
               true}}) {
        SCOPED_TRACE(c.note);
        std::string text = depot;
        text.replace(text.find("  MODE Fuel Management\n") + 23, 0, c.items);
        text.replace(text.find("PRPLEVEL 0:0.100000 1:0.050000"), 30, c.levels);
        for (size_t at; c.undocked && (at = text.find("  DOCKINFO")) != std::string::npos;)
            text.erase(at, text.find('\n', at) + 1 - at);
        const std::filesystem::path file = root / ("block" + std::to_string(++n) + ".scn");
        std::ofstream(file) << text;
        const Result r = run({"run", file.string(), "--no-pictures", "--time", "2", "--out", "o"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> logged;
        for (const std::string& line : lines(r.out))
            if (line.starts_with("     ")) logged.push_back(line);
        EXPECT_EQ(logged, std::vector<std::string>{"     0.00 s  " + c.note}) << r.out;

        if (n > 1) tmux({"kill-server"});
        start("'" + kSim + "' play '" + file.string() + "'", 150, 45);
        ASSERT_TRUE(waitFor(c.note)) << screen();
        const std::vector<std::string> shown = lines(screen());
        EXPECT_NE(std::find(shown.begin(), shown.end(), c.note), shown.end()) << screen();
        quit();
    }
}

TEST_F(PlayTest, ALongRunShowsItsProgressOnATerminal) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    start("'" + kSim + "' run '" + scenario("docked-depot.scn") + "' --time 1e6 --no-pictures --out o");
    ASSERT_TRUE(waitFor(" simulated, ")) << screen();
    EXPECT_TRUE(contains(screen(), "steps/s")) << screen();
    EXPECT_TRUE(contains(screen(), "kestrane-sim [")) << screen();
}

TEST_F(PlayTest, ViewsResizesAndExternalDisplaysReopenTheModeAtTheirSizes) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    // The glider docked to the station, its views sized as in the real simulator.
    std::ofstream(root / "views.scn")
        << readFile(KESTRANE_REAL_SIMULATOR_TESTS "/scenarios/Load at Medium.scn")
        << "BEGIN_KESTRANE_SIM\n  VIEW generic 369 369\n  VIEW vc 512 512\nEND\n";
    start("'" + kSim + "' play '" + (root / "views.scn").string() + "' --color never", 150, 45);
    ASSERT_TRUE(waitFor("Pump Rate: Medium")) << screen();
    tmux({"send-keys", "-t", "play", "F8"});
    ASSERT_TRUE(
        waitFor("F8: view generic, the cockpit's displays opened again at 369 x 369 (Left: Fuel "
                "Management, Right: Docking)."))
        << screen();
    tmux({"send-keys", "-t", "play", "F8"});
    ASSERT_TRUE(waitFor("F8: view vc,")) << screen();
    // An external display shows the same transfer; pinned, resized, closed.
    tmux({"send-keys", "-t", "play", "e"});
    ASSERT_TRUE(waitFor("E: Ext1, an external display of 300 x 300 on GL-01, in Fuel Management."))
        << screen();
    EXPECT_TRUE(contains(screen(), "Display Ext1 (3 of 3) on GL-01")) << screen();
    EXPECT_TRUE(contains(screen(), "Pump Rate: Medium")) << screen();
    tmux({"send-keys", "-t", "play", "k"});
    ASSERT_TRUE(waitFor("K: Ext1 pinned to GL-01")) << screen();
    tmux({"send-keys", "-t", "play", "r"});
    ASSERT_TRUE(waitFor("R: Ext1 at 369 x 369, Fuel Management opened again at that size.")) << screen();
    EXPECT_TRUE(waitFor("Pump Rate: Medium")) << screen();
    tmux({"send-keys", "-t", "play", "x"});
    ASSERT_TRUE(waitFor("X: Ext1's window closed")) << screen();
    EXPECT_TRUE(contains(screen(), "Display Left (1 of 2) on GL-01")) << screen();
    quit();

    // A scenario that sizes no view: F8 says so and changes nothing.
    tmux({"kill-server"});
    start("'" + kSim + "' play '" + scenario("docked-depot.scn") + "'", 150, 45);
    ASSERT_TRUE(waitFor("Fuel Mgt Tanker")) << screen();
    tmux({"send-keys", "-t", "play", "F8"});
    ASSERT_TRUE(waitFor("F8: the scenario does not say how large the cockpit's displays are in any view"))
        << screen();
    quit();
}

// A time left is rounded as the masses are, each unit carrying into the next.
TEST(PlayTimes, AreRoundedAndCarryIntoTheNextUnit) {
    EXPECT_EQ(cli::duration(503.76 / 10.0), "50.4 s");
    EXPECT_EQ(cli::duration(6.96), "7.0 s");
    EXPECT_EQ(cli::duration(59.96), "1 min 00 s");
    EXPECT_EQ(cli::duration(599.6), "10 min 00 s");
    EXPECT_EQ(cli::duration(3599.6), "1 h 00 min");
    EXPECT_EQ(cli::duration(5990.0), "1 h 40 min");
}

// At the README's smallest terminal every size R reaches fits, frame and all, and so does a
// transfer's time left at the slowest time acceleration.
TEST_F(PlayTest, EveryDisplaySizeAndTheSlowestAccelerationFitTheSmallestTerminal) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    start("'" + kSim + "' play '" + scenario("docked-depot.scn") + "' --color never --accel 0.1", 109, 31);
    for (const char* key : {"m", "+", "+"}) tmux({"send-keys", "-t", "play", key});
    ASSERT_TRUE(waitFor("Transfer: 10 kg/s")) << screen();
    const std::regex realTime(" [0-9]+ min [0-9]+ s of real time at x0\\.1\\n");
    EXPECT_TRUE(std::regex_search(screen(), realTime)) << screen();
    // Left, then an external display, through every size.
    for (const char* window : {"Left", "Ext1"}) {
        if (std::string(window) == "Ext1") tmux({"send-keys", "-t", "play", "e"});
        for (const char* size : {"232 x 232", "300 x 300", "369 x 369", "512 x 512", "500 x 400"}) {
            std::string at;
            for (int i = 0; i < 6 && !contains(at, std::string(window) + " at " + size); ++i) {
                tmux({"send-keys", "-t", "play", "r"});
                ASSERT_TRUE(waitFor("R: " + std::string(window) + " at ")) << screen();
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                at = screen();
            }
            ASSERT_TRUE(contains(at, std::string(window) + " at " + size)) << at;
            EXPECT_FALSE(contains(at, "too small")) << size << "\n" << at;
            EXPECT_TRUE(std::regex_search(at, std::regex("\\n +mq+j"))) << size << "\n" << at;
            EXPECT_TRUE(std::regex_search(at, realTime)) << size << "\n" << at;
        }
    }
    quit();
}

// While paused, each window or view key says what it would have done and why it waits; a save
// names the external displays it leaves out.
TEST_F(PlayTest, PausedWindowKeysSayWhyTheyWaitAndASaveNamesTheExternalDisplaysLeftOut) {
    if (!haveTmux()) GTEST_SKIP() << "tmux is not installed";
    start("'" + kSim + "' play '" + scenario("docked-depot.scn") + "' --out saves", 150, 45);
    ASSERT_TRUE(waitFor("Fuel Mgt Tanker")) << screen();
    tmux({"send-keys", "-t", "play", "w"});
    ASSERT_TRUE(waitFor("Saved saves/docked-depot-saved.scn; the flight goes on as it was.")) << screen();
    tmux({"send-keys", "-t", "play", "e"});
    ASSERT_TRUE(waitFor("E: Ext1,")) << screen();
    tmux({"send-keys", "-t", "play", "e"});
    ASSERT_TRUE(waitFor("E: Ext2,")) << screen();
    tmux({"send-keys", "-t", "play", "F2"});
    ASSERT_TRUE(
        waitFor("Saved saves/docked-depot-saved-2.scn without Ext1, Ext2 (external displays are not "
                "saved); the flight goes on as it was."))
        << screen();
    EXPECT_FALSE(contains(readFile(work / "saves/docked-depot-saved-2.scn"), "Ext1"));

    tmux({"send-keys", "-t", "play", "p"});
    ASSERT_TRUE(waitFor("PAUSED")) << screen();
    for (const auto& [key, says] : std::vector<std::pair<std::string, std::string>>{
             {"F8",
              "F8: not while paused: a view switch closes the cockpit's displays and opens them again at "
              "the view's size, and nothing is drawn while paused."},
             {"F3",
              "F3: not while paused: a focus switch closes the displays of Tanker and opens them again "
              "for the next vessel, and nothing is drawn while paused."},
             {"e",
              "E: not while paused: a new external display opens in Fuel Management, and nothing is "
              "drawn while paused."},
             {"r",
              "R: not while paused: a resize closes Ext2's mode and opens it again at the next size, and "
              "nothing is drawn while paused."},
             {"k",
              "K: not while paused: a pin only matters when the focus moves (F3), which waits for the "
              "simulation to run too."},
             {"x",
              "X: not while paused: closing Ext2's window ends its instrument, and play changes no "
              "display while paused."}}) {
        tmux({"send-keys", "-t", "play", key});
        EXPECT_TRUE(waitFor(says)) << key << "\n" << screen();
    }
    // Refused, so nothing changed: both windows are still open.
    EXPECT_TRUE(contains(screen(), "Display Ext2 (4 of 4)")) << screen();
    quit();
}
