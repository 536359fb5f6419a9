#include "trace.h"

#include <algorithm>

namespace bench {

namespace {

// Notes, at every text and rectangle drawn, how far both logs had got, and the brush a
// rectangle was filled with.
class TracingSurface : public sim::RecordingSurface {
public:
    TracingSurface(int advance, const sim::CallRecord& calls)
        : RecordingSurface(advance, true), calls_(calls) {}

    struct Mark {
        size_t gdiIndex;   // the log entry of the text or rectangle
        size_t hostCount;  // host calls made before it
        COLORREF fill;
    };
    std::vector<Mark> marks;

    void drawText(int, int, const char*, int) override { mark(); }
    void drawRectangle(int, int, int, int) override { mark(); }
    const HBRUSH__* own() const { return &ownBrush; }

private:
    void mark() { marks.push_back({log.size() - 1, calls_.calls.size(), brush->colour}); }
    const sim::CallRecord& calls_;
};

}  // namespace

Trace recordTrace(PageScene& scene, const std::function<void(HDC)>& draw) {
    sim::CallRecord& calls = scene.sim.calls;
    calls.calls.clear();  // the log only: the counters go on
    calls.logging = true;
    TracingSurface surface(kCellWidth, calls);
    draw(&surface);
    calls.logging = false;

    Trace trace;
    size_t nextHost = 0;
    auto takeHostUpTo = [&](size_t end) {
        for (; nextHost < end; ++nextHost) {
            const sim::CallEntry& e = calls.calls[nextHost];
            if (e.call == sim::HostCall::Title) continue;
            TraceItem item;
            item.host = true;
            item.call = e.call;
            item.vessel = e.vessel ? scene.slotOf(e.vessel) : -1;
            trace.push_back(item);
        }
    };

    const auto& marks = surface.marks;
    // Host calls made before the first text or rectangle go first, the others right after the
    // last text or rectangle drawn before them.
    takeHostUpTo(marks.empty() ? calls.calls.size() : marks.front().hostCount);
    size_t nextMark = 0;
    for (size_t i = 0; i < surface.log.size(); ++i) {
        TraceItem item;
        item.gdi = surface.log[i];
        if (item.gdi.call == sim::GdiCall::SelectObject) {
            item.ownBrush = item.gdi.object == surface.own();
            // The colour of a created brush: what the next rectangle was filled with.
            const auto filled = std::find_if(marks.begin(), marks.end(), [&](const auto& m) {
                return m.gdiIndex > i && surface.log[m.gdiIndex].call == sim::GdiCall::Rectangle;
            });
            if (!item.ownBrush && filled != marks.end()) item.brushColour = filled->fill;
        }
        trace.push_back(item);
        if (nextMark < marks.size() && marks[nextMark].gdiIndex == i) {
            ++nextMark;
            takeHostUpTo(nextMark < marks.size() ? marks[nextMark].hostCount : calls.calls.size());
        }
    }
    takeHostUpTo(calls.calls.size());
    calls.calls.clear();
    return trace;
}

std::string describe(const TraceItem& item) {
    if (item.host) {
        return std::string("host ") + sim::hostCallName(item.call) + " vessel " + std::to_string(item.vessel);
    }
    const sim::GdiEntry& g = item.gdi;
    std::string s = std::string("gdi ") + sim::gdiCallName(g.call) + " " + std::to_string(g.a) + " " +
                    std::to_string(g.b) + " " + std::to_string(g.c) + " " + std::to_string(g.d);
    if (g.call == sim::GdiCall::TextOut) s += " \"" + g.text + "\"";
    if (g.call == sim::GdiCall::SelectObject) {
        s += item.ownBrush ? " own brush" : " brush " + std::to_string(item.brushColour);
    }
    return s;
}

std::string compareTraces(const Trace& expected, const Trace& actual) {
    const size_t n = std::min(expected.size(), actual.size());
    for (size_t i = 0; i < n; ++i) {
        const std::string e = describe(expected[i]), a = describe(actual[i]);
        if (e != a) return "call " + std::to_string(i) + ": expected " + e + ", got " + a;
    }
    if (expected.size() != actual.size()) {
        return std::to_string(expected.size()) + " calls expected, " + std::to_string(actual.size()) +
               " made";
    }
    return {};
}

}  // namespace bench
