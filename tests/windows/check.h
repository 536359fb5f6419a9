// A small test runner for the Windows host, where GoogleTest is not available: tests register
// themselves with TEST_CASE, checks report file, line and both values, and the program prints
// "N passed, N failed" and exits non-zero when any test failed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace check {

using TestFunction = void (*)();

struct Registration {
    Registration(const char* name, TestFunction function);
};

// Thrown by REQUIRE: ends the running test, which counts as failed.
struct Abort {};

// Records a failed check of the running test.
void fail(const char* file, int line, const std::string& what);

template <typename A, typename B>
std::string describe(const char* expression, const A& actual, const B& expected) {
    std::ostringstream s;
    s << expression << "\n    actual:   " << actual << "\n    expected: " << expected;
    return s.str();
}

// Runs the tests whose names contain filter (all when empty); returns the number failed.
int runAll(const std::string& filter);

}  // namespace check

#define TEST_CASE(name)                                                \
    static void name();                                                \
    static const check::Registration name##Registration(#name, &name); \
    static void name()

#define CHECK(condition)                                                            \
    do {                                                                            \
        if (!(condition)) check::fail(__FILE__, __LINE__, "CHECK(" #condition ")"); \
    } while (0)

#define CHECK_MSG(condition, message)                              \
    do {                                                           \
        if (!(condition)) {                                        \
            std::ostringstream checkMessage_;                      \
            checkMessage_ << "CHECK(" #condition "): " << message; \
            check::fail(__FILE__, __LINE__, checkMessage_.str());  \
        }                                                          \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                      \
    do {                                                                                                \
        const auto& checkActual_ = (actual);                                                            \
        const auto& checkExpected_ = (expected);                                                        \
        if (!(checkActual_ == checkExpected_))                                                          \
            check::fail(                                                                                \
                __FILE__, __LINE__,                                                                     \
                check::describe("CHECK_EQ(" #actual ", " #expected ")", checkActual_, checkExpected_)); \
    } while (0)

#define REQUIRE(condition)                                              \
    do {                                                                \
        if (!(condition)) {                                             \
            check::fail(__FILE__, __LINE__, "REQUIRE(" #condition ")"); \
            throw check::Abort{};                                       \
        }                                                               \
    } while (0)

#define REQUIRE_MSG(condition, message)                              \
    do {                                                             \
        if (!(condition)) {                                          \
            std::ostringstream checkMessage_;                        \
            checkMessage_ << "REQUIRE(" #condition "): " << message; \
            check::fail(__FILE__, __LINE__, checkMessage_.str());    \
            throw check::Abort{};                                    \
        }                                                            \
    } while (0)
