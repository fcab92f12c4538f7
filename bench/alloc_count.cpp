// Replaced allocation functions for the benchmark binary: every malloc-family call and
// every operator new made on the main thread is counted while counting is on. They
// forward to glibc's own allocator, so nothing else changes.
#include <pthread.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "bench_support.h"

extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void *__libc_memalign(std::size_t, std::size_t);
void __libc_free(void *);
}

namespace {

bool counting = false;
pthread_t counted_thread;
AllocCounts counts;

inline void count_one() {
    if (!counting || !pthread_equal(pthread_self(), counted_thread)) return;
    if (inside_driver())
        ++counts.driver;
    else
        ++counts.ours;
}

void *new_or_throw(std::size_t n) {
    count_one();
    void *p = __libc_malloc(n == 0 ? 1 : n);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void *aligned_new_or_throw(std::size_t n, std::align_val_t a) {
    count_one();
    void *p = __libc_memalign(static_cast<std::size_t>(a), n == 0 ? 1 : n);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

void set_alloc_counting(bool on) {
    counted_thread = pthread_self();
    counting = on;
}
AllocCounts alloc_counts() { return counts; }
void reset_alloc_counts() { counts = AllocCounts{}; }

extern "C" {
void *malloc(std::size_t n) {
    count_one();
    return __libc_malloc(n);
}
void *calloc(std::size_t n, std::size_t size) {
    count_one();
    return __libc_calloc(n, size);
}
void *realloc(void *p, std::size_t n) {
    count_one();
    return __libc_realloc(p, n);
}
void *memalign(std::size_t alignment, std::size_t n) {
    count_one();
    return __libc_memalign(alignment, n);
}
void *aligned_alloc(std::size_t alignment, std::size_t n) {
    count_one();
    return __libc_memalign(alignment, n);
}
int posix_memalign(void **out, std::size_t alignment, std::size_t n) {
    count_one();
    void *p = __libc_memalign(alignment, n);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
void free(void *p) { __libc_free(p); }
}

void *operator new(std::size_t n) { return new_or_throw(n); }
void *operator new[](std::size_t n) { return new_or_throw(n); }
void *operator new(std::size_t n, std::align_val_t a) { return aligned_new_or_throw(n, a); }
void *operator new[](std::size_t n, std::align_val_t a) { return aligned_new_or_throw(n, a); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
    count_one();
    return __libc_malloc(n == 0 ? 1 : n);
}
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept {
    count_one();
    return __libc_malloc(n == 0 ? 1 : n);
}
void operator delete(void *p) noexcept { __libc_free(p); }
void operator delete[](void *p) noexcept { __libc_free(p); }
void operator delete(void *p, std::size_t) noexcept { __libc_free(p); }
void operator delete[](void *p, std::size_t) noexcept { __libc_free(p); }
void operator delete(void *p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { __libc_free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { __libc_free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { __libc_free(p); }
