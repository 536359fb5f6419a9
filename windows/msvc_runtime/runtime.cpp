// The pieces of the static MSVC runtime that code compiled in MSVC mode expects to find in its
// own image: the floating-point marker, operator new and delete in every form the compiler or
// libc++'s headers may call, std::nothrow, the pure-virtual trap, the vftable RTTI type
// descriptors point at, and an atexit whose functions run when this image ends (a DLL's
// static destructors must run at its unload, not at the process's exit after it is gone).
#include "windows/msvc_runtime/runtime.h"

#include <stddef.h>
#include <stdlib.h>

#include <new>

extern "C" int _fltused = 0x9875;

void* operator new(size_t size) {
    void* p = malloc(size ? size : 1);
    if (!p) {
        abort();  // built without exceptions: there is no bad_alloc to throw
    }
    return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }

namespace std {
const nothrow_t nothrow{};
}

extern "C" int __cdecl _purecall() { abort(); }

// RTTI type descriptors start with a pointer to type_info's vftable; its functions are never
// called through it here, but the symbol must exist. The class of this name in the global
// namespace is the one whose vftable the compiler names.
class type_info {
public:
    constexpr type_info() = default;
    virtual ~type_info();

    void* undecorated = nullptr;
    char decorated[1] = {};
};
type_info::~type_info() = default;
// An instance the optimiser may not drop makes the compiler emit the vftable here.
extern const type_info kestraneTypeInfoVftableAnchor;
const type_info kestraneTypeInfoVftableAnchor;

namespace {
constexpr int kMaxExitFunctions = 64;
KestraneExitFunction exitFunctions[kMaxExitFunctions];
int exitFunctionCount = 0;
}  // namespace

extern "C" int __cdecl atexit(KestraneExitFunction function) {
    if (exitFunctionCount == kMaxExitFunctions) {
        return -1;
    }
    exitFunctions[exitFunctionCount++] = function;
    return 0;
}

void kestraneRunExitFunctions() {
    while (exitFunctionCount > 0) {
        exitFunctions[--exitFunctionCount]();
    }
}

// The compiler puts a pointer to each dynamic initialiser in .CRT$XCU; the linker sorts the
// .CRT$XC* sections by name, so these two bracket them.
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)
__declspec(allocate(".CRT$XCA")) static const KestraneExitFunction initialisersBegin = nullptr;
__declspec(allocate(".CRT$XCZ")) static const KestraneExitFunction initialisersEnd = nullptr;

void kestraneRunInitialisers() {
    for (const KestraneExitFunction* f = &initialisersBegin + 1; f < &initialisersEnd; ++f) {
        if (*f) {
            (*f)();
        }
    }
}
