// Sequences of key codes, button events, time steps of any length (zero, huge, negative, NaN,
// infinite) and redraws, mixed with what the simulation does around the instrument: docking,
// undocking, removing vessels, closing and opening displays, saving and restoring the block.
// Input: one byte of set-up (see World), then operations of one byte each with their
// arguments in the bytes that follow.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "tests/fuzz/fuzz_world.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kSteps[] = {0.0,
                             -0.0,
                             0.01,
                             0.1,
                             1.0,
                             2.5,
                             60.0,
                             1e4,
                             1e9,
                             1e300,
                             std::numeric_limits<double>::max(),
                             kInf,
                             -kInf,
                             std::numeric_limits<double>::quiet_NaN(),
                             -1.0,
                             -1e300,
                             std::numeric_limits<double>::denorm_min(),
                             1e-300};
constexpr const char* kDisplays[] = {"Main", "Second", "Third"};

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    template <typename T>
    T raw() {
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char& b : bytes) b = byte();
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Input in(data, size);
    fuzz::World world(in.byte());
    const char* current = "Main";
    std::vector<std::string> saved;

    while (!in.empty()) {
        const uint8_t op = in.byte();
        sim::Display* d = world.sim.findDisplay(current);
        switch (op % 16) {
            case 0:
            case 1:
            case 2:
            case 3:
            case 4: {  // a key: mostly the commands, else any code
                const uint8_t b = in.byte();
                const DWORD key =
                    (b & 0x80) ? (b & 0x40 ? in.raw<DWORD>() : in.byte()) : kButtonKeys[b % kButtonCount];
                if (d) world.act([&] { d->key(key); });
                break;
            }
            case 5:
            case 6:
            case 7: {  // a button event: mostly buttons -1..8, else any index
                const uint8_t b = in.byte();
                const int button = b < 0xF0 ? b % 10 - 1 : (b & 1 ? INT_MIN : INT_MAX);
                const uint8_t e = in.byte();
                const int event = e < 0xF0 ? e : in.raw<int>();
                if (d) {
                    world.act([&] {
                        d->button(button, event);
                        d->buttonLabel(button);
                        const MFDBUTTONMENU* menu = nullptr;
                        d->buttonMenu(e & 1 ? &menu : nullptr);
                    });
                }
                break;
            }
            case 8:
            case 9:
            case 10: {  // a time step: one of the table, else any double
                const uint8_t b = in.byte();
                world.step(b < std::size(kSteps) * 8 ? kSteps[b % std::size(kSteps)] : in.raw<double>());
                break;
            }
            case 11: {  // a redraw
                const uint8_t b = in.byte();
                if (sim::Display* r = world.sim.findDisplay(kDisplays[b % 3])) world.redraw(*r, b & 0x80);
                break;
            }
            case 12: {  // displays: choose one, close its mode, open it again, or open a new one
                const uint8_t b = in.byte();
                current = kDisplays[b % 3];
                sim::Display* c = world.sim.findDisplay(current);
                switch ((b >> 2) & 3) {
                    case 1:
                        if (c) world.act([&] { c->closeMode(); });
                        break;
                    case 2:
                        if (c) world.act([&] { c->openMode(kModeName); });
                        break;
                    case 3:
                        if (c) {
                            world.act([&] { world.sim.removeDisplay(*c); });
                        } else {
                            world.openDisplay(current, *world.vessels[(b >> 4) % world.vessels.size()]);
                        }
                        break;
                    default:
                        break;
                }
                break;
            }
            case 13: {  // docking and undocking, between whichever vessels are still there
                const uint8_t b = in.byte();
                sim::VesselRecord& a = *world.vessels[b % world.vessels.size()];
                sim::VesselRecord& other = *world.vessels[(b >> 3) % world.vessels.size()];
                const unsigned port = (b >> 6) & 1;
                world.act([&] {
                    if (!a.removed && !other.removed && !world.sim.undock(a, port))
                        world.sim.dock(a, port, other, 0);
                });
                break;
            }
            case 14: {  // a vessel leaves the simulation, closing its displays
                const uint8_t b = in.byte();
                sim::VesselRecord& v = *world.vessels[b % world.vessels.size()];
                const invariants::Masses before = invariants::snapshot(world.sim);
                world.sim.removeVessel(v);
                fuzz::require(invariants::nothingMoved(before));
                fuzz::require(invariants::all(world.sim));
                break;
            }
            case 15: {  // the block saved, or the saved block restored
                if (!d) break;
                if (saved.empty() || (in.byte() & 1)) {
                    saved = world.writeBlock(*d);
                } else {
                    world.readBlock(*d, saved);
                }
                break;
            }
        }
    }
    return 0;
}
