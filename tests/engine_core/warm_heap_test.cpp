// The heap blocks start-up warms for the software rasteriser: handed back in order, as
// allocations need them, whether the worker is ahead, behind or gone.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "warm_heap.h"

namespace {

constexpr std::size_t mb = 1u << 20;

struct Request {
    std::size_t bytes;
    int released_after;  // blocks given back once the allocation may go ahead
};

struct Case {
    const char *name;
    std::vector<Request> requests;
};

void expect_blocks_warm(const engine::WarmHeap &heap, int blocks, const char *name) {
    for (int b = 0; b < blocks; ++b)
        EXPECT_EQ(heap.chunks_done[b].load(), heap.chunks_per_block) << name << ", block " << b;
}

// Four blocks of four chunks: each request must find the blocks given back for it warm,
// with or without a worker running alongside, and nothing may be left held.
TEST(WarmHeap, GivesBackWarmBlocksInOrderAsAllocationsNeedThem) {
    const Case cases[] = {
        {"small allocations take no block", {{mb / 2, 0}, {mb - 1, 0}}},
        {"what is left of a block serves the next allocation that fits it", {{mb + mb / 2, 1}, {2 * mb, 1}}},
        {"a leftover too small is not pieced together with the next block", {{3 * mb, 1}, {3 * mb, 2}}},
        {"one allocation takes blocks side by side", {{6 * mb, 2}, {6 * mb, 4}}},
        {"more than is reserved takes all and goes ahead", {{20 * mb, 4}, {2 * mb, 4}}},
    };
    for (const bool worker_running : {false, true}) {
        for (const Case &c : cases) {
            engine::WarmHeap heap;
            engine::reserve_warm_heap(heap, 4, 4);
            ASSERT_EQ(heap.reserved, 4);
            std::atomic<bool> stop{false};
            std::thread worker;
            if (worker_running) worker = std::thread([&] { engine::warm_heap_pages(heap, stop); });
            for (const Request &r : c.requests) {
                engine::make_warm_room(heap, r.bytes);
                EXPECT_EQ(heap.released, r.released_after) << c.name << (worker_running ? " (worker)" : "");
                expect_blocks_warm(heap, heap.released, c.name);
            }
            stop = true;
            if (worker.joinable()) worker.join();
            engine::release_warm_heap(heap);
            EXPECT_EQ(heap.released, heap.reserved) << c.name;
        }
    }
}

// A worker stopped at once (the window came up before it started) leaves the main
// thread to warm what it needs, without waiting on anyone.
TEST(WarmHeap, MainThreadWarmsAloneOnceTheWorkerHasStopped) {
    engine::WarmHeap heap;
    engine::reserve_warm_heap(heap, 3, 4);
    const std::atomic<bool> stopped{true};
    engine::warm_heap_pages(heap, stopped);
    EXPECT_EQ(heap.next_chunk.load(), 0);
    engine::make_warm_room(heap, 6 * mb);
    EXPECT_EQ(heap.released, 2);
    expect_blocks_warm(heap, 2, "stopped worker");
    engine::release_warm_heap(heap);
}

}  // namespace
