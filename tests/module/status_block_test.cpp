// The instrument's scenario block: what is written, that writing leaves the state as it was,
// and how each kind of line is read back.
#include <memory>
#include <string>
#include <vector>

#include "display/pump_mfd.h"
#include "sim/world/scenario_block.h"
#include "tests/module/module_test.h"

using sim::HostCall;
using test::addVessel;
using test::iface;

namespace {

using Lines = std::vector<std::string>;

// What a block read into the instrument leaves in the state. Before each block the state holds
// the values in `kBefore`, so that "unchanged" shows.
struct Fields {
    int32_t mode, rate, port, targetTank, sourceTank;
    const char* source;  // the source vessel's name, or null
};
constexpr Fields kBefore{2, 1, 1, 1, 1, "Ship"};

struct ReadCase {
    const char* what;
    Lines lines;
    Fields after;
};

class StatusBlockTest : public test::SimTest {
protected:
    sim::VesselRecord& ship = addVessel(sim, "Ship", {{100, 10}, {100, 20}, {100, 30}}, 2);
    sim::VesselRecord& depot = addVessel(sim, "Depot", {{500, 400}, {500, 0}}, 1);
    std::unique_ptr<PumpMFD> mfd = std::make_unique<PumpMFD>(512, 512, iface(ship));

    Lines write() {
        sim::ScenarioBlock block;
        mfd->WriteStatus(&block);
        return block.lines;
    }
    void read(const Lines& lines) {
        sim::ScenarioBlock block(lines);
        mfd->ReadStatus(&block);
    }
    // Reads the case's block into a new instrument, from the state in `kBefore`.
    void readAndCheck(const ReadCase& c) {
        mfd = std::make_unique<PumpMFD>(512, 512, iface(ship));
        TransferState& s = transferState;
        s = {iface(ship),  kBefore.targetTank, iface(ship),   kBefore.sourceTank, kBefore.port,
             kBefore.mode, kBefore.rate,       ship.handle(), ship.handle()};
        read(c.lines);
        const Fields& a = c.after;
        EXPECT_EQ(s.pumpMode, a.mode) << c.what;
        EXPECT_EQ(s.pumpRate, a.rate) << c.what;
        EXPECT_EQ(s.dockPort, a.port) << c.what;
        EXPECT_EQ(s.targetTank, a.targetTank) << c.what;
        EXPECT_EQ(s.sourceTank, a.sourceTank) << c.what;
        EXPECT_EQ(s.targetVessel, iface(ship)) << c.what;
        sim::VesselRecord* source = a.source ? sim.findVessel(a.source) : nullptr;
        EXPECT_EQ(s.sourceVessel, source ? iface(*source) : nullptr) << c.what;
        EXPECT_EQ(s.sourceHandle, source ? source->handle() : nullptr) << c.what;
    }
};

TEST_F(StatusBlockTest, WritesFourItemsWithoutSourceVesselFiveWithOneAndLeavesTheStateAsItWas) {
    transferState.pumpMode = Vent;
    transferState.setSource(nullptr, nullptr);
    transferState.pumpRate = 3;
    transferState.dockPort = 1;
    transferState.targetTank = 2;
    transferState.sourceTank = 1;
    TransferState before = transferState;
    EXPECT_EQ(write(), (Lines{"PUMPMODE 3", "PUMPRATE 3", "DOCKPORT 1", "TARGETTANK 2"}));
    EXPECT_EQ(transferState, before);

    ASSERT_TRUE(sim.dock(ship, 1, depot, 0));
    test::setUpFor(ship);
    transferState.pumpMode = Load;
    transferState.setSource(iface(depot), depot.handle());
    transferState.sourceTank = 1;
    transferState.pumpRate = 2;
    transferState.dockPort = 1;
    sim.calls.clear();
    EXPECT_EQ(write(),
              (Lines{"PUMPMODE 1", "PUMPRATE 2", "DOCKPORT 1", "TARGETTANK 0", "SOURCETANK 1:Depot"}));
    EXPECT_EQ(sim.calls.count(HostCall::WriteScenarioInt), 4u);
    EXPECT_EQ(sim.calls.count(HostCall::WriteScenarioString), 1u);

    // The next instrument's block, written right after, carries the same.
    before = transferState;
    EXPECT_EQ(write(),
              (Lines{"PUMPMODE 1", "PUMPRATE 2", "DOCKPORT 1", "TARGETTANK 0", "SOURCETANK 1:Depot"}));
    EXPECT_EQ(transferState, before);

    // Without a target vessel the state describes no vessel's transfer: nothing of it is saved.
    clearTransferState();
    transferState.pumpMode = Unload;
    transferState.targetTank = 2;
    EXPECT_EQ(write(), (Lines{"PUMPMODE 0", "PUMPRATE 0", "DOCKPORT 0", "TARGETTANK 0"}));
}

TEST_F(StatusBlockTest, ANameTheBlockCouldNotCarryIsLeftOutRatherThanCut) {
    // Index 3, the colon and 77 characters fill the 79 the value may hold.
    const std::string fits(77, 'F');
    const std::string tooLong(78, 'L');
    struct Case {
        std::string name;
        std::string value;
    };
    for (const Case& c : {Case{fits, "3:" + fits}, Case{tooLong, "3"}, Case{"Big Ship", "3"}}) {
        auto& other = addVessel(sim, c.name, {{10, 1}, {10, 1}, {10, 1}, {10, 1}});
        test::setUpFor(ship);
        transferState.setSource(iface(other), other.handle());
        transferState.sourceTank = 3;
        const Lines lines = write();
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[4], "SOURCETANK " + c.value) << c.name;
        sim.removeVessel(other);
    }
}

TEST_F(StatusBlockTest, ARemovedSourceVesselIsNotAskedForItsName) {
    ASSERT_TRUE(sim.dock(ship, 0, depot, 0));
    transferState.pumpMode = Load;
    transferState.setSource(iface(depot), depot.handle());
    transferState.pumpRate = 2;
    sim.removeVessel(depot);
    sim.calls.clear();
    EXPECT_EQ(write(), (Lines{"PUMPMODE 1", "PUMPRATE 0", "DOCKPORT 0", "TARGETTANK 0"}));
    EXPECT_EQ(sim.calls.count(HostCall::GetName), 0u);
    EXPECT_EQ(sim.calls.badCalls, 0u);
    EXPECT_EQ(transferState.targetVessel, iface(ship));
    EXPECT_EQ(transferState.sourceVessel, nullptr);
}

TEST_F(StatusBlockTest, ReadsEachItemByTheScanRules) {
    const std::string name79(79, 'N');
    const std::string name80(80, 'N');
    addVessel(sim, name79, {{1, 0}});  // the first 79 characters of the 80-character name
    addVessel(sim, name80, {{1, 0}});  // a name no block can have carried
    const std::vector<ReadCase> cases = {
        {"empty block", {}, kBefore},
        {"the block ends at END_MFD, however far the host reads on",
         {"PUMPRATE 2", "END_MFD", "PUMPRATE 0", "BEGIN_MFD Right", "TYPE User", "MODE Fuel Management",
          "PUMPMODE 0", "END_MFD", "END"},
         {2, 2, 1, 1, 1, "Ship"}},
        {"letter case does not matter", {"pumprate 2", "DockPort 0"}, {2, 2, 0, 1, 1, "Ship"}},
        {"digit right after the name", {"PUMPRATE2"}, {2, 2, 1, 1, 1, "Ship"}},
        {"words after the number", {"PUMPRATE 3 is High"}, {2, 3, 1, 1, 1, "Ship"}},
        {"white space and sign before the digits",
         {"PUMPRATE \t +3", "PUMPMODE -0"},
         {0, 3, 1, 1, 1, "Ship"}},
        {"scan starts at the X and finds no number", {"PUMPRATEX 2"}, kBefore},
        {"nothing after the name", {"PUMPRATE", "TARGETTANK   "}, kBefore},
        {"lines that name no item", {"PUMP 3", "RATE 2", "MODE 1", "; PUMPRATE 2"}, kBefore},
        {"a later line wins",
         {"DOCKPORT 0", "PUMPMODE 3", "DOCKPORT 1", "PUMPMODE 1"},
         {1, 1, 1, 1, 1, "Ship"}},
        {"only the target tank", {"TARGETTANK 2"}, {2, 1, 1, 2, 1, "Ship"}},
        {"a tank index beyond the vessel's tanks is left to the redraw",
         {"TARGETTANK 9"},
         {2, 1, 1, 9, 1, "Ship"}},
        {"source tank and vessel", {"SOURCETANK 19:Depot"}, {2, 1, 1, 1, 19, "Depot"}},
        {"blanks after the colon", {"SOURCETANK 0:  \tDepot"}, {2, 1, 1, 1, 0, "Depot"}},
        {"the name ends at a blank", {"SOURCETANK 0:Depot and more"}, {2, 1, 1, 1, 0, "Depot"}},
        {"a name cut at a blank names no vessel", {"SOURCETANK 0:Dep ot"}, {2, 1, 1, 1, 0, nullptr}},
        {"a name of no vessel", {"SOURCETANK 0:Nobody"}, {2, 1, 1, 1, 0, nullptr}},
        {"no colon", {"SOURCETANK 0"}, {2, 1, 1, 1, 0, "Ship"}},
        {"a blank before the colon", {"SOURCETANK 0 :Depot"}, {2, 1, 1, 1, 0, "Ship"}},
        {"nothing after the colon", {"SOURCETANK 0:   "}, {2, 1, 1, 1, 0, "Ship"}},
        {"no number", {"SOURCETANK :Depot"}, kBefore},
        {"a vent block has no source vessel", {"PUMPMODE 3", "PUMPRATE 2"}, {3, 2, 1, 1, 1, nullptr}},
        {"a vent block that names a source keeps it",
         {"SOURCETANK 0:Depot", "PUMPMODE 3"},
         {3, 1, 1, 1, 0, "Depot"}},
        {"79 characters are a name", {"SOURCETANK 0:" + name79}, {2, 1, 1, 1, 0, name79.c_str()}},
        {"80 characters name no vessel, not even one of that name",
         {"SOURCETANK 0:" + name80},
         {2, 1, 1, 1, 0, nullptr}},
    };
    for (const ReadCase& c : cases) readAndCheck(c);
    EXPECT_EQ(sim.calls.badCalls, 0u) << "a missing vessel is not looked up";
}

TEST_F(StatusBlockTest, ValuesOutsideTheirRangesOrThirtyTwoBitsLeaveTheirFields) {
    const std::vector<ReadCase> cases = {
        {"modes beyond the table", {"PUMPMODE 4", "PUMPMODE -1"}, kBefore},
        {"the last mode, a vent without a source", {"PUMPMODE 3"}, {3, 1, 1, 1, 1, nullptr}},
        {"rates beyond the table", {"PUMPRATE 4", "PUMPRATE -1", "PUMPRATE 100"}, kBefore},
        {"a port the vessel does not have", {"DOCKPORT 2", "DOCKPORT -1"}, kBefore},
        {"the vessel's last port", {"DOCKPORT 0", "DOCKPORT 1"}, {2, 1, 1, 1, 1, "Ship"}},
        {"negative tank indices", {"TARGETTANK -1", "SOURCETANK -2"}, kBefore},
        {"a negative source tank still names its vessel", {"SOURCETANK -1:Depot"}, {2, 1, 1, 1, 1, "Depot"}},
        {"wraps to 2 in 32 bits", {"PUMPRATE 4294967298"}, kBefore},
        {"just beyond 32 bits", {"TARGETTANK 2147483648", "TARGETTANK -2147483649"}, kBefore},
        {"the largest index", {"TARGETTANK 2147483647"}, {2, 1, 1, 2147483647, 1, "Ship"}},
        {"many digits", {"PUMPRATE 99999999999999999999999999999999"}, kBefore},
        {"leading zeros fit", {"PUMPRATE 000000000000000000003"}, {2, 3, 1, 1, 1, "Ship"}},
        {"an overlong source tank stops the scan", {"SOURCETANK 99999999999:Depot"}, kBefore},
    };
    for (const ReadCase& c : cases) readAndCheck(c);
}

TEST_F(StatusBlockTest, TheReaderDoesNotSkipWhiteSpaceBeforeTheItemName) {
    // The host removes leading blanks and tabs before it hands a line over; other white space
    // reaches the reader, which must not match the name behind it.
    for (const char* line : {"\fPUMPRATE 2", "\vPUMPRATE 2", "\rPUMPRATE 2", "\nPUMPRATE 2"}) {
        transferState.pumpRate = 1;
        read({line});
        EXPECT_EQ(transferState.pumpRate, 1) << static_cast<int>(line[0]);
    }
    read({"   \tPUMPRATE 2"});
    EXPECT_EQ(transferState.pumpRate, 2) << "blanks the host removed";
}

TEST_F(StatusBlockTest, AWrittenBlockReadsBackIntoANewInstrument) {
    ASSERT_TRUE(sim.dock(ship, 1, depot, 0));
    transferState = {iface(ship), 2, iface(depot), 1, 1, Unload, 3, ship.handle(), depot.handle()};
    const Lines lines = write();
    mfd = std::make_unique<PumpMFD>(512, 512, iface(ship));
    read(lines);
    const TransferState& s = transferState;
    EXPECT_EQ(s.targetVessel, iface(ship));
    EXPECT_EQ(s.targetTank, 2);
    EXPECT_EQ(s.sourceVessel, iface(depot));
    EXPECT_EQ(s.sourceHandle, depot.handle());
    EXPECT_EQ(s.sourceTank, 1);
    EXPECT_EQ(s.dockPort, 1);
    EXPECT_EQ(s.pumpMode, Unload);
    EXPECT_EQ(s.pumpRate, 3);
}

TEST_F(StatusBlockTest, AnotherVesselsConfigurationNamesItsVesselFirstAndComesBackAsItsOwnOrNotAtAll) {
    // The configuration is the depot's (a display stuck to it set it up last), the saving
    // display is the ship's.
    ASSERT_TRUE(sim.dock(ship, 1, depot, 0));
    transferState = {iface(depot), 1, iface(ship), 2, 0, Unload, 2, depot.handle(), ship.handle()};
    const TransferState saved = transferState;
    const Lines lines = write();
    EXPECT_EQ(lines, (Lines{"TARGETVESSEL Depot", "PUMPMODE 2", "PUMPRATE 2", "DOCKPORT 0", "TARGETTANK 1",
                            "SOURCETANK 2:Ship"}));
    EXPECT_EQ(transferState, saved);
    mfd = std::make_unique<PumpMFD>(512, 512, iface(ship));
    read(lines);
    EXPECT_EQ(transferState, saved);

    // Without a source item the source is the named vessel, as a display of it sets it up.
    mfd = std::make_unique<PumpMFD>(512, 512, iface(ship));
    read({"TARGETVESSEL Depot", "PUMPMODE 0", "PUMPRATE 1", "SOURCETANK 1"});
    EXPECT_EQ(transferState.sourceVessel, iface(depot));
    EXPECT_EQ(transferState.sourceHandle, depot.handle());
    EXPECT_EQ(transferState.pumpRate, 1);

    // Whatever the block cannot give back whole starts this display afresh, or stops the pump.
    const TransferState fresh = {iface(ship),  0, iface(ship), 0, 0, CrossFeed, 0, ship.handle(),
                                 ship.handle()};
    struct Case {
        const char* what;
        Lines lines;
        TransferState after;
    };
    auto& hulk = addVessel(sim, "Hulk", {{10, 5}});
    const Case cases[] = {
        {"port 0 of a vessel without ports is no port beyond them",
         {"TARGETVESSEL Hulk", "PUMPMODE 3", "PUMPRATE 2", "DOCKPORT 0"},
         {iface(hulk), 0, nullptr, 0, 0, Vent, 2, hulk.handle(), nullptr}},
        {"a vessel the scenario no longer has", {"TARGETVESSEL Nobody", "PUMPMODE 3", "PUMPRATE 3"}, fresh},
        {"no name", {"TARGETVESSEL   ", "PUMPMODE 3", "PUMPRATE 3"}, fresh},
        {"a port beyond the vessel's, given before it",
         {"DOCKPORT 1", "PUMPMODE 1", "PUMPRATE 3", "TARGETVESSEL Depot"},
         {iface(depot), 0, iface(depot), 0, 0, Load, 0, depot.handle(), depot.handle()}},
        {"a port beyond the vessel's, given after it",
         {"TARGETVESSEL Depot", "DOCKPORT 1", "PUMPMODE 1", "PUMPRATE 3"},
         {iface(depot), 0, iface(depot), 0, 0, Load, 0, depot.handle(), depot.handle()}},
    };
    for (const Case& c : cases) {
        mfd = std::make_unique<PumpMFD>(512, 512, iface(ship));
        read(c.lines);
        EXPECT_EQ(transferState, c.after) << c.what;
    }
    EXPECT_EQ(sim.calls.badCalls, 0u) << "a missing vessel is not looked up";

    // A name the reader would cut is written as none: the configuration is then not restored.
    auto& big = addVessel(sim, "Big Ship", {{10, 1}});
    test::setUpFor(big);
    EXPECT_EQ(write().front(), "TARGETVESSEL ");
}

TEST_F(StatusBlockTest, TheBlockOfAClearedStateDoesNotUndoTheBlockReadBeforeIt) {
    // Two displays of the mode on one vessel, in a file of an earlier version, which cleared
    // the state as it wrote: the first block carries the configuration, the second the zeros.
    transferState = {iface(ship), 0, iface(ship), 2, 0, CrossFeed, 2, ship.handle(), ship.handle()};
    const Lines first = write();
    const Lines second = {"PUMPMODE 0", "PUMPRATE 0", "DOCKPORT 0", "TARGETTANK 0"};
    mfd = std::make_unique<PumpMFD>(512, 512, iface(ship));
    read(first);
    auto other = std::make_unique<PumpMFD>(400, 300, iface(ship));  // adopts the state
    sim::ScenarioBlock block(second);
    other->ReadStatus(&block);
    EXPECT_EQ(transferState.pumpRate, 2);
    EXPECT_EQ(transferState.sourceTank, 2);

    // Any other block of zeros is read as it stands: three of the four items, each left out in
    // turn, set their fields.
    const Lines zeros = {"PUMPMODE 0", "PUMPRATE 0", "DOCKPORT 0", "TARGETTANK 0"};
    for (size_t missing = 0; missing < zeros.size(); ++missing) {
        transferState = {iface(ship), 2, iface(ship), 1, 1, Unload, 2, ship.handle(), ship.handle()};
        Lines three = zeros;
        three.erase(three.begin() + static_cast<std::ptrdiff_t>(missing));
        read(three);
        const int32_t fields[] = {transferState.pumpMode, transferState.pumpRate, transferState.dockPort,
                                  transferState.targetTank};
        const int32_t before[] = {Unload, 2, 1, 2};
        for (size_t i = 0; i < zeros.size(); ++i) {
            EXPECT_EQ(fields[i], i == missing ? before[i] : 0) << zeros[missing] << " left out, " << zeros[i];
        }
    }
    transferState.pumpRate = 2;
    read({"PUMPMODE 0", "PUMPRATE 0", "DOCKPORT 0", "TARGETTANK 0", "SOURCETANK 1"});
    EXPECT_EQ(transferState.pumpRate, 0);
    EXPECT_EQ(transferState.sourceTank, 1);
}

}  // namespace
