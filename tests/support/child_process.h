// Scenarios that start the window, the audio device or the whole game, which a process
// does once, each run in a child process of its own.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace test_support {

// Runs `body` in a fresh child (gtest's threadsafe death-test style re-runs this
// binary up to the calling test) and expects it to exit with 0.
inline void expect_clean_exit_in_child(void (*body)()) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

// Runs `body` in a forked child. A crash, a sanitizer report or a failed check in the
// child fails the calling test.
inline void in_fresh_process(const std::function<void()> &body) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        body();
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the child died of signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "see the output above";
}

}  // namespace test_support
