// The seed and the cases of a randomised test, taken from the environment so that a run can be
// repeated or lengthened.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace test {

// A number from the environment (decimal, or hexadecimal with 0x), for runs that repeat or
// lengthen a randomised test; the fallback when the variable is unset or empty.
inline uint64_t envNumber(const char* name, uint64_t fallback) {
    const char* value = std::getenv(name);
    if (!value || !*value) return fallback;
    return std::strtoull(value, nullptr, 0);
}

// The seed and the cases of a randomised test: from <prefix>_SEED, <prefix>_<COUNT> and
// <prefix>_FIRST or the defaults, printed and recorded so that a failing run can be repeated.
struct SeededRun {
    uint64_t seed, first, count;
};
inline SeededRun seededRun(const char* title, const std::string& prefix, const std::string& countName,
                           uint64_t defaultCount) {
    const SeededRun run = {envNumber((prefix + "_SEED").c_str(), 20261208),
                           envNumber((prefix + "_FIRST").c_str(), 0),
                           envNumber((prefix + "_" + countName).c_str(), defaultCount)};
    std::string noun = countName;
    for (char& c : noun) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::printf("%s: seed %llu (%s_SEED), %s %llu..%llu\n", title, static_cast<unsigned long long>(run.seed),
                prefix.c_str(), noun.c_str(), static_cast<unsigned long long>(run.first),
                static_cast<unsigned long long>(run.first + run.count - 1));
    ::testing::Test::RecordProperty("seed", std::to_string(run.seed));
    return run;
}

}  // namespace test
