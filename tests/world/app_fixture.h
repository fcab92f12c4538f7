// A started game for tests that need the window, the GL context and the loaded scene.
// Start-up runs once per process in a scratch working directory that sees the real
// assets, so a settings.cfg of the developer's is never read or written.
#pragma once

#include <gtest/gtest.h>

#include "raylib.h"

class StartedApp : public ::testing::Test {
protected:
    static void SetUpTestSuite();
};

// Projects a world point with the view camera into window pixels.
Vector2 project_to_screen(Vector3 world);
// True if the pixel is clearly red (the tomato, the splash).
bool is_reddish(Color c);
