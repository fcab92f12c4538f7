// Replay files: what a damaged or hostile file gets (a reason, never a crash), and a
// scripted two-player match written, read back and replayed to the same record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "net/protocol.h"
#include "net_fixture.h"
#include "replay/replay.h"
#include "support/scratch_dir.h"

namespace {

constexpr std::uint32_t frames = 7200;  // two minutes: joins, dashes, beams, restarts

std::vector<ReplayFrame> scripted_frames(std::uint32_t n) {
    std::vector<ReplayFrame> out(n);
    for (std::uint32_t f = 0; f < n; ++f) out[f] = {{delayed_input(f, 0, 2), delayed_input(f, 1, 2)}};
    return out;
}

ReplayHeader scripted_header(std::uint32_t n) {
    ReplayHeader h;
    h.protocol = protocol_version;
    h.rules = rules_version;
    h.seed = test_seed;
    h.step = test_dt;
    h.frames = n;
    return h;
}

std::vector<std::uint8_t> encoded(const ReplayHeader &h, const std::vector<ReplayFrame> &f) {
    std::vector<std::uint8_t> out(replay_encoded_size(f.data(), h.frames));
    out.resize(encode_replay(h, f.data(), out.data(), out.size()));
    return out;
}

void reseal(std::vector<std::uint8_t> &file) {
    const std::uint64_t check = replay_check(file.data(), file.size() - replay_trailer_bytes);
    for (int i = 0; i < 8; ++i) file[file.size() - 8 + i] = static_cast<std::uint8_t>(check >> (8 * i));
}

using Replays = OnlineCourt;

TEST_F(Replays, AScriptedTwoPlayerMatchWrittenAndReadBackReplaysToTheReferenceRecord) {
    const std::vector<ReplayFrame> script = scripted_frames(frames);
    const std::vector<std::uint8_t> file = encoded(scripted_header(frames), script);
    // Runs of held inputs keep it small: well under the 6 bytes a frame of raw inputs.
    EXPECT_LT(file.size(), frames * 6u / 2u);
    std::vector<ReplayFrame> read(frames);
    ReplayView view{ReplayHeader{}, read.data(), frames};
    ASSERT_EQ(decode_replay(file.data(), file.size(), view), ReplayError::none);
    EXPECT_EQ(read, script);

    replay_start_match(view.header);
    for (const ReplayFrame &f : read) replay_step(f, view.header.step);
    MatchSnapshot replayed;
    capture_match(replayed);
    EXPECT_TRUE(same_snapshot(replayed, reference_run(frames, 2)));
    EXPECT_LT(replayed.game.players[0].lives + replayed.game.players[1].lives, 6);

    // The two-player match the page's checksums are compared on (tests/replay).
    if (const char *keep = std::getenv("VORBEL_KEEP_REPLAYS")) {
        ASSERT_EQ(save_replay((std::string(keep) + "/two_players.vreplay").c_str(), view.header, read.data()),
                  ReplayError::none);
    }
}

TEST(ReplayFiles, ABadFileIsRefusedWithItsReasonAndLeavesNoFrames) {
    const std::vector<std::uint8_t> good = encoded(scripted_header(600), scripted_frames(600));
    const std::size_t runs = (good.size() - replay_header_bytes - replay_trailer_bytes) / replay_run_bytes;
    struct Row {
        const char *what;
        std::function<void(std::vector<std::uint8_t> &)> spoil;
        bool reseal;
        ReplayError expected;
    };
    const Row rows[] = {
        {"empty", [](auto &f) { f.clear(); }, false, ReplayError::too_short},
        {"only a header", [](auto &f) { f.resize(replay_header_bytes); }, false, ReplayError::too_short},
        {"another magic", [](auto &f) { f[0] = 'X'; }, true, ReplayError::not_a_replay},
        {"a newer format", [](auto &f) { f[8] = 2; }, true, ReplayError::newer_format},
        {"format 0", [](auto &f) { f[8] = 0; }, true, ReplayError::bad_header},
        {"an unknown kind", [](auto &f) { f[14] = 3; }, true, ReplayError::bad_header},
        {"a reserved byte set", [](auto &f) { f[15] = 1; }, true, ReplayError::bad_header},
        {"a NaN step", [](auto &f) { std::memset(&f[24], 0xff, 8); }, true, ReplayError::bad_header},
        {"a step of a second", [](auto &f) { f[30] = 0xf0, f[31] = 0x3f, std::memset(&f[24], 0, 6); }, true,
         ReplayError::bad_header},
        {"absurd frame count", [](auto &f) { std::memset(&f[32], 0xff, 4); }, true, ReplayError::too_many_frames},
        {"more runs than frames", [](auto &f) { f[36] = 0xff, f[37] = 0xff; }, true, ReplayError::bad_frames},
        {"cut short", [](auto &f) { f.resize(f.size() - 9); }, true, ReplayError::wrong_length},
        {"a byte past the end", [](auto &f) { f.insert(f.end() - 8, 0); }, true, ReplayError::wrong_length},
        {"one input flipped", [](auto &f) { f[replay_header_bytes + 2] ^= 1; }, false, ReplayError::damaged},
        {"a run of 0", [](auto &f) { f[replay_header_bytes] = 0; }, true, ReplayError::bad_frames},
        {"runs past the frame count", [](auto &f) { f[32] = 1, f[33] = 0; }, true, ReplayError::bad_frames},
        {"an axis of -128", [](auto &f) { f[replay_header_bytes + 1] = 0x80; }, true, ReplayError::bad_frames},
        {"an unknown button", [](auto &f) { f[replay_header_bytes + 3] = 0x40; }, true, ReplayError::bad_frames},
    };
    ASSERT_GT(runs, 2u);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<std::uint8_t> file = good;
        row.spoil(file);
        if (row.reseal && file.size() >= replay_trailer_bytes) reseal(file);
        std::vector<ReplayFrame> read(600);
        ReplayView view{ReplayHeader{}, read.data(), 600};
        view.header.frames = 99;
        EXPECT_EQ(decode_replay(file.data(), file.size(), view), row.expected);
        EXPECT_EQ(view.header.frames, 0u);
        EXPECT_STRNE(replay_error_text(row.expected), "?");
    }
    // A file the caller has no room for, and one of other rules, say so too.
    std::vector<ReplayFrame> small(10);
    ReplayView view{ReplayHeader{}, small.data(), 10};
    EXPECT_EQ(decode_replay(good.data(), good.size(), view), ReplayError::too_many_frames);
    ReplayHeader other = scripted_header(1);
    other.rules = rules_version + 1;
    EXPECT_EQ(replay_versions_match(other), ReplayError::other_versions);

    // Files that are not plain files, or are not there, are refused before reading.
    const std::string dir = test_support::make_scratch_dir("vorbel-replay-");
    ASSERT_FALSE(dir.empty());
    std::vector<ReplayFrame> read(600);
    ReplayView from_disk{ReplayHeader{}, read.data(), 600};
    EXPECT_EQ(load_replay(dir.c_str(), from_disk), ReplayError::unreadable);
    EXPECT_EQ(load_replay((dir + "/none").c_str(), from_disk), ReplayError::unreadable);
    EXPECT_EQ(save_replay((dir + "/no/such/folder").c_str(), scripted_header(0), nullptr), ReplayError::unwritable);
    test_support::remove_scratch_dir(dir);
}

TEST(ReplayFiles, TheCommandLineTakesRecordAndReplayAndLeavesTheRest) {
    struct Row {
        std::vector<const char *> args;
        bool ok;
        const char *record, *play;
        int left;  // arguments left for the other options, the program's name included
    };
    const Row rows[] = {
        {{"vorbel", "--record", "a.vreplay", "--port", "5"}, true, "a.vreplay", nullptr, 3},
        {{"vorbel", "--replay=b.vreplay"}, true, nullptr, "b.vreplay", 1},
        {{"vorbel", "--record"}, false, nullptr, nullptr, 0},
        {{"vorbel", "--replay="}, false, nullptr, nullptr, 0},
        {{"vorbel", "--record", "a", "--replay", "b"}, false, nullptr, nullptr, 0},
    };
    for (const Row &row : rows) {
        std::vector<char *> argv;
        for (const char *a : row.args) argv.push_back(const_cast<char *>(a));
        int argc = static_cast<int>(argv.size());
        ReplayOptions o;
        const char *why = nullptr;
        ASSERT_EQ(take_replay_options(argc, argv.data(), o, why), row.ok) << row.args[1];
        if (!row.ok) {
            EXPECT_NE(why, nullptr);
            continue;
        }
        EXPECT_EQ(argc, row.left);
        EXPECT_STREQ(o.record ? o.record : "", row.record ? row.record : "");
        EXPECT_STREQ(o.play ? o.play : "", row.play ? row.play : "");
    }
    // --record FILE is tried at once: a path that cannot be written turns recording
    // off, and the try leaves no file behind.
    const std::string dir = test_support::make_scratch_dir("vorbel-record-");
    for (const auto &[path, writable] :
         {std::pair{dir + "/no/such/folder.vreplay", false}, std::pair{dir + "/" + std::string(600, 'x'), false},
          std::pair{dir + "/match.vreplay", true}}) {
        replay_set_record_path(path.c_str());
        EXPECT_EQ(replay_recording_enabled(), writable) << path;
        std::error_code name_too_long;
        EXPECT_FALSE(std::filesystem::exists(path, name_too_long)) << path;
    }
    replay_set_record_path((dir + "/no/such/folder.vreplay").c_str());
    test_support::remove_scratch_dir(dir);
}

}  // namespace
