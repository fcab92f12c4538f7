#include "warm_heap.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace engine {
namespace {

// glibc's defaults.
#if defined(__GLIBC__)
constexpr int glibc_default_trim_threshold = 128 * 1024;
constexpr int glibc_default_mmap_max = 65536;
#endif
// Below this an allocation costs too little to be worth a block.
constexpr std::size_t worth_warming = 1u << 20;
// The driver's alignment and the allocator's own headers eat a little of each run.
constexpr std::size_t slack = 64u << 10;

std::size_t block_bytes(const WarmHeap &heap) {
    return static_cast<std::size_t>(heap.chunks_per_block) * warm_heap_chunk_bytes;
}

void give_back_next(WarmHeap &heap) {
    std::free(heap.blocks[heap.released]);
    heap.blocks[heap.released] = nullptr;
    ++heap.released;
    heap.room += block_bytes(heap);
}

// Waits until every chunk of `block` is touched, touching untaken ones meanwhile.
void warm_block(WarmHeap &heap, int block) {
    std::atomic<int> &done = heap.chunks_done[block];
    for (int now = done.load(std::memory_order_acquire); now < heap.chunks_per_block;
         now = done.load(std::memory_order_acquire)) {
        if (!warm_next_chunk(heap)) done.wait(now, std::memory_order_acquire);
    }
}

}  // namespace

#if defined(__GLIBC__)
bool keep_heap_pages() {
    // No trimming: the blocks' pages stay once the blocks are given back.
    return mallopt(M_TRIM_THRESHOLD, 1 << 30) == 1;
}

void restore_heap_trimming() {
    mallopt(M_TRIM_THRESHOLD, glibc_default_trim_threshold);
    // What the driver did not take goes back to the system now, not at some later free.
    malloc_trim(0);
}
#else
bool keep_heap_pages() { return false; }
void restore_heap_trimming() {}
#endif

void reserve_warm_heap(WarmHeap &heap, int count, int chunks) {
    heap.chunks_per_block = chunks;
    heap.reserved = 0;
    heap.released = 0;
    heap.room = 0;
    heap.next_chunk.store(0, std::memory_order_relaxed);
    // From the heap itself, side by side, however large: not from mmap, which would give
    // each block back to the system when it is freed.
#if defined(__GLIBC__)
    mallopt(M_MMAP_MAX, 0);
#endif
    for (int i = 0; i < std::min(count, warm_heap_max_blocks); ++i) {
        heap.chunks_done[i].store(0, std::memory_order_relaxed);
        void *block = std::malloc(block_bytes(heap));
        if (block == nullptr) break;
        heap.blocks[heap.reserved++] = block;
    }
#if defined(__GLIBC__)
    mallopt(M_MMAP_MAX, glibc_default_mmap_max);
#endif
}

bool warm_next_chunk(WarmHeap &heap) {
    const int chunk = heap.next_chunk.fetch_add(1, std::memory_order_relaxed);
    if (chunk >= heap.reserved * heap.chunks_per_block) return false;
    const int block = chunk / heap.chunks_per_block;
    auto *bytes = static_cast<volatile unsigned char *>(heap.blocks[block]) +
                  static_cast<std::size_t>(chunk % heap.chunks_per_block) * warm_heap_chunk_bytes;
    // A write to each page, not madvise(MADV_POPULATE_WRITE): that holds the process's
    // memory map for the whole range, and the main thread maps libraries meanwhile.
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    for (std::size_t i = 0; i < warm_heap_chunk_bytes; i += page) bytes[i] = 0;
    heap.chunks_done[block].fetch_add(1, std::memory_order_release);
    heap.chunks_done[block].notify_all();
    return true;
}

void warm_heap_pages(WarmHeap &heap, const std::atomic<bool> &stop) {
    while (!stop.load(std::memory_order_relaxed) && warm_next_chunk(heap)) {
    }
}

void make_warm_room(WarmHeap &heap, std::size_t bytes) {
    if (heap.released == heap.reserved || bytes < worth_warming) return;
    const std::size_t need = bytes + slack;
    if (heap.room >= need) {
        heap.room -= need;
        return;
    }
    // What is left of earlier blocks may be cut off from the next block by small
    // allocations since: count on blocks given back now.
    heap.room = 0;
    while (heap.room < need && heap.released < heap.reserved) {
        warm_block(heap, heap.released);
        give_back_next(heap);
    }
    heap.room -= std::min(heap.room, need);
}

void release_warm_heap(WarmHeap &heap) {
    while (heap.released < heap.reserved) give_back_next(heap);
    heap.room = 0;
}

}  // namespace engine
