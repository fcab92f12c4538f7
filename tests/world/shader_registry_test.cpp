// The shader registry against real shaders: bindings, per-frame uploads and errors.
// What a uniform holds is read back from the screen through a shader that paints it.
#include <gtest/gtest.h>

#include <fstream>

#include "app_fixture.h"
#include "render/shader_registry.h"
#include "testing.h"

namespace {

const char *paint_fs = R"(#version 330
in vec2 fragTexCoord;
in vec4 fragColor;
out vec4 finalColor;
uniform float level;
void main() { finalColor = vec4(level, 0.0, 0.0, 1.0); }
)";

class ShaderRegistryTest : public StartedApp {
protected:
    void SetUp() override {
        std::ofstream("paint.fs") << paint_fs;
        size_before_ = shader_registry.size();
    }
    void TearDown() override {
        // Drop what the test registered; the overlay entry from start-up stays.
        while (shader_registry.size() > size_before_) {
            UnloadShader(shader_registry.back().shader);
            shader_registry.pop_back();
        }
    }
    // The red level the shader paints right now, 0..255.
    static int painted_level(Shader shader) {
        BeginDrawing();
        ClearBackground(Color{0, 0, 0, 255});
        BeginShaderMode(shader);
        DrawRectangle(0, 0, 64, 64, Color{255, 255, 255, 255});
        EndShaderMode();
        Image img = testing_read_frame();
        EndDrawing();
        int r = img.data != nullptr ? GetImageColor(img, 32, 32).r : -1;
        UnloadImage(img);
        return r;
    }
    std::size_t size_before_ = 0;
};

}  // namespace

TEST_F(ShaderRegistryTest, LoadedShaderIsRegisteredWithItsPaths) {
    Result<Shader> s = load_registered_shader(nullptr, "paint.fs");
    ASSERT_TRUE(s.ok());
    Result<ShaderEntry *> e = find_shader_entry(s.value().id);
    ASSERT_TRUE(e.ok());
    EXPECT_EQ(e.value()->fragment_path, "paint.fs");
    EXPECT_TRUE(e.value()->vertex_path.empty());
    EXPECT_TRUE(e.value()->uniforms.empty());
}

TEST_F(ShaderRegistryTest, MissingUniformAddsNoBindingAndNoUpload) {
    Shader s = load_registered_shader(nullptr, "paint.fs").value();
    float v = 0.5f;
    std::uint64_t uploads = shader_uniform_uploads;
    EXPECT_TRUE(bind_uniform(&s, SHADER_UNIFORM_FLOAT, "noSuchUniform", &v, true).ok());
    EXPECT_TRUE(find_shader_entry(s.id).value()->uniforms.empty());
    EXPECT_EQ(shader_uniform_uploads, uploads);  // not even the one at binding time
    // A push uploads the start-up bindings and nothing for this shader.
    std::uint64_t before_push = shader_uniform_uploads;
    push_shader_uniforms();
    std::uint64_t per_push = shader_uniform_uploads - before_push;
    std::size_t startup_bindings = 0;
    for (const ShaderEntry &e : shader_registry) {
        for (const UniformBinding &b : e.uniforms) startup_bindings += b.every_frame ? 1 : 0;
    }
    EXPECT_EQ(per_push, startup_bindings);
}

TEST_F(ShaderRegistryTest, BindingUploadsAtOnceAndEveryFrame) {
    Shader s = load_registered_shader(nullptr, "paint.fs").value();
    float level = 0.25f;
    ASSERT_TRUE(bind_uniform(&s, SHADER_UNIFORM_FLOAT, "level", &level, true).ok());
    EXPECT_NEAR(painted_level(s), 64, 1);  // uploaded at binding time
    level = 0.75f;
    EXPECT_NEAR(painted_level(s), 64, 1);  // not until the next push
    push_shader_uniforms();
    EXPECT_NEAR(painted_level(s), 191, 1);
}

TEST_F(ShaderRegistryTest, TwoBindingsOfOneUniformUploadInOrder) {
    Shader s = load_registered_shader(nullptr, "paint.fs").value();
    float first = 0.2f, second = 0.6f;
    ASSERT_TRUE(bind_uniform(&s, SHADER_UNIFORM_FLOAT, "level", &first, true).ok());
    ASSERT_TRUE(bind_uniform(&s, SHADER_UNIFORM_FLOAT, "level", &second, true).ok());
    const ShaderEntry *e = find_shader_entry(s.id).value();
    ASSERT_EQ(e->uniforms.size(), 2u);
    EXPECT_EQ(e->uniforms[0].value, &first);
    EXPECT_EQ(e->uniforms[1].value, &second);
    first = 0.9f;
    second = 0.4f;
    push_shader_uniforms();
    EXPECT_NEAR(painted_level(s), 102, 1);  // the later binding wins
}

TEST_F(ShaderRegistryTest, OnceOnlyBindingUploadsJustOnce) {
    Shader s = load_registered_shader(nullptr, "paint.fs").value();
    float level = 0.2f;
    std::uint64_t before = shader_uniform_uploads;
    ASSERT_TRUE(bind_uniform(&s, SHADER_UNIFORM_FLOAT, "level", &level, false).ok());
    EXPECT_EQ(shader_uniform_uploads, before + 1);
    level = 0.9f;
    for (int i = 0; i < 3; ++i) push_shader_uniforms();
    EXPECT_NEAR(painted_level(s), 51, 1);
}

TEST_F(ShaderRegistryTest, UnregisteredShaderCannotTakeBindings) {
    Shader s = LoadShader(nullptr, "paint.fs");
    ASSERT_GT(s.id, 0u);
    float level = 0.5f;
    Result<Ok> r = bind_uniform(&s, SHADER_UNIFORM_FLOAT, "level", &level, true);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), Error::shader_not_found);
    EXPECT_STREQ(error_name(r.error()), "ShaderNotFound");
    // The location lookup comes first: a missing name is no error even here.
    EXPECT_TRUE(bind_uniform(&s, SHADER_UNIFORM_FLOAT, "noSuchUniform", &level, true).ok());
    EXPECT_EQ(find_shader_entry(s.id).error(), Error::shader_not_found);
    UnloadShader(s);
}
