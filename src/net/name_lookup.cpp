#include "net/name_lookup.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

struct LookupJob {
    char name[64] = {};
    NameResolver resolve = nullptr;
    std::atomic<LookupStatus> status{LookupStatus::running};
    std::uint32_t address = 0;  // written before status leaves running
};

namespace {

void work(std::shared_ptr<LookupJob> job) {
    std::uint32_t address = 0;
    LookupStatus got = job->resolve(job->name, address);
    if (got == LookupStatus::running || got == LookupStatus::idle) got = LookupStatus::failed;
    job->address = address;
    job->status.store(got, std::memory_order_release);
}

}  // namespace

LookupStatus system_resolve(const char *name, std::uint32_t &address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *list = nullptr;
    const int got = getaddrinfo(name, nullptr, &hints, &list);
    if (got == EAI_AGAIN) return LookupStatus::timed_out;
    if (got == EAI_NONAME || got == EAI_FAIL || got == EAI_NODATA || got == EAI_ADDRFAMILY)
        return LookupStatus::not_found;
    if (got != 0 || list == nullptr) return LookupStatus::failed;
    address = reinterpret_cast<const sockaddr_in *>(list->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(list);
    return LookupStatus::found;
}

bool lookup_start(NameLookup &l, const char *name, NameResolver resolve, double now, double limit) {
    lookup_abandon(l);
    auto job = std::make_shared<LookupJob>();
    std::snprintf(job->name, sizeof job->name, "%s", name);
    job->resolve = resolve != nullptr ? resolve : system_resolve;
    // Thread creation reports failure by throwing; it stays inside this module.
    try {
        std::thread(work, job).detach();
    } catch (const std::system_error &) {
        return false;
    }
    l.job = std::move(job);
    l.started = now;
    l.limit = limit;
    return true;
}

LookupStatus lookup_poll(NameLookup &l, double now, std::uint32_t &address) {
    if (!l.job) return LookupStatus::idle;
    const LookupStatus got = l.job->status.load(std::memory_order_acquire);
    if (got == LookupStatus::running) {
        if (now - l.started <= l.limit) return LookupStatus::running;
        lookup_abandon(l);
        return LookupStatus::timed_out;
    }
    address = l.job->address;
    lookup_abandon(l);
    return got;
}

void lookup_abandon(NameLookup &l) { l.job.reset(); }

bool lookup_running(const NameLookup &l) { return static_cast<bool>(l.job); }
