#include "alloc_counter.h"

#include <cstdlib>
#include <new>

namespace {
uint64_t count = 0;
}

uint64_t bench::allocations() { return count; }

void* operator new(std::size_t size) {
    ++count;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
