#include "tests/windows/check.h"

#include <cstdio>
#include <exception>

namespace check {

namespace {

struct Test {
    const char* name;
    TestFunction function;
};

std::vector<Test>& tests() {
    static std::vector<Test> all;
    return all;
}

int failuresInTest = 0;

}  // namespace

Registration::Registration(const char* name, TestFunction function) { tests().push_back({name, function}); }

void fail(const char* file, int line, const std::string& what) {
    ++failuresInTest;
    std::printf("  %s:%d: %s\n", file, line, what.c_str());
    std::fflush(stdout);
}

int runAll(const std::string& filter) {
    int passed = 0, failed = 0;
    for (const Test& test : tests()) {
        if (!filter.empty() && std::string(test.name).find(filter) == std::string::npos) continue;
        std::printf("[ RUN  ] %s\n", test.name);
        std::fflush(stdout);
        failuresInTest = 0;
        try {
            test.function();
        } catch (const Abort&) {
            // already reported
        } catch (const std::exception& e) {
            fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
        }
        std::printf("[ %s ] %s\n", failuresInTest == 0 ? " OK " : "FAIL", test.name);
        ++(failuresInTest == 0 ? passed : failed);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed;
}

}  // namespace check
