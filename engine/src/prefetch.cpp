// Start-up prefetch: see prefetch.h and engine_prefetch.h.
#include "prefetch.h"

#include "internal.h"
#include "raylib.h"

#include <sys/stat.h>

#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <thread>

namespace engine {
namespace {

constexpr int max_entries = 32;
constexpr int max_workers = 2;

enum class State : std::uint8_t { queued, running, done };

// What a file was when it was read, to notice a change before its result is used.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modified_ns = 0;
    bool operator==(const FileStamp &) const = default;
};

FileStamp stamp_of(const char *path) {
    struct stat st;
    FileStamp s;
    if (stat(path, &st) != 0) return s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modified_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

struct Entry {
    PrefetchKind kind = PrefetchKind::wave;
    std::string path;
    int size = 0;
    PrefetchDecoder decode = nullptr;
    State state = State::queued;
    FileStamp stamp;  // taken just before the decode read the file
    Prefetched result;
};

// Everything below is guarded by `lock`, except that an entry's decode fields
// (stamp, result) belong to the one thread that set it running until it is done.
struct PrefetchState {
    std::mutex lock;
    std::condition_variable finished;  // an entry became done, or a worker left
    Entry entries[max_entries];
    int count = 0;
    bool closing = false;  // end_prefetch: workers take no new entries
    std::thread workers[max_workers];
    bool worker_busy[max_workers] = {};
    bool round_open = false;  // main thread only

    // At exit (a program that never presented a frame, or gave up), the workers are
    // still joined rather than left running.
    ~PrefetchState() { close(); }
    void close();
};

PrefetchState &state() {
    static PrefetchState s;
    return s;
}

void run_entry(Entry &e) {
    e.stamp = stamp_of(e.path.c_str());
    e.result.data = e.decode(e.path.c_str(), e.size, e.result.log);
}

// Decodes a queued entry with the lock let go meanwhile, and tells the waiters.
void run_unlocked(PrefetchState &s, std::unique_lock<std::mutex> &guard, Entry &e) {
    e.state = State::running;
    guard.unlock();
    run_entry(e);
    guard.lock();
    e.state = State::done;
    s.finished.notify_all();
}

void worker_loop(int slot) {
    PrefetchState &s = state();
    std::unique_lock<std::mutex> guard(s.lock);
    for (;;) {
        Entry *next = nullptr;
        for (int i = 0; i < s.count && !s.closing; ++i) {
            if (s.entries[i].state == State::queued) {
                next = &s.entries[i];
                break;
            }
        }
        if (next == nullptr) break;
        run_unlocked(s, guard, *next);
    }
    s.worker_busy[slot] = false;
    s.finished.notify_all();
}

Entry *find(PrefetchState &s, PrefetchKind kind, const char *path, int size) {
    for (int i = 0; i < s.count; ++i) {
        Entry &e = s.entries[i];
        if (e.kind == kind && e.size == size && e.path == path) return &e;
    }
    return nullptr;
}

}  // namespace

void HeldLog::add(int level, const char *fmt, ...) {
    char text[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    lines.push_back(Line{level, text});
}

void HeldLog::print() const {
    for (const Line &line : lines) TraceLog(line.level, "%s", line.text.c_str());
}

void prefetch(PrefetchKind kind, const char *path, int size, PrefetchDecoder decode) {
    if (path == nullptr || decode == nullptr || test_state().skip_prefetch) return;
#if defined(__EMSCRIPTEN__)
    return;  // a page has no worker threads here: the loaders decode on the spot
#endif
    PrefetchState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.count >= max_entries || find(s, kind, path, size) != nullptr) return;
    Entry &e = s.entries[s.count++];
    e = Entry{};
    e.kind = kind;
    e.path = path;
    e.size = size;
    e.decode = decode;
    s.round_open = true;
    s.closing = false;
    for (int i = 0; i < max_workers; ++i) {
        if (s.worker_busy[i]) continue;
        if (s.workers[i].joinable()) s.workers[i].join();  // finished its last round
        s.worker_busy[i] = true;
        s.workers[i] = std::thread(worker_loop, i);
        break;
    }
}

const Prefetched *take_prefetched(PrefetchKind kind, const char *path, int size) {
    PrefetchState &s = state();
    if (!s.round_open || path == nullptr) return nullptr;
    std::unique_lock<std::mutex> guard(s.lock);
    Entry *e = find(s, kind, path, size);
    if (e == nullptr) return nullptr;
    if (e->state == State::queued) {
        // No worker has got to it: quicker to decode it here than to wait.
        run_unlocked(s, guard, *e);
    }
    s.finished.wait(guard, [e] { return e->state == State::done; });
    if (!(stamp_of(path) == e->stamp)) return nullptr;
    return &e->result;
}

std::shared_ptr<const void> take_or_decode(PrefetchKind kind, const char *path, int size, PrefetchDecoder decode) {
    if (const Prefetched *p = take_prefetched(kind, path, size)) {
        p->log.print();
        return p->data;
    }
    HeldLog log;
    std::shared_ptr<const void> data = decode(path, size, log);
    log.print();
    return data;
}

void end_prefetch() { state().close(); }

void PrefetchState::close() {
    if (!round_open) return;
    {
        std::unique_lock<std::mutex> guard(lock);
        closing = true;
        finished.wait(guard, [this] {
            for (bool busy : worker_busy)
                if (busy) return false;
            return true;
        });
    }
    for (std::thread &t : workers)
        if (t.joinable()) t.join();
    std::lock_guard<std::mutex> guard(lock);
    for (int i = 0; i < count; ++i) entries[i] = Entry{};
    count = 0;
    closing = false;
    round_open = false;
}

}  // namespace engine
