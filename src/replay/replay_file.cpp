#include "replay/replay_file.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/frame_clock.h"
#include "net/protocol.h"

namespace {

// One file's bytes at a time, read or written whole: a replay is never half on disk.
std::uint8_t file_bytes[replay_max_bytes + 1];

ReplayError fail(ReplayView &out, ReplayError e) {
    out.header.frames = 0;
    return e;
}

}  // namespace

const char *replay_error_text(ReplayError e) {
    switch (e) {
    case ReplayError::none:
        return "a good replay";
    case ReplayError::too_short:
        return "the file is too short to be a replay";
    case ReplayError::not_a_replay:
        return "the file is not a vorbel replay";
    case ReplayError::newer_format:
        return "the replay was made by a newer vorbel";
    case ReplayError::bad_header:
        return "the replay's header is damaged";
    case ReplayError::too_many_frames:
        return "the replay claims more frames than a replay may hold";
    case ReplayError::wrong_length:
        return "the replay is cut short or has bytes past its end";
    case ReplayError::damaged:
        return "the replay is damaged (its check does not match)";
    case ReplayError::bad_frames:
        return "the replay's inputs are damaged";
    case ReplayError::other_versions:
        return "the replay was recorded by a version of vorbel with other rules";
    case ReplayError::unreadable:
        return "the replay file cannot be read";
    case ReplayError::unwritable:
        return "the replay file cannot be written";
    }
    return "?";
}

std::uint64_t replay_check(const std::uint8_t *data, std::size_t size) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001b3ull;
    return h;
}

std::size_t replay_encoded_size(const ReplayFrame *frames, std::uint32_t count) {
    std::size_t runs = 0;
    for (std::uint32_t i = 0; i < count;) {
        std::uint32_t n = 1;
        while (i + n < count && n < 255 && frames[i + n] == frames[i]) ++n;
        i += n;
        ++runs;
    }
    return replay_header_bytes + runs * replay_run_bytes + replay_trailer_bytes;
}

std::size_t encode_replay(const ReplayHeader &h, const ReplayFrame *frames, std::uint8_t *out, std::size_t capacity) {
    ByteWriter w{out, capacity};
    w.bytes(replay_magic, sizeof replay_magic);
    w.u16(h.format);
    w.u16(h.protocol);
    w.u16(h.rules);
    w.u8(static_cast<std::uint8_t>(h.kind));
    w.u8(0);
    w.u64(h.seed);
    w.f64(h.step);
    w.u32(h.frames);
    const std::size_t runs_at = w.size;
    w.u32(0);
    std::uint32_t runs = 0;
    // Runs of equal frames: a held stick or an idle player costs one record per 255 frames.
    for (std::uint32_t i = 0; i < h.frames;) {
        std::uint32_t n = 1;
        while (i + n < h.frames && n < 255 && frames[i + n] == frames[i]) ++n;
        w.u8(static_cast<std::uint8_t>(n));
        write_input(w, frames[i].inputs[0]);
        write_input(w, frames[i].inputs[1]);
        i += n;
        ++runs;
    }
    if (!w.ok() || w.size + replay_trailer_bytes > capacity) return 0;
    ByteWriter count{out + runs_at, 4};
    count.u32(runs);
    w.u64(replay_check(out, w.size));
    return w.ok() ? w.size : 0;
}

ReplayError decode_replay(const std::uint8_t *data, std::size_t size, ReplayView &out) {
    if (size < replay_header_bytes + replay_trailer_bytes) return fail(out, ReplayError::too_short);
    if (std::memcmp(data, replay_magic, sizeof replay_magic) != 0) return fail(out, ReplayError::not_a_replay);
    ByteReader r{data + sizeof replay_magic, replay_header_bytes - sizeof replay_magic};
    ReplayHeader h;
    h.format = r.u16();
    if (h.format != replay_format) {
        return fail(out, h.format > replay_format ? ReplayError::newer_format : ReplayError::bad_header);
    }
    h.protocol = r.u16();
    h.rules = r.u16();
    const std::uint8_t kind = r.u8();
    const std::uint8_t reserved = r.u8();
    h.seed = r.u64();
    h.step = r.f64();  // fails the reader on a NaN or an infinity
    h.frames = r.u32();
    const std::uint32_t runs = r.u32();
    if (!r.done() || kind > static_cast<std::uint8_t>(ReplayKind::online) || reserved != 0 || !(h.step >= 0.0) ||
        h.step > max_frame_delta) {
        return fail(out, ReplayError::bad_header);
    }
    h.kind = static_cast<ReplayKind>(kind);
    if (h.frames > replay_max_frames || h.frames > out.capacity) return fail(out, ReplayError::too_many_frames);
    // Every run holds at least one frame: more runs than frames cannot add up.
    if (runs > h.frames) return fail(out, ReplayError::bad_frames);
    const std::size_t body = size - replay_header_bytes - replay_trailer_bytes;
    if (body != std::size_t{runs} * replay_run_bytes) return fail(out, ReplayError::wrong_length);
    ByteReader tail{data + size - replay_trailer_bytes, replay_trailer_bytes};
    if (tail.u64() != replay_check(data, size - replay_trailer_bytes)) return fail(out, ReplayError::damaged);

    ByteReader runs_reader{data + replay_header_bytes, body};
    std::uint32_t filled = 0;
    for (std::uint32_t i = 0; i < runs; ++i) {
        const std::uint32_t n = runs_reader.u8();
        ReplayFrame f;
        f.inputs[0] = read_input(runs_reader);
        f.inputs[1] = read_input(runs_reader);
        if (n == 0 || n > h.frames - filled || runs_reader.failed) {
            return fail(out, ReplayError::bad_frames);
        }
        for (std::uint32_t k = 0; k < n; ++k) out.frames[filled + k] = f;
        filled += n;
    }
    if (filled != h.frames || !runs_reader.done()) return fail(out, ReplayError::bad_frames);
    out.header = h;
    return ReplayError::none;
}

ReplayError replay_versions_match(const ReplayHeader &h) {
    return h.protocol == protocol_version && h.rules == rules_version ? ReplayError::none : ReplayError::other_versions;
}

ReplayError load_replay(const char *path, ReplayView &out) {
    out.header.frames = 0;
    // A FIFO or a device would block or never end: only plain files are read.
    struct stat st {};
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return ReplayError::unreadable;
    if (static_cast<std::uint64_t>(st.st_size) > replay_max_bytes) return ReplayError::too_many_frames;
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr) return ReplayError::unreadable;
    const std::size_t n = std::fread(file_bytes, 1, sizeof file_bytes, f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return ReplayError::unreadable;
    // The file grew since stat: still never more than a replay may be.
    if (n > replay_max_bytes) return ReplayError::too_many_frames;
    return decode_replay(file_bytes, n, out);
}

ReplayError save_replay(const char *path, const ReplayHeader &h, const ReplayFrame *frames) {
    const std::size_t n = encode_replay(h, frames, file_bytes, sizeof file_bytes);
    if (n == 0) return ReplayError::too_many_frames;
    std::FILE *f = std::fopen(path, "wb");
    if (f == nullptr) return ReplayError::unwritable;
    const bool written = std::fwrite(file_bytes, 1, n, f) == n;
    return std::fclose(f) == 0 && written ? ReplayError::none : ReplayError::unwritable;
}
