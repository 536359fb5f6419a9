// The status and help pages and the tank gauge: texts, rows, colours, the index repairs, the
// gauge's geometry and brush, and that drawing allocates nothing.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "display/pump_mfd.h"
#include "display/text_grid.h"
#include "sim/drawing/surface.h"
#include "sim/world/display.h"
#include "tests/module/module_test.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/drawing.h"

using sim::HostCall;
using test::addVessel;

namespace {

constexpr COLORREF kWhite = 0xffffff;
constexpr COLORREF kRed = 0xc0;
constexpr COLORREF kYellow = 0xc0c0;
constexpr COLORREF kGreen = 0xc000;
constexpr COLORREF kBright = 0xff00;
constexpr COLORREF kDarkGreen = 0x8000;
constexpr COLORREF kOlive = 0x8080;
constexpr COLORREF kDarkRed = 0x80;

class PageTest : public test::SimTest {
protected:
    static constexpr unsigned kSize = sim::kDefaultDisplaySize;
    const int cw = sim::cellWidthFor(kSize);
    const int ch = sim::cellHeightFor(kSize);
    test::CapturingSurface surface{kSize, kSize, sim::cellWidthFor(kSize), sim::cellHeightFor(kSize)};
    test::Drawing drawn = surface.drawing();  // as of the last repaint
    std::unique_ptr<PumpMFD> mfd;

    void open(sim::VesselRecord& v) { mfd = std::make_unique<PumpMFD>(kSize, kSize, test::iface(v)); }

    void repaint() {
        surface.clear();
        sim.calls.clear();
        mfd->Repaint(&surface);
        drawn = surface.drawing();
        EXPECT_EQ(sim.calls.badCalls, 0u)
            << (sim.calls.badCallNotes.empty() ? "" : sim.calls.badCallNotes[0]);
        EXPECT_EQ(sim.calls.liveStatusLists(), 0u);
    }

    std::string row(int r) const { return drawn.row(r); }

    void expectWarning(const std::string& text, int r, COLORREF background) {
        const test::Drawing::Text* p = drawn.find(text);
        ASSERT_NE(p, nullptr) << text;
        EXPECT_EQ(p->y, r * ch) << text;
        EXPECT_EQ(p->x, cw / 2) << text;
        EXPECT_EQ(p->colour, kWhite) << text;
        EXPECT_EQ(p->bkMode, OPAQUE) << text;
        EXPECT_EQ(p->background, background) << text;
    }
};

TEST_F(PageTest, StatusPageShowsVesselModeRateTanksAndDockingInEachMode) {
    auto& own = addVessel(sim, "Ship", {{1000, 250}, {300, 100}}, 2, "Tanker");
    auto& depot = addVessel(sim, "Depot", {{2000, 1500}}, 1, "Station");
    sim.dock(own, 0, depot, 0);
    open(own);

    struct Case {
        int32_t mode;
        int32_t rate;
        const char* modeRow;
        const char* rateRow;
        const char* sourceRow;
        const char* sourceGauge;
        const char* portRow;
        const char* dockedRow;
    };
    const Case cases[] = {
        {CrossFeed, 2, "Pump Mode: Cross-Feed (SRC => TGT)", "Pump Rate: Medium", "Source Tank 2 (of 2)",
         " 100.0 kg      33.33%       300.0 kg", "", ""},
        {Load, 3, "Pump Mode: Load (SRC => TGT)", "Pump Rate: High", "Source Tank 1 (of 1)",
         " 1500 kg       75.00%        2000 kg", "Docking Port 1 (of 2)", "Docked To: Depot"},
        {Unload, 1, "Pump Mode: Unload (TGT => SRC)", "Pump Rate: Low", "Source Tank 1 (of 1)",
         " 1500 kg       75.00%        2000 kg", "Docking Port 1 (of 2)", "Docked To: Depot"},
        {Vent, 2, "Pump Mode: Vent (TGT => VENT)", "Pump Rate: Medium", " OVERBOARD VENT ", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modeRow);
        test::setUpFor(own);
        transferState.pumpMode = c.mode;
        transferState.sourceTank = c.mode == CrossFeed ? 1 : 0;
        if (c.mode == Vent) transferState.setSource(nullptr, nullptr);
        repaint();  // settles the docked source
        transferState.pumpRate = c.rate;
        const int64_t brushesBefore = sim::GdiObjects::created();
        const int64_t liveBefore = sim::GdiObjects::live();
        repaint();

        EXPECT_EQ(transferState.pumpRate, c.rate) << "a valid configuration is left alone";
        EXPECT_EQ(row(0), "Fuel Mgt Ship (Tanker)");
        EXPECT_EQ(row(3), c.modeRow);
        EXPECT_EQ(row(6), c.rateRow);
        EXPECT_EQ(row(13), "Target Tank 1 (of 2)");
        EXPECT_EQ(row(14), " 250.0 kg      25.00%        1000 kg");  // on the gauge
        EXPECT_EQ(row(17), c.sourceRow);
        EXPECT_EQ(row(18), c.sourceGauge);
        EXPECT_EQ(row(20), c.portRow);
        EXPECT_EQ(row(21), c.dockedRow);
        for (int r : {1, 2, 4, 5, 7, 8, 9, 10, 11, 12, 15, 16, 19, 22, 23}) EXPECT_EQ(row(r), "") << r;

        const int gauges = c.mode == Vent ? 1 : 2;
        EXPECT_EQ(sim::GdiObjects::created() - brushesBefore, gauges);
        EXPECT_EQ(sim::GdiObjects::live(), liveBefore);
        EXPECT_EQ(drawn.boxes.size(), 2u * gauges);
    }
}

TEST_F(PageTest, LabelsValuesNamesAndGaugeTextsHaveTheirColours) {
    auto& own = addVessel(sim, "Ship", {{1000, 250}, {300, 100}}, 2, "Tanker");
    auto& depot = addVessel(sim, "Depot", {{2000, 1500}}, 1, "Station");
    sim.dock(own, 1, depot, 0);
    open(own);
    transferState.pumpMode = Load;
    transferState.dockPort = 1;
    repaint();

    struct Expected {
        int row;
        std::vector<std::pair<std::string, COLORREF>> pieces;
    };
    const Expected rows[] = {
        {0, {{"Fuel Mgt", sim::kTitleColour}, {" Ship (Tanker)", 0xc0c0c0}}},
        {3, {{"Pump Mode: ", kGreen}, {"Load", kBright}, {" (SRC => TGT)", kGreen}}},
        {6, {{"Pump Rate: ", kGreen}, {"Off", kBright}}},
        {13, {{"Target Tank ", kGreen}, {"1", kBright}, {" (of 2)", kGreen}}},
        {17, {{"Source Tank ", kGreen}, {"1", kBright}, {" (of 1)", kGreen}}},
        {20, {{"Docking Port ", kGreen}, {"2", kBright}, {" (of 2)", kGreen}}},
        {21, {{"Docked To: ", kGreen}, {"Depot", kBright}}},
    };
    for (const Expected& e : rows) {
        const auto texts = drawn.textsAt(e.row * ch);
        ASSERT_EQ(texts.size(), e.pieces.size()) << "row " << e.row;
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(texts[i].text, e.pieces[i].first) << "row " << e.row;
            EXPECT_EQ(texts[i].colour, e.pieces[i].second) << texts[i].text;
            EXPECT_EQ(texts[i].bkMode, TRANSPARENT) << texts[i].text;
        }
    }
    for (int r : {14, 18}) {
        const auto texts = drawn.textsAt(r * ch + ch / 2);
        ASSERT_EQ(texts.size(), 3u) << "gauge " << r;
        for (const auto& t : texts) {
            EXPECT_EQ(t.colour, kWhite) << t.text;
            EXPECT_EQ(t.bkMode, TRANSPARENT) << t.text;
        }
    }
}

TEST_F(PageTest, MissingTanksPortsAndDockedVesselsShowWarningsInTheirPlaces) {
    // Each case starts at rate 2 with source tank `sourceTank`; `noSource` clears the source
    // vessel (as the mode key does for Vent), `dockHulk` docks a vessel without tanks at port 0.
    struct Case {
        const char* what;
        std::vector<sim::Tank> ownTanks;
        unsigned ports;
        int32_t mode;
        bool noSource, dockHulk;
        int32_t sourceTank, rateAfter;
        const char* targetRow;
        const char* sourceRow;
        const char* portRow;
        const char* dockedRow;
    };
    const Case cases[] = {
        // One case a line, as a table.
        // clang-format off
        {"target without tanks, vent", {}, 0, Vent, true, false, 0, 2, " NO TARGET TANK ", " OVERBOARD VENT ", "", ""},
        {"cross-feed, one tank", {{100, 50}}, 0, CrossFeed, false, false, 0, 2, "Target Tank 1 (of 1)",
         " SINGLE TANK ONLY ", "", ""},
        {"cross-feed, one tank, stale source", {{100, 50}}, 0, CrossFeed, false, false, 1, 0, "Target Tank 1 (of 1)",
         " SINGLE TANK ONLY ", "", ""},
        {"cross-feed, no tanks", {}, 0, CrossFeed, false, false, 0, 0, " NO TARGET TANK ", " NO SOURCE TANK ", "", ""},
        {"cross-feed, no source vessel", {{100, 50}, {100, 5}}, 0, CrossFeed, true, false, 0, 2,
         "Target Tank 1 (of 2)", " NO SOURCE TANK ", "", ""},
        {"load without ports", {{100, 50}}, 0, Load, false, false, 0, 0, "Target Tank 1 (of 1)", "",
         " NO DOCKING PORTS ", ""},
        {"load, nothing docked", {{100, 50}}, 2, Load, false, false, 0, 0, "Target Tank 1 (of 1)", "",
         "Docking Port 1 (of 2)", " NOT DOCKED "},
        {"unload into a vessel without tanks", {{100, 50}}, 2, Unload, false, true, 0, 0, "Target Tank 1 (of 1)",
         " NO SOURCE TANK ", "Docking Port 1 (of 2)", "Docked To: Hulk"},
        // clang-format on
    };
    struct Warning {
        const char* text;
        int row;
        COLORREF background;
    };
    const Warning kWarnings[] = {{" NO TARGET TANK ", 13, kRed},    {" NO SOURCE TANK ", 17, kRed},
                                 {" NO DOCKING PORTS ", 20, kRed},  {" SINGLE TANK ONLY ", 17, kYellow},
                                 {" OVERBOARD VENT ", 17, kYellow}, {" NOT DOCKED ", 21, kYellow}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto& own = sim.addVessel({"Own" + std::to_string(++n), "Tanker", c.ownTanks, c.ports});
        open(own);
        if (c.dockHulk) {
            auto& hulk = addVessel(sim, "Hulk", {}, 1);
            sim.dock(own, 0, hulk, 0);
            transferState.setSource(test::iface(hulk), hulk.handle());  // already found there
        }
        if (c.noSource) transferState.setSource(nullptr, nullptr);
        transferState.pumpMode = c.mode;
        transferState.sourceTank = c.sourceTank;
        transferState.pumpRate = 2;
        repaint();
        EXPECT_EQ(row(13), c.targetRow);
        EXPECT_EQ(row(17), c.sourceRow);
        EXPECT_EQ(row(20), c.portRow);
        EXPECT_EQ(row(21), c.dockedRow);
        EXPECT_EQ(transferState.pumpRate, c.rateAfter);
        for (const Warning& w : kWarnings) {
            if (drawn.find(w.text)) expectWarning(w.text, w.row, w.background);
        }
        if (std::string(c.targetRow) == " NO TARGET TANK ") {
            EXPECT_EQ(row(14), "") << "no target gauge";
            EXPECT_EQ(sim.calls.count(HostCall::GetPropellantHandle), 0u);
        }
    }
}

TEST_F(PageTest, StaleTankIndicesGoBackToTheFirstTankAndStopThePump) {
    struct Case {
        const char* what;
        int32_t mode;
        int32_t targetTank, sourceTank;
        int32_t expectTarget, expectSource;
        bool stopped;
        const char* targetRow;
        const char* sourceRow;
    };
    // Ship has three tanks, Depot (docked) two.
    const Case cases[] = {
        {"target past the end", CrossFeed, 5, 1, 0, 1, true, "Target Tank 1 (of 3)", "Source Tank 2 (of 3)"},
        {"target at the count", CrossFeed, 3, 1, 0, 1, true, "Target Tank 1 (of 3)", "Source Tank 2 (of 3)"},
        {"both valid", CrossFeed, 2, 0, 2, 0, false, "Target Tank 3 (of 3)", "Source Tank 1 (of 3)"},
        {"cross-feed source at the count", CrossFeed, 1, 3, 1, 0, true, "Target Tank 2 (of 3)",
         "Source Tank 1 (of 3)"},
        {"docked source past the end", Load, 0, 4, 0, 0, true, "Target Tank 1 (of 3)",
         "Source Tank 1 (of 2)"},
        {"docked source valid", Unload, 0, 1, 0, 1, false, "Target Tank 1 (of 3)", "Source Tank 2 (of 2)"},
    };
    auto& own = addVessel(sim, "Ship", {{100, 10}, {100, 20}, {100, 30}}, 1);
    auto& depot = addVessel(sim, "Depot", {{100, 40}, {100, 50}}, 1);
    sim.dock(own, 0, depot, 0);
    open(own);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::setUpFor(own);
        transferState.pumpMode = c.mode;
        if (c.mode != CrossFeed)
            transferState.setSource(test::iface(depot), depot.handle());  // already docked
        transferState.targetTank = c.targetTank;
        transferState.sourceTank = c.sourceTank;
        transferState.pumpRate = 3;
        repaint();
        EXPECT_EQ(transferState.targetTank, c.expectTarget);
        EXPECT_EQ(transferState.sourceTank, c.expectSource);
        EXPECT_EQ(transferState.pumpRate, c.stopped ? 0 : 3);
        EXPECT_EQ(row(13), c.targetRow);
        EXPECT_EQ(row(17), c.sourceRow);
    }
}

TEST_F(PageTest, ANegativeTankIndexShowsAnEmptyGaugeWithoutAskingForTheTank) {
    auto& own = addVessel(sim, "Ship", {{100, 10}, {100, 20}, {100, 30}}, 0);
    open(own);
    transferState.pumpMode = Vent;
    transferState.setSource(nullptr, nullptr);
    transferState.targetTank = -1;
    transferState.pumpRate = 2;
    repaint();
    EXPECT_EQ(row(13), "Target Tank 0 (of 3)");
    EXPECT_EQ(row(14), " 0.0 kg        0.00%          0.0 kg");
    EXPECT_EQ(transferState.targetTank, -1);
    EXPECT_EQ(transferState.pumpRate, 2);
    EXPECT_EQ(sim.calls.count(HostCall::GetPropellantHandle), 0u);
    EXPECT_EQ(sim.calls.count(HostCall::GetPropellantMass), 0u);
    EXPECT_EQ(sim.calls.count(HostCall::GetPropellantMaxMass), 0u);
    ASSERT_EQ(drawn.boxes.size(), 2u);
    EXPECT_EQ(drawn.boxes[1].right, drawn.boxes[1].left);
}

TEST_F(PageTest, NamesFromTheSimulationAreDrawnExactlyAndCutAtTheTextLimit) {
    auto& own = addVessel(sim, "Ship%s%n%d", {{100, 10}}, 1, "50%");
    auto& depot = addVessel(sim, "Fuel%dDepot%n", {{100, 40}}, 1);
    sim.dock(own, 0, depot, 0);
    open(own);
    transferState.pumpMode = Load;
    repaint();
    EXPECT_EQ(row(0), "Fuel Mgt Ship%s%n%d (50%)");
    EXPECT_EQ(row(21), "Docked To: Fuel%dDepot%n");

    auto& longName = addVessel(sim, std::string(400, 'L'), {{100, 10}}, 0, std::string(300, 'C'));
    open(longName);
    repaint();
    const auto header = drawn.textsAt(0);
    ASSERT_EQ(header.size(), 2u);
    EXPECT_EQ(header[1].text, " " + std::string(250, 'L'));
    EXPECT_EQ(row(13), "Target Tank 1 (of 1)");
}

TEST_F(PageTest, ModeAndRateOutsideTheirTablesAreShownAsUnknown) {
    auto& own = addVessel(sim, "Ship", {{100, 10}, {100, 20}}, 1);
    open(own);
    for (auto [mode, rate] : {std::pair{7, 9}, std::pair{-2, -1}, std::pair{4, 4}}) {
        transferState.pumpMode = mode;
        transferState.pumpRate = rate;
        repaint();
        EXPECT_EQ(row(3), "Pump Mode: ?") << mode;
        EXPECT_EQ(row(6), "Pump Rate: ?") << rate;
        EXPECT_EQ(row(13), "Target Tank 1 (of 2)");
        EXPECT_EQ(row(17), "");
        EXPECT_EQ(row(20), "");
    }
}

TEST_F(PageTest, RepaintSetsUpTheGridDrawsTheTitleThenResolvesTheDockedSource) {
    auto& own = addVessel(sim, "Ship", {{100, 10}, {100, 20}}, 1);
    auto& depot = addVessel(sim, "Depot", {{100, 40}}, 1);
    sim.dock(own, 0, depot, 0);
    open(own);
    transferState.pumpMode = Load;
    surface.position = {300, 300};
    repaint();

    ASSERT_GE(surface.log.size(), 2u);
    EXPECT_EQ(surface.log[0].call, sim::GdiCall::SetTextAlign);
    ASSERT_FALSE(drawn.texts.empty());
    EXPECT_EQ(drawn.texts[0].text, "Fuel Mgt");
    EXPECT_EQ(drawn.texts[0].x, cw / 2);
    EXPECT_EQ(drawn.texts[0].y, 0);
    // The grid took the display's cell: every text starts on a row or, in a gauge, half a row down.
    for (const auto& text : drawn.texts) EXPECT_TRUE(text.y % ch == 0 || text.y % ch == ch / 2) << text.text;
    EXPECT_GT(drawn.texts.back().y, 0);

    const auto calls = sim.calls.sequence();
    const auto first = [&](HostCall call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    EXPECT_LT(first(HostCall::Title), first(HostCall::GetDockStatus));
    EXPECT_LT(first(HostCall::GetDockStatus), first(HostCall::GetName));
    EXPECT_EQ(transferState.sourceVessel, test::iface(depot));
}

TEST_F(PageTest, AClearedStateIsSetUpForTheOwnVesselBeforeDrawing) {
    auto& own = addVessel(sim, "Ship", {{100, 10}, {100, 20}}, 0);
    open(own);
    transferState.pumpMode = Unload;
    transferState.targetTank = 1;
    clearTransferState();  // as writing the scenario block leaves it
    repaint();
    EXPECT_EQ(transferState.targetVessel, test::iface(own));
    EXPECT_EQ(transferState.sourceVessel, test::iface(own));
    EXPECT_EQ(row(3), "Pump Mode: Cross-Feed (SRC => TGT)");
    EXPECT_EQ(row(13), "Target Tank 1 (of 2)");
    EXPECT_EQ(row(17), "Source Tank 1 (of 2)");
}

TEST_F(PageTest, HelpPageShowsTheFixedTextAndLeavesTheSourceAlone) {
    auto& own = addVessel(sim, "Ship", {{100, 10}}, 1);
    auto& depot = addVessel(sim, "Depot", {{100, 40}}, 1);
    sim.dock(own, 0, depot, 0);
    open(own);
    transferState.pumpMode = Load;  // as the mode key leaves it: the source still the own vessel
    ASSERT_TRUE(mfd->ConsumeKeyBuffered(kKeyHelp));
    repaint();

    EXPECT_EQ(transferState.sourceVessel, test::iface(own));
    for (HostCall call :
         {HostCall::DockCount, HostCall::GetDockStatus, HostCall::GetStatusEx, HostCall::GetName})
        EXPECT_EQ(sim.calls.count(call), 0u) << sim::hostCallName(call);

    const char* const expected[24] = {
        "Fuel Mgt Version 030109",
        "",
        "CROSS-FEED allows you to transfer",
        "fuel between internal tanks (top up ",
        "those RCS thrusters!)",
        "",
        "LOAD transfers fuel from a vessel",
        "docked to yours into one of your",
        "internal tanks",
        "",
        "UNLOAD transfers fuel from one of",
        "your internal tanks into a vessel",
        "docked to yours",
        "",
        "VENT dumps your fuel overboard in",
        "emergency situations",
    };
    for (int r = 0; r < 24; ++r) EXPECT_EQ(row(r), expected[r] ? expected[r] : "") << "row " << r;

    const auto version = drawn.textsAt(0);
    ASSERT_EQ(version.size(), 2u);
    EXPECT_EQ(version[1].colour, sim::kTitleColour);  // as the title left it
    for (const auto& p : drawn.texts) {
        if (p.y == 0) continue;
        const bool heading =
            p.text == "CROSS-FEED" || p.text == "LOAD" || p.text == "UNLOAD" || p.text == "VENT";
        EXPECT_EQ(p.colour, heading ? kBright : kGreen) << p.text;
        EXPECT_EQ(p.bkMode, TRANSPARENT) << p.text;
    }
    EXPECT_TRUE(drawn.boxes.empty());
}

// The target tank's gauge, drawn by a whole redraw on a display 256 pixels wide with cells of 8
// by 12: column 0's anchor is x = 4, and the gauge stands in row 14. The own vessel has one
// tank, so cross-feed draws no second gauge.
class GaugeTest : public test::SimTest {
protected:
    struct Narrow : PumpMFD {
        explicit Narrow(VESSEL* v) : PumpMFD(256, 256, v) {
            cw = 8;
            ch = 12;
        }
    };
    static constexpr int kTop = 14 * 12 + 6;  // half a cell down
    static constexpr int kBottom = 16 * 12;   // a cell and a half high
    test::CapturingSurface surface{256, 256, 8, 12};
    test::Drawing drawn = surface.drawing();  // as of the last repaint
    sim::VesselRecord& ship = addVessel(sim, "Ship", {{1, 0}});
    Narrow mfd{test::iface(ship)};

    void repaint() {
        surface.clear();
        mfd.Repaint(&surface);
        drawn = surface.drawing();
        EXPECT_EQ(row(13), "Target Tank 1 (of 1)");
    }
    std::string row(int r) const { return drawn.row(r); }
};

TEST_F(GaugeTest, FillWidthColourAndTextsFollowMassAndCapacity) {
    struct Case {
        double mass, capacity;
        int fill;
        COLORREF colour;
        const char* massText;
        const char* percentText;
        const char* capacityText;
    };
    const Case cases[] = {
        {250, 1000, 62, kOlive, "250.0 kg", "25.00%", "  1000 kg"},
        {100, 300, 82, kOlive, "100.0 kg", "33.33%", " 300.0 kg"},
        {999.96, 2000, 123, kOlive, "1000.0 kg", "50.00%", "  2000 kg"},  // 49.998 %: olive
        {1000, 1000, 248, kDarkGreen, "1000 kg", "100.00%", "  1000 kg"},
        {500, 1000, 124, kDarkGreen, "500.0 kg", "50.00%", "  1000 kg"},  // exactly 50 %
        {10, 100, 24, kOlive, "10.0 kg", "10.00%", " 100.0 kg"},          // exactly 10 %
        {9.99, 100, 24, kDarkRed, "10.0 kg", "9.99%", " 100.0 kg"},
        {0, 500, 0, kDarkRed, "0.0 kg", "0.00%", " 500.0 kg"},
        {1500, 1000, 372, kDarkGreen, "1500 kg", "150.00%", "  1000 kg"},  // not clamped
        {5, 0, 0, kDarkGreen, "5.0 kg", "0.00%", "   0.0 kg"},
        {5, 0.005, 0, kDarkGreen, "5.0 kg", "0.00%", "   0.0 kg"},
        {5, 0.01, 248 * 500, kDarkGreen, "5.0 kg", "50000.00%", "   0.0 kg"},  // 0.01 is a capacity
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mass << " of " << c.capacity);
        ship.tanks[0] = {c.capacity, c.mass};
        repaint();

        ASSERT_EQ(drawn.boxes.size(), 2u);
        const auto& frame = drawn.boxes[0];
        EXPECT_EQ(frame.left, 4);
        EXPECT_EQ(frame.right, 252);
        EXPECT_EQ(frame.top, kTop);
        EXPECT_EQ(frame.bottom, kBottom);
        const auto& bar = drawn.boxes[1];
        EXPECT_EQ(bar.left, 4);
        EXPECT_EQ(bar.right - bar.left, c.fill);
        EXPECT_EQ(bar.top, kTop);
        EXPECT_EQ(bar.bottom, kBottom);
        EXPECT_EQ(bar.fill, c.colour);

        const auto texts = drawn.textsAt(kTop);
        ASSERT_EQ(texts.size(), 3u);
        const char* expected[] = {c.massText, c.percentText, c.capacityText};
        const int columns[] = {1, 15, 27};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(texts[i].text, expected[i]);
            EXPECT_EQ(texts[i].x, columns[i] * 8 + 4);
            EXPECT_EQ(texts[i].colour, kWhite);
            EXPECT_EQ(texts[i].bkMode, TRANSPARENT);
        }
    }
}

TEST_F(GaugeTest, AMassNoIntCanHoldDrawsWithoutOverflowOrOverrun) {
    ship.tanks[0] = {100, std::nan("")};
    repaint();
    ASSERT_EQ(drawn.boxes.size(), 2u);
    EXPECT_EQ(drawn.boxes[1].right, 4);

    ship.tanks[0] = {100, 1e300};
    repaint();
    ASSERT_EQ(drawn.boxes.size(), 2u);
    EXPECT_EQ(drawn.boxes[1].right, std::numeric_limits<int>::max());
    const auto texts = drawn.textsAt(kTop);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text.size(), 251u);  // 301 digits and " kg", cut
}

TEST_F(GaugeTest, EachGaugeCreatesOneBrushAndRestoresAndDeletesIt) {
    ship.tanks[0] = {1000, 250};
    const HBRUSH selected = CreateSolidBrush(0x123456);
    const HGDIOBJ original = SelectObject(&surface, selected);
    const int64_t created = sim::GdiObjects::created();
    const int64_t live = sim::GdiObjects::live();

    repaint();

    EXPECT_EQ(sim::GdiObjects::created() - created, 1);
    EXPECT_EQ(sim::GdiObjects::live(), live);
    EXPECT_EQ(surface.brush, selected);
    ASSERT_EQ(drawn.boxes.size(), 2u);
    EXPECT_EQ(drawn.boxes[0].fill, 0x123456u) << "the frame uses whatever brush is selected";
    std::vector<const void*> selections;
    std::vector<sim::GdiCall> drawing;
    for (const auto& e : surface.log) {
        if (e.call == sim::GdiCall::SelectObject) selections.push_back(e.object);
        if (e.call == sim::GdiCall::SelectObject || e.call == sim::GdiCall::Rectangle)
            drawing.push_back(e.call);
    }
    ASSERT_EQ(selections.size(), 2u);
    EXPECT_NE(selections[0], selected);
    EXPECT_EQ(selections[1], selected);
    EXPECT_EQ(drawing, (std::vector<sim::GdiCall>{sim::GdiCall::Rectangle, sim::GdiCall::SelectObject,
                                                  sim::GdiCall::Rectangle, sim::GdiCall::SelectObject}));
    SelectObject(&surface, original);
    EXPECT_TRUE(DeleteObject(selected));
}

// Drawing allocates nothing of its own: four modes and the help page, with the host's call
// record and the surface's log switched off so that only the module and the host's GDI remain.
TEST_F(PageTest, DrawingAPageAllocatesNothingInTheModule) {
    auto& own = addVessel(sim, "Ship", {{1000, 250}, {300, 100}}, 2);
    auto& depot = addVessel(sim, "Depot", {{2000, 1500}}, 1);
    sim.dock(own, 0, depot, 0);
    open(own);
    sim::RecordingSurface quiet(cw, false);
    sim.calls.logging = false;

    // The counter sees allocations made directly and through the library.
    const uint64_t first = test::allocations();
    ::operator delete(::operator new(16));
    std::string text(100, 'x');
    ASSERT_EQ(test::allocations() - first, 2u) << text;

    for (int32_t page : {0, 1, 2, 3, -1}) {  // the four modes, then the help page
        SCOPED_TRACE(page);
        test::setUpFor(own);
        if (page < 0) mfd->ConsumeKeyBuffered(kKeyHelp);
        if (page >= 0) transferState.pumpMode = page;
        mfd->Repaint(&quiet);  // settles the source
        const uint64_t all = test::allocations();
        const int64_t host = sim::GdiObjects::allocations();
        mfd->Repaint(&quiet);
        const auto hostAllocations = static_cast<uint64_t>(sim::GdiObjects::allocations() - host);
        EXPECT_EQ(test::allocations() - all - hostAllocations, 0u) << "allocated by the module";
        if (page != -1) {
            EXPECT_GT(hostAllocations, 0u) << "the host's brushes are seen, and told apart";
        }
    }
    sim.calls.logging = true;
}

}  // namespace
