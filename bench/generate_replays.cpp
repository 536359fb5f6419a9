// Writes the redraw baselines (replay.h): records one Repaint of every page and turns its calls
// into straight-line C++. Run by the build; the argument is the file to write.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "replay.h"
#include "trace.h"

namespace {

using bench::Replay;
using bench::TraceItem;
using sim::GdiCall;
using sim::HostCall;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "generate_replays: %s\n", what.c_str());
    std::exit(1);
}

// A C string literal: octal escapes, which end after three digits, for anything unusual.
std::string literal(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f && c != '?') {  // '?' would start trigraph-like pairs
            out += static_cast<char>(c);
        } else {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            out += octal;
        }
    }
    return out + "\"";
}

std::string vesselOf(const TraceItem& item) {
    if (item.vessel < 0) fail(std::string(sim::hostCallName(item.call)) + " without a vessel of the scene");
    return "c.vessel[" + std::to_string(item.vessel) + "]";
}

std::string handleOf(const TraceItem& item) {
    if (item.vessel < 0) fail(std::string(sim::hostCallName(item.call)) + " without a vessel of the scene");
    return "c.handle[" + std::to_string(item.vessel) + "]";
}

struct Emitted {
    std::string code;
    size_t calls = 0;
};

Emitted emit(const bench::Trace& trace, Replay replay) {
    std::ostringstream out;
    size_t calls = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        const TraceItem& item = trace[i];
        if (item.host) {
            if (replay == Replay::Gdi) continue;
            if (replay == Replay::Host && bench::robustnessCheck(item.call)) continue;
            switch (item.call) {
                case HostCall::GetHandle:
                    out << "    h = " << vesselOf(item) << "->GetHandle();\n";
                    break;
                case HostCall::GetName:
                    out << "    keep(" << vesselOf(item) << "->GetName());\n";
                    break;
                case HostCall::GetClassName:
                    out << "    keep(" << vesselOf(item) << "->GetClassNameA());\n";
                    break;
                case HostCall::DockCount:
                    out << "    keep(" << vesselOf(item) << "->DockCount());\n";
                    break;
                case HostCall::GetDockHandle:
                    out << "    dh = " << vesselOf(item) << "->GetDockHandle(c.dockPort);\n";
                    break;
                case HostCall::GetDockStatus:
                    out << "    o = " << vesselOf(item) << "->GetDockStatus(dh);\n";
                    break;
                case HostCall::GetVesselInterface:
                    out << "    keep(oapiGetVesselInterface(o));\n";
                    break;
                case HostCall::IsVessel:
                    out << "    keep(oapiIsVessel(" << handleOf(item) << "));\n";
                    break;
                case HostCall::GetPropellantHandle:
                    // The index does not change the cost; tank 0 belongs to the same vessel.
                    out << "    ph = oapiGetPropellantHandle(h, 0);\n";
                    break;
                case HostCall::GetPropellantMass:
                    out << "    keep(" << vesselOf(item) << "->GetPropellantMass(ph));\n";
                    break;
                case HostCall::GetPropellantMaxMass:
                    out << "    keep(" << vesselOf(item) << "->GetPropellantMaxMass(ph));\n";
                    break;
                case HostCall::GetStatusEx:
                    // A propellant count: the list the host allocates is released at once.
                    if (i + 1 >= trace.size() || !trace[i + 1].host ||
                        trace[i + 1].call != HostCall::ReleaseStatusList)
                        fail("a status query not followed by the release of its list");
                    out << "    st = VESSELSTATUS2{};\n    st.version = 2;\n    st.flag = VS_FUELLIST;\n"
                        << "    " << vesselOf(item) << "->GetStatusEx(&st);\n    keep(st.nfuel);\n"
                        << "    releaseStatusList(st);\n";
                    ++calls;
                    ++i;
                    break;
                default:
                    fail(std::string("no replay for the host call ") + sim::hostCallName(item.call));
            }
            ++calls;
            continue;
        }
        const sim::GdiEntry& g = item.gdi;
        switch (g.call) {
            case GdiCall::SetTextAlign:
                out << "    SetTextAlign(d, " << g.a << "u);\n";
                break;
            case GdiCall::MoveToEx:
                out << "    MoveToEx(d, " << g.a << ", " << g.b << ", " << (g.c ? "&point" : "nullptr")
                    << ");\n";
                break;
            case GdiCall::SetBkMode:
                out << "    SetBkMode(d, " << g.a << ");\n";
                break;
            case GdiCall::SetBkColor:
                out << "    SetBkColor(d, " << static_cast<COLORREF>(g.a) << "u);\n";
                break;
            case GdiCall::SetTextColor:
                out << "    SetTextColor(d, " << static_cast<COLORREF>(g.a) << "u);\n";
                break;
            case GdiCall::TextOut:
                out << "    TextOutA(d, " << g.a << ", " << g.b << ", " << literal(g.text) << ", " << g.c
                    << ");\n";
                break;
            case GdiCall::Rectangle:
                out << "    Rectangle(d, " << g.a << ", " << g.b << ", " << g.c << ", " << g.d << ");\n";
                break;
            case GdiCall::SelectObject:
                if (item.ownBrush) {
                    out << "    SelectObject(d, previous);\n    DeleteObject(brush);\n";
                } else {
                    out << "    brush = CreateSolidBrush(" << item.brushColour << "u);\n"
                        << "    previous = SelectObject(d, brush);\n";
                }
                ++calls;  // the creation or the deletion
                break;
            default:
                fail(std::string("no replay for the GDI call ") + sim::gdiCallName(g.call));
        }
        ++calls;
    }
    return {out.str(), calls};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) fail("usage: generate_replays OUTPUT.cpp");
    std::ostringstream out;
    out << "// Generated by generate_replays from one recorded Repaint of each page: do not edit.\n"
        << "#include <benchmark/benchmark.h>\n\n#include \"replay.h\"\n\n"
        << "namespace {\n\nusing benchmark::DoNotOptimize;\n"
        << "template <class T>\ninline void keep(const T& value) { DoNotOptimize(value); }\n\n";
    std::ostringstream table;
    for (const bench::Page page : bench::kPages) {
        bench::PageScene scene(page);
        const bench::Trace trace = bench::recordTrace(scene, [&](HDC d) { scene.mfd().Repaint(d); });
        if (scene.sim.calls.badCalls) fail(std::string(bench::pageName(page)) + ": bad host calls");
        table << "    bench::PageReplay{bench::Page(" << static_cast<int>(page) << "), {";
        std::string counts;
        for (const Replay replay : bench::kReplays) {
            const Emitted e = emit(trace, replay);
            const std::string name = std::string(bench::pageName(page)) + "_" + bench::replayName(replay);
            out << "void " << name << "(HDC d, [[maybe_unused]] const bench::ReplayContext& c) {\n"
                << "    [[maybe_unused]] OBJHANDLE h = nullptr, o = nullptr;\n"
                << "    [[maybe_unused]] PROPELLANT_HANDLE ph = nullptr;\n"
                << "    [[maybe_unused]] DOCKHANDLE dh = nullptr;\n"
                << "    [[maybe_unused]] VESSELSTATUS2 st{};\n"
                << "    [[maybe_unused]] HBRUSH brush = nullptr;\n"
                << "    [[maybe_unused]] HGDIOBJ previous = nullptr;\n"
                << "    [[maybe_unused]] POINT point{};\n"
                << e.code << "}\n\n";
            table << name << ", ";
            counts += std::to_string(e.calls) + ", ";
        }
        table << "}, {" << counts << "}},\n";
    }
    out << "}  // namespace\n\n"
        << "const std::array<bench::PageReplay, bench::kPages.size()> bench::kPageReplays = {\n"
        << table.str() << "};\n";

    const std::string path = argv[1];
    std::ofstream file(path + ".tmp", std::ios::binary);
    file << out.str();
    file.close();
    if (!file || std::rename((path + ".tmp").c_str(), path.c_str()) != 0) fail("cannot write " + path);
    return 0;
}
