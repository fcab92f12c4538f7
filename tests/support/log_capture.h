// Captures the engine's log lines, starting from none, for as long as it lives; a
// failed assertion that leaves the test early still ends the capture.
#pragma once

#include <string>

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

// Captured warning lines that name `needle` (every warning for "").
inline int warnings_naming(const char *needle) {
    int n = 0;
    for (const std::string &line : testing_captured_log())
        n += line.rfind("WARNING: ", 0) == 0 && line.find(needle) != std::string::npos ? 1 : 0;
    return n;
}

}  // namespace test_support
