// Start-up prefetch (engine_prefetch.h): a small table of files to decode, drained by up
// to two worker threads, and taken by the loaders on the main thread.
//
// The prefetch knows nothing of file formats: each loader hands it a decoder, a pure
// function of the file that may run on any thread. Decoders never log; they hold their
// lines back in a HeldLog, which the loader prints when it takes the result, so the log
// reads as if the file had been decoded right there.
#ifndef ENGINE_PREFETCH_H_INTERNAL
#define ENGINE_PREFETCH_H_INTERNAL

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine {

struct HeldLog {
    struct Line {
        int level;
        std::string text;
    };
    std::vector<Line> lines;
    void add(int level, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
    void print() const;  // through TraceLog, in order
};

enum class PrefetchKind : std::uint8_t { wave, image, model, font };

// Decodes the file at `path` (`size`: the font size, 0 for the other kinds). Runs on a
// worker thread: no GL, no engine arrays, no TraceLog.
using PrefetchDecoder = std::shared_ptr<const void> (*)(const char *path, int size, HeldLog &log);

struct Prefetched {
    std::shared_ptr<const void> data;
    HeldLog log;
};

// Queues a decode and starts a worker if none is free. Ignored once the table is full,
// after the first frame, or for a file already queued.
void prefetch(PrefetchKind kind, const char *path, int size, PrefetchDecoder decode);
// The prefetched result for this file, waiting for its worker if need be, or decoding
// it here if no worker has started on it yet. Null when it was not prefetched, the
// prefetch has ended, or the file has changed since it was read.
const Prefetched *take_prefetched(PrefetchKind kind, const char *path, int size);
// What a loader decodes from the file: the prefetched result if there is one, or the file
// decoded here by `decode`; the decode's held log lines are printed either way.
std::shared_ptr<const void> take_or_decode(PrefetchKind kind, const char *path, int size, PrefetchDecoder decode);
// Lets the workers finish, joins them and drops every result. Called after the first
// presented frame and by CloseWindow; a later prefetch starts a new round.
void end_prefetch();

}  // namespace engine

#endif  // ENGINE_PREFETCH_H_INTERNAL
