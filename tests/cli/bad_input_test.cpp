// Bad input of every kind: one line on stderr that names what is wrong and where, a non-zero exit
// status, and no file written, not even the pictures and saves of a script that got part way. What
// only the run finds prints the log up to there, and names the files it did not write.
#include <sys/stat.h>

#include "tests/cli/cli_support.h"

using namespace clitest;

TEST_F(CliTest, BadInputIsOneLineNamingWhatAndWhereAndWritesNothing) {
    fs::create_directories(root / "a-folder");
    std::ofstream(root / "a-file") << "not a folder\n";
    const std::string underAFile = (root / "a-file" / "x.scn").string();
    std::ofstream(root / "bad.scn") << "BEGIN_SHIPS\nTanker:DG-S\n  PRPLEVEL 0:full\nEND\nEND_SHIPS\n";
    std::ofstream(root / "alien.scn") << "BEGIN_SHIPS\nZX-1:Saucer\nEND\nEND_SHIPS\n";
    std::ofstream(root / "no-end.scn")
        << "BEGIN_SHIPS\nTanker:DG-S\n  PRPLEVEL 0:0.5\nDepot:ProjectAlpha_ISS\n  DOCKINFO "
           "0:0,Tanker\nEND\nEND_SHIPS\n";
    const std::string depot = scenario("docked-depot.scn");
    std::ofstream(root / "empty.scn") << "BEGIN_DESC\nNothing here yet.\nEND_DESC\n";
    // Not regular files: a FIFO would block the first open until a writer came.
    ASSERT_EQ(mkfifo((root / "fifo").c_str(), 0600), 0);
    const char binary[] = {'\x7f', 'E', 'L', 'F', '\x02', '\x01', '\0', '\0', '\x03', '\xfe', '\n', '\x01'};
    std::ofstream(root / "binary.scn", std::ios::binary).write(binary, sizeof binary);
    const std::string fifo = (root / "fifo").string();
    // Each a class line of its own, and files whose lines end in CR alone.
    std::ofstream(root / "ports.cfg") << "DG-S 99999999999 2500\n";
    std::ofstream(root / "word.cfg") << "DG-S one 2500\n";
    std::ofstream(root / "mass.cfg") << "DG-S 1 2500 1e999\n";
    std::ofstream(root / "cr.cfg") << "Tanker 2 1000\rDepot 1 5000\r";
    std::ofstream(root / "cr.scn") << "BEGIN_SHIPS\rTanker:DG-S\rEND\rEND_SHIPS\r";
    std::ofstream(root / "ghost.scn")
        << "BEGIN_MFD Left\nEND_MFD\n\nBEGIN_SHIPS\nTanker:DG-S\nEND\nEND_SHIPS\n"
           "BEGIN_KESTRANE_SIM\n  DISPLAY Left 512 512 Ghost\nEND\n";
    struct Case {
        std::string name;
        std::vector<std::string> args;
        std::string script;  // written to bad.script and passed with --script when not empty
        int status;
        std::vector<std::string> says;
        std::vector<std::string> unwritten =
            {};  // found while running: the files the log names as not written
    };
    const std::vector<Case> cases{
        {"missing scenario", {"run", "no-such.scn"}, "", 1, {"no-such.scn", "cannot open"}},
        {"folder for a scenario", {"run", (root / "a-folder").string()}, "", 1, {"a-folder", "is a folder"}},
        {"malformed scenario",
         {"run", (root / "bad.scn").string()},
         "",
         1,
         {"bad.scn:3:", "PRPLEVEL", "'0:full'"}},
        {"unknown vessel class",
         {"run", (root / "alien.scn").string()},
         "",
         1,
         {"alien.scn:2:", "unknown vessel class 'Saucer'", "add it to", "vessel-classes.cfg"}},
        {"ship without its END",
         {"run", (root / "no-end.scn").string()},
         "",
         1,
         {"no-end.scn:2:",
          "ship 'Tanker' has no END line: line 4 'Depot:ProjectAlpha_ISS' begins another ship"}},
        {"missing class file",
         {"--classes", "no-such.cfg", "run", (root / "alien.scn").string()},
         "",
         1,
         {"no-such.cfg", "cannot open the vessel classes"}},
        // One case a line, as a table.
        // clang-format off
        {"endless scenario", {"run", "/dev/zero"}, "", 1, {"/dev/zero", "a character device, not a regular file"}},
        {"FIFO for a scenario", {"run", fifo}, "", 1, {"fifo: cannot open: it is a FIFO, not a regular file"}},
        {"FIFO for the classes", {"--classes", fifo, "run", depot}, "", 1, {"fifo: cannot open the vessel classes: it is a FIFO, not a regular file"}},
        {"FIFO for play", {"play", fifo}, "", 1, {"fifo: cannot open: it is a FIFO"}},
        {"binary file for a scenario", {"run", (root / "binary.scn").string()}, "", 1, {"binary.scn: not a scenario file"}},
        {"missing script", {"run", depot, "--script", "no-such.script"}, "", 1, {"no-such.script", "cannot open the script"}},
        {"unknown action", {"run", depot}, "0 show\n1 kee M\n", 1, {"bad.script:2:", "unknown action 'kee'"}},
        {"no time", {"run", depot}, "soon key M\n", 1, {"bad.script:1:", "'soon' is not a time"}},
        {"time going back", {"run", depot}, "5 key M\n2 key T\n", 1, {"bad.script:2:", "before the previous line"}},
        {"missing argument", {"run", depot}, "1 undock Tanker\n", 1, {"bad.script:1:", "expected 'undock VESSEL PORT'"}},
        {"unknown key", {"run", depot}, "1 key Q7\n", 1, {"bad.script:1:", "unknown key name 'Q7'"}},
        {"unknown vessel", {"run", depot}, "1 undock Ghost 0\n", 1, {"bad.script:1:", "unknown vessel 'Ghost'"}},
        {"removed vessel", {"run", depot}, "1 remove Depot\n2 dock Tanker 0 Depot 0\n", 1, {"bad.script:2:", "unknown vessel 'Depot'"}},
        {"unknown display", {"run", depot}, "1 key M Middle\n", 1, {"bad.script:1:", "unknown display 'Middle'"}},
        {"port out of range", {"run", depot}, "1 undock Tanker 2\n", 1, {"bad.script:1:", "has no port 2"}},
        {"missing file to load", {"run", depot}, "1 load nothing.scn\n", 1, {"bad.script:1:", "nothing.scn", "cannot open"}},
        // Found only while running, after pictures and a save were due: still nothing written.
        {"port in use", {"run", depot}, "0 show\n1 save x.scn\n2 dock Tanker 0 Depot 0\n", 1, {"bad.script:3:", "cannot dock"},
         {"kestrane-out/docked-depot-Left-0s.png", "kestrane-out/x.scn"}},
        {"unknown button label", {"run", depot}, "0 show\n1 button XYZ\n", 1, {"bad.script:2:", "no button labelled 'XYZ'", "MOD"},
         {"kestrane-out/docked-depot-Left-0s.png"}},
        {"module not found", {"--module", "/no/such/libKestrane.so", "run", depot}, "", 1, {"module not found", "/no/such/libKestrane.so"}},
        {"module without exports", {"--module", KESTRANE_NOT_A_MODULE, "run", depot}, "", 1, {"does not export __opcGetInterface"}},
        {"library the program has loaded", {"--module", KESTRANE_HOST_LIBRARY, "run", depot}, "", 1, {"is not a module", "does not export __opcGetInterface"}},
        {"demo without its module", {"--module", "/no/such/libKestrane.so"}, "", 1, {"module not found"}},
        {"unknown option", {"run", depot, "--bogus"}, "", 2, {"--bogus"}},
        {"bad option value", {"run", depot, "--step", "-1"}, "", 2, {"--step"}},
        {"option of another command", {"--no-pictures"}, "", 2, {"--no-pictures"}},
        {"play without a terminal", {"play", depot}, "", 1, {"play needs a terminal"}},
        {"times summing beyond the cap", {"run", depot}, "1e9 note a\n+1e308 note b\n", 1, {"bad.script:2:", "beyond the longest run"}},
        {"time beyond the longest run", {"run", depot}, "1e12 note a\n", 1, {"bad.script:1:", "beyond the longest run"}},
        {"too many frames", {"run", depot, "--step", "1e-300"}, "", 1, {"frames", "--step"}},
        {"too many frames after a slower accel", {"run", depot, "--time", "1e9"}, "0 accel 0.001\n", 1, {"frames"}},
        {"button with two signs", {"run", depot}, "1 button --5\n", 1, {"bad.script:1:", "'--5' is not a number"}},
        {"hex button with a sign inside", {"run", depot}, "1 button 0x-5\n", 1, {"bad.script:1:", "'0x-5' is not a number"}},
        {"save over a picture", {"run", depot}, "0 show\n1 save docked-depot-Left-0s.png\n", 1,
         {"bad.script:2:", "a name for a picture of this run", "such as docked-depot-Left-0s.scn"}},
        {"save under the name of a later picture", {"run", depot}, "1 save docked-depot-Left-end.PNG\n", 1,
         {"bad.script:1:", "a name for a picture of this run"}},
        // Checked before anything is written: the picture of the run is not left behind.
        {"save under a plain file", {"run", depot}, "0 show\n1 save " + underAFile + "\n", 1,
         {"a-file", "cannot create the folder"}},
        {"unknown vessel of a display", {"run", (root / "ghost.scn").string()}, "", 1, {"ghost.scn:9:", "unknown ship 'Ghost'"}},
        {"scenario without a vessel", {"run", (root / "empty.scn").string()}, "", 1, {"empty.scn", "has no ship"}},
        {"loading a scenario without a vessel", {"run", depot}, "1 load empty.scn\n", 1, {"bad.script:1:", "has no ship"}},
        {"endless script", {"run", depot, "--script", "/dev/zero"}, "", 1, {"/dev/zero", "cannot open the script: it is a character device"}},
        {"FIFO for a script", {"run", depot, "--script", fifo}, "", 1, {"fifo: cannot open the script: it is a FIFO, not a regular file"}},
        {"FIFO to load", {"run", depot}, "1 load " + fifo + "\n", 1, {"bad.script:1:", "fifo: cannot open: it is a FIFO, not a regular file"}},
        {"folder to load", {"run", depot}, "1 load " + (root / "a-folder").string() + "\n", 1, {"bad.script:1:", "a-folder: cannot open: it is a folder"}},
        {"module that is a folder", {"--module", (root / "a-folder").string(), "run", depot}, "", 1,
         {"cannot load module", "a-folder': it is a folder, not a regular file"}},
        {"module that is a FIFO", {"--module", fifo, "run", depot}, "", 1, {"cannot load module", "fifo': it is a FIFO"}},
        {"unknown command", {"fly", depot}, "", 2, {"unknown command 'fly'", "run and play"}},
        {"display the simulator has not", {"run", depot}, "1 open Aux Depot\n", 1, {"bad.script:1:", "Left, Right and 3 to 12", "Ext1 to Ext99"}},
        {"view the scenario gives no size", {"run", depot}, "1 view vc\n", 1, {"bad.script:1:", "view vc: the scenario does not say how large", "VIEW vc WIDTH HEIGHT"}},
        {"view the simulator has not", {"run", depot}, "1 view outside\n", 1, {"bad.script:1:", "generic, panel and vc"}},
        {"cockpit display pinned", {"run", depot}, "1 pin Left on\n", 1, {"bad.script:1:", "'Left' is the cockpit's"}},
        {"external display gone with its vessel (the focus did not move)", {"run", depot},
         "1 open Ext1 Depot\n2 focus Tanker\n3 remove Depot\n4 key M Ext1\n", 1, {"bad.script:4:", "display 'Ext1' is gone: it closed when its vessel Depot was removed at 3.00 s (line 3) (displays now: Left, Right)"}},
        {"external display used after its window closed", {"run", depot}, "1 open Ext1 Tanker\n2 close Ext1\n3 key M Ext1\n", 1, {"bad.script:3:", "display 'Ext1' is gone: its window was closed at 2.00 s (line 2)"}},
        {"sizes are decimal, 1 to 65535, in one message form", {"run", depot}, "1 resize Left 0x100 300\n2 resize Left -5 1\n", 1,
         {"bad.script:1:", "width '0x100' is not a whole number from 1 to 65535"}},
        {"a size of 0", {"run", depot}, "1 resize Left 300 0\n", 1, {"bad.script:1:", "height '0' is not a whole number from 1 to 65535"}},
        {"a size for a display already open", {"run", depot}, "1 open Ext1 Tanker\n2 open Ext1 Tanker 400 400\n", 1,
         {"bad.script:2:", "display 'Ext1' is there already: a size is for a new display (to change its size: resize Ext1 400 400)"}},
        {"external display used after a load", {"run", depot}, "1 open Ext1 Tanker\n2 save a.scn\n3 load a.scn\n4 open Ext1\n", 1,
         {"bad.script:4:", "display 'Ext1' is gone: the load at 3.00 s (line 3) closed it: external displays are not saved", "a new one needs its vessel"}},
        {"second save under one name", {"run", depot}, "1 save a.scn\n2 save a.scn\n", 1,
         {"bad.script:2:", "already saved by line 1"}},
        {"--out that is a file", {"--out", (root / "a-file").string(), "run", depot}, "", 1, {"--out", "is not a folder"}},
        {"--out under a file", {"--out", (root / "a-file" / "out").string(), "run", depot}, "", 1,
         {"--out", "a-file is not a folder, so the folder cannot be made"}},
        {"--out under a file for play", {"--out", (root / "a-file" / "out").string(), "play", depot}, "", 1, {"--out"}},
        {"control character in a key name", {"run", depot}, "1 key M\x01\n", 1, {"bad.script:1:", "unknown key name 'M\\x01'"}},
        {"byte that is no UTF-8", {"run", depot}, "1 k\xff\xfe M\n", 1, {"bad.script:1:", "unknown action 'k\\xFF\\xFE'"}},
        // Nor is a new --out folder made for the pictures when a later file's folder cannot be.
        {"failed run in a new --out folder", {"--out", "new/deeper", "run", depot}, "0 show\n1 save " + underAFile + "\n", 1,
         {"a-file", "cannot create the folder"}},
        {"play's acceleration below its range", {"play", depot, "--accel", "0.095"}, "", 2, {"--accel: 0.095 is not a time acceleration from 0.1 to 10000", "(see kestrane-sim play --help)"}},
        {"key code out of range", {"run", depot}, "1 key 0xFFFFFFFFFFFF\n", 1, {"bad.script:1:", "key code '0xFFFFFFFFFFFF' is out of range 0x0 to 0xFFFFFFFF"}},
        {"key code not in hex", {"run", depot}, "1 key 0x2G\n", 1, {"bad.script:1:", "key code '0x2G' is not a hex number, such as 0x21"}},
        {"button index out of range", {"run", depot}, "1 button 99999999999\n", 1, {"bad.script:1:", "'99999999999' is out of range -1000000 to 1000000"}},
        {"port count out of range", {"--classes", (root / "ports.cfg").string(), "run", depot}, "", 1, {"ports.cfg:1:", "port count '99999999999' of 'DG-S' is out of range 0 to 1024"}},
        {"port count not a number", {"--classes", (root / "word.cfg").string(), "run", depot}, "", 1, {"word.cfg:1:", "'one' of 'DG-S' is not a whole number from 0 to 1024", "expected \"class ports [tank kg ...]\""}},
        {"tank mass out of range", {"--classes", (root / "mass.cfg").string(), "run", depot}, "", 1, {"mass.cfg:1:", "tank 2's mass '1e999' of 'DG-S' is out of range 0 to 1e15 kg"}},
        {"classes in CR-only lines", {"--classes", (root / "cr.cfg").string(), "run", depot}, "", 1, {"cr.cfg: cannot read the vessel classes: its lines end in a carriage return (CR) alone"}},
        {"scenario in CR-only lines", {"run", (root / "cr.scn").string()}, "", 1, {"cr.scn: cannot read: its lines end in a carriage return (CR) alone"}},
        {"script in CR-only lines", {"run", depot}, "1 key M\r2 key T\r", 1, {"bad.script: cannot read the script: its lines end in a carriage return (CR) alone"}},
        {"save onto a folder", {"run", depot}, "0 show\n1 save " + (root / "a-folder").string() + "\n", 1,
         {"a-folder", "is a folder, not a file"}},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.args;
        if (!c.script.empty()) {
            args.push_back("--script");
            args.push_back(script("bad.script", c.script));
        }
        const Result r = run(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.rfind("kestrane-sim: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // exactly one line
        for (const std::string& part : c.says) EXPECT_TRUE(contains(r.err, part)) << part << " in: " << r.err;
        for (const char ch : r.err) EXPECT_TRUE(ch == '\n' || (ch >= 0x20 && ch < 0x7f)) << r.err;
        if (c.unwritten.empty()) {
            // Nothing but the error: the run never started.
            EXPECT_EQ(r.out, "") << r.out;
        } else {
            // The log as far as the run got, which ends with the files it did not write.
            EXPECT_TRUE(contains(r.out, "\nRun:  ")) << r.out;
            std::string unwritten = "\nNot written, as the run stopped:\n";
            for (const std::string& f : c.unwritten) unwritten += "  " + f + "\n";
            EXPECT_TRUE(r.out.ends_with(unwritten)) << r.out;
        }
        EXPECT_EQ(filesWritten(), std::vector<std::string>{});
        EXPECT_TRUE(fs::is_empty(work)) << "a folder was left behind";
    }
}
