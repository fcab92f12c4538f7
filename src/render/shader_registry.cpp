#include "render/shader_registry.h"

#include <new>

#include "platform/raylib_bridge.h"

std::vector<ShaderEntry> shader_registry;
std::uint64_t shader_uniform_uploads = 0;

static void upload(const ShaderEntry &entry, const UniformBinding &b) {
    SetShaderValue(entry.shader, b.location, b.value, b.uniform_type);
    ++shader_uniform_uploads;
}

Result<Shader> load_registered_shader(const char *vertex_path, const char *fragment_path) {
    Shader shader = load_shader(vertex_path, fragment_path);
    if (!shader_valid(shader)) return Error::load_shader_error;
    try {
        ShaderEntry entry{
            shader, fragment_path != nullptr ? fragment_path : "", vertex_path != nullptr ? vertex_path : "", {}};
        shader_registry.push_back(std::move(entry));
    } catch (const std::bad_alloc &) {
        UnloadShader(shader);
        return Error::out_of_memory;
    }
    return shader;
}

Result<ShaderEntry *> find_shader_entry(unsigned int shader_id) {
    for (ShaderEntry &e : shader_registry) {
        if (e.shader.id == shader_id) return &e;
    }
    return Error::shader_not_found;
}

Result<Ok> bind_uniform(const Shader *shader, std::int32_t uniform_type, const char *name, const void *value,
                        bool every_frame) {
    int location = GetShaderLocation(*shader, name);
    // A uniform the compiled shader lacks is not an error; there is just nothing to feed.
    if (location == -1) return Ok{};
    Result<ShaderEntry *> entry = find_shader_entry(shader->id);
    if (!entry) return entry.error();
    UniformBinding b{name, value, location, uniform_type, every_frame};
    try {
        entry.value()->uniforms.push_back(b);
    } catch (const std::bad_alloc &) {
        return Error::out_of_memory;
    }
    upload(*entry.value(), entry.value()->uniforms.back());
    return Ok{};
}

void push_shader_uniforms() {
    for (ShaderEntry &e : shader_registry) {
        for (const UniformBinding &b : e.uniforms) {
            if (b.every_frame) upload(e, b);
        }
    }
}

void unload_shader_registry() {
    for (ShaderEntry &e : shader_registry) {
        UnloadShader(e.shader);
    }
    shader_registry.clear();
    shader_registry.shrink_to_fit();
}
