// Shaders: the default shader, loading (no source given means the default stage; a
// file that cannot be read or a stage that fails to compile means the whole default
// shader), the location table and uniform uploads.
#include "internal.h"
#include "raylib.h"
#include "rlgl.h"

#include "gl_api.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

namespace engine {
namespace {

constexpr std::size_t max_source_bytes = std::size_t{1} << 20;  // far above any shader's source

const char *default_vs_code = R"(#version 330
in vec3 vertexPosition;
in vec2 vertexTexCoord;
in vec4 vertexColor;
out vec2 fragTexCoord;
out vec4 fragColor;
uniform mat4 mvp;
void main()
{
    fragTexCoord = vertexTexCoord;
    fragColor = vertexColor;
    gl_Position = mvp * vec4(vertexPosition, 1.0);
}
)";

const char *default_fs_code = R"(#version 330
in vec2 fragTexCoord;
in vec4 fragColor;
out vec4 finalColor;
uniform sampler2D texture0;
uniform vec4 colDiffuse;
void main()
{
    finalColor = texture(texture0, fragTexCoord) * colDiffuse * fragColor;
}
)";

// The shader cache of one window, as one record: shaders_init fills a fresh one and
// shaders_close starts the next (reset_shader_cache).
struct ShaderCache {
    // Loaded shaders: location table -> program. An unload must match both, so a stale
    // copy of a released shader cannot release a newer one that reuses an address.
    std::unordered_map<const int *, unsigned int> live;
    GLuint default_vs = 0;
    GLuint default_fs = 0;
    GLuint default_program = 0;
    int default_locs[MAX_SHADER_LOCATIONS] = {};
};

// A function-local static: the cache exists whenever the first shader is loaded,
// whatever the order of static initialisation.
ShaderCache &cache() {
    static ShaderCache shaders;
    return shaders;
}

// Handed out when there is no GL context, so callers that write into a shader's
// location table still have one. Outside the cache: a caller may keep it across windows.
int no_context_locs[MAX_SHADER_LOCATIONS];

// Compiles one stage; 0 when it does not compile, with the compiler's first message
// in `info` (the caller writes the one WARNING).
GLuint compile_stage(const char *code, GLenum type, char (&info)[512]) {
    std::string es_code;
    if (gl_context_is_es) {
        es_code = glsl_for_es(code);
        code = es_code.c_str();
    }
    GLuint id = glCreateShader(type);
    glShaderSource(id, 1, &code, nullptr);
    glCompileShader(id);
    GLint ok = GL_FALSE;
    glGetShaderiv(id, GL_COMPILE_STATUS, &ok);
    info[0] = '\0';
    if (ok != GL_TRUE) {
        glGetShaderInfoLog(id, sizeof(info), nullptr, info);
        // One line in the log: the driver's message may run over several.
        for (char &c : info)
            if (c == '\n' || c == '\r') c = ' ';
        glDeleteShader(id);
        return 0;
    }
    return id;
}

const char *stage_name(GLenum type) { return type == GL_VERTEX_SHADER ? "vertex" : "fragment"; }

// Links two compiled stages with the standard attribute locations bound first.
GLuint link_program(GLuint vs, GLuint fs, const char *origin) {
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glBindAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_LOCATION_POSITION, RL_DEFAULT_SHADER_ATTRIB_NAME_POSITION);
    glBindAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD, RL_DEFAULT_SHADER_ATTRIB_NAME_TEXCOORD);
    glBindAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_LOCATION_NORMAL, RL_DEFAULT_SHADER_ATTRIB_NAME_NORMAL);
    glBindAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_LOCATION_COLOR, RL_DEFAULT_SHADER_ATTRIB_NAME_COLOR);
    glBindAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_LOCATION_TANGENT, RL_DEFAULT_SHADER_ATTRIB_NAME_TANGENT);
    glBindAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD2, RL_DEFAULT_SHADER_ATTRIB_NAME_TEXCOORD2);
    glLinkProgram(program);
    glDetachShader(program, vs);
    glDetachShader(program, fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        char info[1024] = {};
        glGetProgramInfoLog(program, sizeof(info), nullptr, info);
        log_line(LOG_WARNING, "SHADER: [%s] failed to link, using the default shader: %s", origin, info);
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

void fill_locations(GLuint program, int *locs) {
    for (int i = 0; i < MAX_SHADER_LOCATIONS; i++) locs[i] = -1;
    locs[SHADER_LOC_VERTEX_POSITION] = glGetAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_NAME_POSITION);
    locs[SHADER_LOC_VERTEX_TEXCOORD01] = glGetAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_NAME_TEXCOORD);
    locs[SHADER_LOC_VERTEX_TEXCOORD02] = glGetAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_NAME_TEXCOORD2);
    locs[SHADER_LOC_VERTEX_NORMAL] = glGetAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_NAME_NORMAL);
    locs[SHADER_LOC_VERTEX_TANGENT] = glGetAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_NAME_TANGENT);
    locs[SHADER_LOC_VERTEX_COLOR] = glGetAttribLocation(program, RL_DEFAULT_SHADER_ATTRIB_NAME_COLOR);
    locs[SHADER_LOC_MATRIX_MVP] = glGetUniformLocation(program, RL_DEFAULT_SHADER_UNIFORM_NAME_MVP);
    locs[SHADER_LOC_MATRIX_VIEW] = glGetUniformLocation(program, RL_DEFAULT_SHADER_UNIFORM_NAME_VIEW);
    locs[SHADER_LOC_MATRIX_PROJECTION] = glGetUniformLocation(program, RL_DEFAULT_SHADER_UNIFORM_NAME_PROJECTION);
    locs[SHADER_LOC_MATRIX_MODEL] = glGetUniformLocation(program, RL_DEFAULT_SHADER_UNIFORM_NAME_MODEL);
    locs[SHADER_LOC_MATRIX_NORMAL] = glGetUniformLocation(program, RL_DEFAULT_SHADER_UNIFORM_NAME_NORMAL);
    locs[SHADER_LOC_COLOR_DIFFUSE] = glGetUniformLocation(program, RL_DEFAULT_SHADER_UNIFORM_NAME_COLOR);
    locs[SHADER_LOC_MAP_ALBEDO] = glGetUniformLocation(program, RL_DEFAULT_SHADER_SAMPLER2D_NAME_TEXTURE0);
    locs[SHADER_LOC_MAP_METALNESS] = glGetUniformLocation(program, RL_DEFAULT_SHADER_SAMPLER2D_NAME_TEXTURE1);
    locs[SHADER_LOC_MAP_NORMAL] = glGetUniformLocation(program, RL_DEFAULT_SHADER_SAMPLER2D_NAME_TEXTURE2);
}

// Reads a stage's source; null with a WARNING when the file cannot be read.
char *read_source(const char *path, const char *stage) {
    FileRefusal why = FileRefusal::none;
    auto *text = reinterpret_cast<char *>(read_whole_file(path, nullptr, max_source_bytes, &why));
    if (text == nullptr)
        log_line(LOG_WARNING, "SHADER: [%s] failed to read %s shader file (it %s), using the default shader", path,
                 stage, refusal_text(why));
    return text;
}

// Builds a shader from optional sources (null: the default stage). `vs_origin` and
// `fs_origin` name the sources in warnings.
Shader build_shader(const char *vs_code, const char *fs_code, const char *vs_origin, const char *fs_origin) {
    Shader shader = {0, nullptr};
    if (!gl_ready()) {
        log_line(LOG_ERROR, "SHADER: no GL context (call InitWindow first); shader not loaded");
        for (int &loc : no_context_locs) loc = -1;
        shader.locs = no_context_locs;
        return shader;
    }
    char vs_info[512] = {};
    char fs_info[512] = {};
    GLuint vs = vs_code != nullptr ? compile_stage(vs_code, GL_VERTEX_SHADER, vs_info) : 0;
    GLuint fs = fs_code != nullptr ? compile_stage(fs_code, GL_FRAGMENT_SHADER, fs_info) : 0;
    const bool vs_failed = vs_code != nullptr && vs == 0;
    const bool fs_failed = fs_code != nullptr && fs == 0;
    GLuint program = cache().default_program;
    if (vs_failed || fs_failed) {
        // The other stage alone, linked with a default one, expects inputs nobody
        // writes and draws noise: a failed stage takes the whole default shader.
        std::string names = vs_failed ? vs_origin : fs_origin;
        if (vs_failed && fs_failed) names += std::string(", ") + fs_origin;
        log_line(LOG_WARNING, "SHADER: [%s] failed to compile %s shader, using the default shader: %s", names.c_str(),
                 vs_failed && fs_failed ? "vertex and fragment"
                 : vs_failed            ? stage_name(GL_VERTEX_SHADER)
                                        : stage_name(GL_FRAGMENT_SHADER),
                 vs_failed ? vs_info : fs_info);
    } else if (vs != 0 || fs != 0) {
        char origin[512];
        std::snprintf(origin, sizeof(origin), "%s, %s", vs != 0 ? vs_origin : "default vertex shader",
                      fs != 0 ? fs_origin : "default fragment shader");
        GLuint linked = link_program(vs != 0 ? vs : cache().default_vs, fs != 0 ? fs : cache().default_fs, origin);
        if (linked != 0) {
            program = linked;
            track_gl(GlKind::shader_program, program);
            log_line(LOG_INFO, "SHADER: [ID %u] program loaded (%s)", program, origin);
        }
    }
    if (vs != 0) glDeleteShader(vs);
    if (fs != 0) glDeleteShader(fs);
    shader.id = program;
    shader.locs = static_cast<int *>(engine_alloc(sizeof(int) * MAX_SHADER_LOCATIONS));
    if (shader.locs == nullptr) {
        log_line(LOG_WARNING, "SHADER: out of memory for the location table");
        if (program != cache().default_program && untrack_gl(GlKind::shader_program, program)) glDeleteProgram(program);
        shader.id = 0;
        return shader;
    }
    fill_locations(program, shader.locs);
    cache().live[shader.locs] = program;
    return shader;
}

// Releases the default program and its stages, while their context is current, and
// starts a fresh cache. The tables of loaded shaders are engine arrays and their
// programs are tracked: both go with the lifetime registries at CloseWindow.
void reset_shader_cache() {
    ShaderCache &c = cache();
    if (c.default_program != 0) glDeleteProgram(c.default_program);
    if (c.default_vs != 0) glDeleteShader(c.default_vs);
    if (c.default_fs != 0) glDeleteShader(c.default_fs);
    c = ShaderCache{};
}

}  // namespace

bool shaders_init() {
    reset_shader_cache();
    ShaderCache &c = cache();
    char info[512] = {};
    c.default_vs = compile_stage(default_vs_code, GL_VERTEX_SHADER, info);
    if (c.default_vs != 0) c.default_fs = compile_stage(default_fs_code, GL_FRAGMENT_SHADER, info);
    if (c.default_vs == 0 || c.default_fs == 0) {
        log_line(LOG_WARNING, "SHADER: the default shader failed to compile: %s", info);
        return false;
    }
    c.default_program = link_program(c.default_vs, c.default_fs, "default");
    if (c.default_program == 0) return false;
    fill_locations(c.default_program, c.default_locs);
    log_line(LOG_INFO, "SHADER: [ID %u] default shader loaded", c.default_program);
    return true;
}

void shaders_close() {
    set_current_shader(0, nullptr);  // flushes the batch while its shader still exists
    reset_shader_cache();
}

unsigned int default_shader_id() { return cache().default_program; }
int *default_shader_locs() { return cache().default_locs; }

}  // namespace engine

using namespace engine;

unsigned int rlGetShaderIdDefault(void) { return cache().default_program; }
int *rlGetShaderLocsDefault(void) { return cache().default_locs; }

Shader LoadShader(const char *vsFileName, const char *fsFileName) {
    char *vs = vsFileName != nullptr ? read_source(vsFileName, "vertex") : nullptr;
    char *fs = fsFileName != nullptr ? read_source(fsFileName, "fragment") : nullptr;
    // A file named but not read is a failed stage like one that does not compile.
    const bool unread = (vsFileName != nullptr && vs == nullptr) || (fsFileName != nullptr && fs == nullptr);
    Shader shader =
        unread ? build_shader(nullptr, nullptr, nullptr, nullptr) : build_shader(vs, fs, vsFileName, fsFileName);
    engine_free(vs);
    engine_free(fs);
    return shader;
}

Shader LoadShaderFromMemory(const char *vsCode, const char *fsCode) {
    return build_shader(vsCode, fsCode, "vertex shader code", "fragment shader code");
}

bool IsShaderReady(Shader shader) { return shader.id > 0 && shader.locs != nullptr; }

void UnloadShader(Shader shader) {
    // A second unload, or a copy of a released shader, finds no match and does
    // nothing. The default program is never deleted.
    auto it = cache().live.find(shader.locs);
    if (it == cache().live.end() || it->second != shader.id) return;
    cache().live.erase(it);
    engine_free(shader.locs);
    if (shader.id == 0 || shader.id == cache().default_program) return;
    if (current_shader().id == shader.id) set_current_shader(0, nullptr);
    if (untrack_gl(GlKind::shader_program, shader.id)) glDeleteProgram(shader.id);
}

int GetShaderLocation(Shader shader, const char *uniformName) {
    if (!gl_ready() || shader.id == 0 || uniformName == nullptr) return -1;
    int loc = glGetUniformLocation(shader.id, uniformName);
    if (loc < 0) log_line(LOG_INFO, "SHADER: [ID %u] no uniform named %s", shader.id, uniformName);
    return loc;
}

int GetShaderLocationAttrib(Shader shader, const char *attribName) {
    if (!gl_ready() || shader.id == 0 || attribName == nullptr) return -1;
    return glGetAttribLocation(shader.id, attribName);
}

void SetShaderValueV(Shader shader, int locIndex, const void *value, int uniformType, int count) {
    if (!gl_ready() || shader.id == 0 || locIndex < 0) return;
    glUseProgram(shader.id);
    rlSetUniform(locIndex, value, uniformType, count);
    glUseProgram(0);
}

void SetShaderValue(Shader shader, int locIndex, const void *value, int uniformType) {
    SetShaderValueV(shader, locIndex, value, uniformType, 1);
}

void SetShaderValueMatrix(Shader shader, int locIndex, Matrix mat) {
    if (!gl_ready() || shader.id == 0 || locIndex < 0) return;
    glUseProgram(shader.id);
    rlSetUniformMatrix(locIndex, mat);
    glUseProgram(0);
}

void SetShaderValueTexture(Shader shader, int locIndex, Texture2D texture) {
    if (!gl_ready() || shader.id == 0 || locIndex < 0) return;
    glUseProgram(shader.id);
    rlSetUniformSampler(locIndex, texture.id);
    glUseProgram(0);
}

void BeginShaderMode(Shader shader) { rlSetShader(shader.id, shader.locs); }
void EndShaderMode(void) { rlSetShader(0, nullptr); }

unsigned int rlLoadShaderCode(const char *vsCode, const char *fsCode) {
    if (!require_gl("rlLoadShaderCode")) return 0;
    Shader s = build_shader(vsCode, fsCode, "vertex shader code", "fragment shader code");
    cache().live.erase(s.locs);
    engine_free(s.locs);
    return s.id;
}

void rlUnloadShaderProgram(unsigned int id) {
    if (!gl_ready() || id == cache().default_program) return;
    if (untrack_gl(GlKind::shader_program, id)) glDeleteProgram(id);
}

int rlGetLocationUniform(unsigned int shaderId, const char *uniformName) {
    if (!gl_ready() || shaderId == 0 || uniformName == nullptr) return -1;
    return glGetUniformLocation(shaderId, uniformName);
}

int rlGetLocationAttrib(unsigned int shaderId, const char *attribName) {
    if (!gl_ready() || shaderId == 0 || attribName == nullptr) return -1;
    return glGetAttribLocation(shaderId, attribName);
}
