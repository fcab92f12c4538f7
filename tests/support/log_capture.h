// Captures the engine's log lines, starting from none, for as long as it lives; a
// failed assertion that leaves the test early still ends the capture.
#pragma once

#include "testing.h"

namespace test_support {

struct LogCapture {
    LogCapture() {
        testing_capture_log(true);
        testing_clear_log();
    }
    ~LogCapture() { testing_capture_log(false); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;
};

}  // namespace test_support
