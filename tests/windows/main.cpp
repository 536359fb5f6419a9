// The Windows end-to-end driver.
// Usage: windows_host_tests <Kestrane.dll> <test data folder> <output folder> [name filter]
#include <cstdio>
#include <string>

#include "tests/windows/check.h"
#include "tests/windows/support.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <Kestrane.dll> <test data folder> <output folder> [name filter]\n",
                     argv[0]);
        return 2;
    }
    winhost::config() = {argv[1], argv[2], argv[3]};
    CreateDirectoryA(argv[3], nullptr);
    return check::runAll(argc > 4 ? argv[4] : "") == 0 ? 0 : 1;
}
