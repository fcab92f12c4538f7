// Heap pages faulted in ahead of the software rasteriser's start-up targets.
//
// Mesa's software driver takes every texture and render target from malloc and zeroes
// it, so each new page is first touched on the main thread: for the multisampled screen,
// a 4096 x 4096 shadow map and a monitor-sized render target that is over 100 MB and
// some 50 ms of page faults before the first frame. Blocks reserved on the heap at
// start-up, touched by the start-up worker while the main thread opens the window, and
// given back to the heap just before each big allocation let the driver take pages that
// are already there. Where the worker has not got that far, the main thread touches the
// rest alongside it rather than wait.
//
// The blocks lie side by side on the heap and are given back in order, so the blocks
// given back for one allocation make one run that it can take whole.
#ifndef ENGINE_WARM_HEAP_H
#define ENGINE_WARM_HEAP_H

#include <atomic>
#include <cstddef>

namespace engine {

constexpr int warm_heap_max_blocks = 4;
// The share of a block either thread takes at a time.
constexpr std::size_t warm_heap_chunk_bytes = 1u << 20;

struct WarmHeap {
    void *blocks[warm_heap_max_blocks] = {};
    int chunks_per_block = 0;
    int reserved = 0;      // main thread
    int released = 0;      // main thread: blocks given back, always the first ones
    std::size_t room = 0;  // main thread: bytes of the last run given back not yet taken
    // Chunks counted through the blocks in order: the next one not yet taken by either
    // thread, and each block's chunks touched.
    std::atomic<int> next_chunk{0};
    std::atomic<int> chunks_done[warm_heap_max_blocks] = {};
};

// Asks glibc not to hand freed heap pages back to the system until
// restore_heap_trimming, which hands back what is free. False, with nothing changed,
// where the allocator is not glibc's own (as under the sanitizers).
bool keep_heap_pages();
void restore_heap_trimming();

// Main thread, before the worker starts: up to `count` blocks (at most
// warm_heap_max_blocks) of `chunks` chunks each.
void reserve_warm_heap(WarmHeap &heap, int count, int chunks);
// Either thread: touches the next chunk nobody has taken; false when none is left.
bool warm_next_chunk(WarmHeap &heap);
// Worker: warms chunks until none is left or `stop` is set.
void warm_heap_pages(WarmHeap &heap, const std::atomic<bool> &stop);
// Main thread, before an allocation of `bytes`: gives back blocks until it fits, warming
// alongside the worker what it has not reached. Small allocations are left alone.
void make_warm_room(WarmHeap &heap, std::size_t bytes);
// Main thread, once the worker has stopped: gives back whatever is left.
void release_warm_heap(WarmHeap &heap);

}  // namespace engine

#endif  // ENGINE_WARM_HEAP_H
