// Shaders loaded together with uniform bindings: a binding ties a uniform to a game
// variable by address, and its value is uploaded every frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/result.h"
#include "raylib.h"

struct UniformBinding {
    const char *name;   // static string
    const void *value;  // must outlive the registry
    std::int32_t location;
    std::int32_t uniform_type;
    bool every_frame;
};

struct ShaderEntry {
    Shader shader;
    std::string fragment_path;
    std::string vertex_path;  // empty: the default vertex shader
    std::vector<UniformBinding> uniforms;
};

extern std::vector<ShaderEntry> shader_registry;
// Number of SetShaderValue calls the registry has made; lets tests see uploads.
extern std::uint64_t shader_uniform_uploads;

// vertex_path may be null.
Result<Shader> load_registered_shader(const char *vertex_path, const char *fragment_path);
Result<Ok> bind_uniform(const Shader *shader, std::int32_t uniform_type, const char *name, const void *value,
                        bool every_frame);
Result<ShaderEntry *> find_shader_entry(unsigned int shader_id);
void push_shader_uniforms();
void unload_shader_registry();
