#pragma once

// Counts every global allocation of the test program. It replaces the global allocation functions, so
// exactly one source of a program includes it, and that program is of its own.

#include <atomic>
#include <cstdlib>
#include <new>

namespace obx::test {

inline std::atomic<long> allocations{0};

} // namespace obx::test

void* operator new(std::size_t size) {
    ++obx::test::allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
