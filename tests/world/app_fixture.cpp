#include "app_fixture.h"

#include "raymath.h"
#include "render/camera.h"
#include "support/game_globals.h"

namespace {

test_support::StartedGame app;

// Start-up runs at most once per process; the shutdown follows after the last test.
class AppShutdown : public ::testing::Environment {
public:
    void TearDown() override { test_support::stop_game(app); }
};

[[maybe_unused]] ::testing::Environment *const app_shutdown = ::testing::AddGlobalTestEnvironment(new AppShutdown);

}  // namespace

void StartedApp::SetUpTestSuite() {
    if (app.started) return;
    ASSERT_TRUE(test_support::start_game(app, "vorbel-world-", nullptr, 1.0 / 60.0));
}

Vector2 project_to_screen(Vector3 world) {
    Matrix vp = MatrixMultiply(view_camera.view, view_camera.projection);
    float x = vp.m0 * world.x + vp.m4 * world.y + vp.m8 * world.z + vp.m12;
    float y = vp.m1 * world.x + vp.m5 * world.y + vp.m9 * world.z + vp.m13;
    float w = vp.m3 * world.x + vp.m7 * world.y + vp.m11 * world.z + vp.m15;
    float sw = static_cast<float>(GetScreenWidth());
    float sh = static_cast<float>(GetScreenHeight());
    return Vector2{(x / w + 1.0f) * 0.5f * sw, (1.0f - y / w) * 0.5f * sh};
}

bool is_reddish(Color c) { return c.r > 90 && c.r > 2 * c.g && c.r > 2 * c.b; }
