// The entry point the linker gives a console program: the runtime's arguments, static
// initialisers, main, static destructors, then the runtime's exit (which flushes stdio).
#include <corecrt_startup.h>
#include <stdlib.h>

#include "windows/msvc_runtime/runtime.h"

int main(int argc, char** argv);

// Calling main is what this function is for.
#pragma clang diagnostic ignored "-Wmain"

extern "C" void __cdecl mainCRTStartup() {
    _configure_narrow_argv(_crt_argv_unexpanded_arguments);
    kestraneRunInitialisers();
    int rc = main(*__p___argc(), *__p___argv());
    kestraneRunExitFunctions();
    exit(rc);
}
