// Meshes, materials and models: generation, OBJ + MTL loading, GPU upload and
// drawing with a material's shader, plus blend modes and billboards.
//
// Every array handed out with a mesh or model comes from engine_alloc and every
// GL object is tracked, so CloseWindow releases what a program leaves alive and a
// second unload finds nothing to release.
#include "raylib.h"
#include "raymath.h"
#include "rlgl.h"

#include "engine_prefetch.h"
#include "internal.h"
#include "prefetch.h"

#include "gl_api.h"
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <strings.h>
#include <string>
#include <vector>

namespace {

constexpr std::size_t max_obj_bytes = std::size_t{256} << 20;
constexpr std::size_t max_mtl_bytes = std::size_t{16} << 20;
// Far above any model a game of this kind draws (the tomato has a few thousand);
// parsing one of tens of millions takes gigabytes and draws at a frame a second.
constexpr std::uint64_t max_obj_triangles = 1000000;
constexpr int vbo_slots = 7;  // position, texcoord, normal, colour, tangent, texcoord2, indices
constexpr int vbo_indices = 6;

template <typename T>
T *alloc_array(size_t count) {
    return static_cast<T *>(engine::engine_alloc(count * sizeof(T)));
}

Texture2D default_texture() {
    return Texture2D{engine::default_texture_id(), 1, 1, 1, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8};
}

Shader default_shader() { return Shader{engine::default_shader_id(), engine::default_shader_locs()}; }

unsigned char to_byte(float v) { return static_cast<unsigned char>(std::clamp(v, 0.0f, 1.0f) * 255.0f); }

unsigned int upload_buffer(GLenum target, const void *data, size_t bytes, bool dynamic) {
    GLuint id = 0;
    glGenBuffers(1, &id);
    glBindBuffer(target, id);
    glBufferData(target, static_cast<GLsizeiptr>(bytes), data, dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    engine::track_gl(engine::GlKind::buffer, id);
    return id;
}

// One vertex attribute of `components` floats (or normalised bytes) a vertex, into its
// own buffer whose id goes to `slot`, fed to its fixed location. Absent data leaves the
// slot as it is.
void upload_attribute(unsigned int &slot, const void *data, size_t vertices, GLuint location, GLint components,
                      GLenum type, bool dynamic) {
    if (data == nullptr) return;
    const bool floats = type == GL_FLOAT;
    slot = upload_buffer(GL_ARRAY_BUFFER, data, vertices * components * (floats ? sizeof(float) : 1), dynamic);
    glVertexAttribPointer(location, components, type, floats ? GL_FALSE : GL_TRUE, 0, nullptr);
    glEnableVertexAttribArray(location);
}

int loc(const Shader &shader, int index) { return shader.locs == nullptr ? -1 : shader.locs[index]; }

void set_matrix(int location, Matrix m) {
    if (location < 0) return;
    const float16 f = MatrixToFloatV(m);
    glUniformMatrix4fv(location, 1, GL_FALSE, f.v);
}

void set_color(int location, Color c) {
    if (location < 0) return;
    glUniform4f(location, c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, c.a / 255.0f);
}

// Maps 7..9 hold cube maps; the rest are plain 2D textures.
GLenum map_target(int map) {
    return (map == MATERIAL_MAP_CUBEMAP || map == MATERIAL_MAP_IRRADIANCE || map == MATERIAL_MAP_PREFILTER)
               ? GL_TEXTURE_CUBE_MAP
               : GL_TEXTURE_2D;
}

Color tinted(Color c, Color tint) {
    return Color{static_cast<unsigned char>(c.r * tint.r / 255), static_cast<unsigned char>(c.g * tint.g / 255),
                 static_cast<unsigned char>(c.b * tint.b / 255), static_cast<unsigned char>(c.a * tint.a / 255)};
}

// ------------------------------------------------------------------ OBJ loading

struct MeshBuilder {
    std::vector<float> positions;
    std::vector<float> texcoords;
    std::vector<float> normals;
};

Vector3 obj_position(const tinyobj::attrib_t &attrib, int index) {
    if (index < 0 || static_cast<size_t>(index) * 3 + 2 >= attrib.vertices.size()) return Vector3{0, 0, 0};
    const size_t i = static_cast<size_t>(index) * 3;
    return Vector3{attrib.vertices[i], attrib.vertices[i + 1], attrib.vertices[i + 2]};
}

bool obj_normal(const tinyobj::attrib_t &attrib, int index, Vector3 &out) {
    if (index < 0 || static_cast<size_t>(index) * 3 + 2 >= attrib.normals.size()) return false;
    const size_t i = static_cast<size_t>(index) * 3;
    out = Vector3{attrib.normals[i], attrib.normals[i + 1], attrib.normals[i + 2]};
    return true;
}

Vector2 obj_texcoord(const tinyobj::attrib_t &attrib, int index) {
    if (index < 0 || static_cast<size_t>(index) * 2 + 1 >= attrib.texcoords.size()) return Vector2{0, 0};
    const size_t i = static_cast<size_t>(index) * 2;
    // OBJ puts v = 0 at the bottom of the image; textures here start at the top row.
    return Vector2{attrib.texcoords[i], 1.0f - attrib.texcoords[i + 1]};
}

Mesh mesh_from_builder(const MeshBuilder &b) {
    Mesh mesh{};
    const size_t count = b.positions.size() / 3;
    mesh.vertexCount = static_cast<int>(count);
    mesh.triangleCount = static_cast<int>(count / 3);
    mesh.vertices = alloc_array<float>(count * 3);
    mesh.texcoords = alloc_array<float>(count * 2);
    mesh.normals = alloc_array<float>(count * 3);
    if (mesh.vertices == nullptr || mesh.texcoords == nullptr || mesh.normals == nullptr) {
        UnloadMesh(mesh);
        return Mesh{};
    }
    std::memcpy(mesh.vertices, b.positions.data(), count * 3 * sizeof(float));
    std::memcpy(mesh.texcoords, b.texcoords.data(), count * 2 * sizeof(float));
    std::memcpy(mesh.normals, b.normals.data(), count * 3 * sizeof(float));
    return mesh;
}

Material material_from_mtl(const tinyobj::material_t &m, const std::string &dir,
                           std::map<std::string, Texture2D> &textures) {
    Material material = LoadMaterialDefault();
    if (material.maps == nullptr) return material;
    MaterialMap *maps = material.maps;
    maps[MATERIAL_MAP_ALBEDO].color = Color{to_byte(m.diffuse[0]), to_byte(m.diffuse[1]), to_byte(m.diffuse[2]), 255};
    maps[MATERIAL_MAP_METALNESS].color =
        Color{to_byte(m.specular[0]), to_byte(m.specular[1]), to_byte(m.specular[2]), 255};
    maps[MATERIAL_MAP_NORMAL].value = m.shininess;
    maps[MATERIAL_MAP_EMISSION].color =
        Color{to_byte(m.emission[0]), to_byte(m.emission[1]), to_byte(m.emission[2]), 255};
    if (!m.diffuse_texname.empty()) {
        const std::string path = (m.diffuse_texname[0] == '/' ? std::string() : dir) + m.diffuse_texname;
        auto it = textures.find(path);
        if (it == textures.end()) it = textures.emplace(path, LoadTexture(path.c_str())).first;
        if (it->second.id > 0) maps[MATERIAL_MAP_ALBEDO].texture = it->second;
    }
    return material;
}

// A model without meshes but with one default material, so callers may still
// set materials[0] fields.
Model empty_model() {
    Model model{};
    model.transform = MatrixIdentity();
    model.materials = alloc_array<Material>(1);
    if (model.materials != nullptr) {
        model.materials[0] = LoadMaterialDefault();
        model.materialCount = 1;
    }
    return model;
}

// The triangles a face line ("f a b c ...") gives once its polygon is cut into a fan.
std::uint64_t face_triangles(const char *q, const char *eol) {
    std::uint64_t corners = 0;
    while (q < eol) {
        while (q < eol && (*q == ' ' || *q == '\t' || *q == '\r')) q++;
        if (q == eol) break;
        corners++;
        while (q < eol && *q != ' ' && *q != '\t' && *q != '\r') q++;
    }
    return corners >= 3 ? corners - 2 : 0;
}

// tinyobjloader opens the OBJ and its material libraries itself, and would block on a
// FIFO or read a device for ever: the files it will open are checked first. The
// triangles are counted here too, so a file past the cap is refused before the
// parser takes its memory.
bool obj_files_readable(const char *fileName, const std::string &dir, engine::HeldLog &log) {
    engine::FileRefusal why = engine::FileRefusal::none;
    std::vector<unsigned char> text;
    if (!engine::read_file_bytes(fileName, text, max_obj_bytes, why)) {
        log.add(LOG_WARNING, "MODEL: [%s] Failed to load: the file %s", fileName, engine::refusal_text(why));
        return false;
    }
    bool ok = true;
    std::uint64_t triangles = 0;
    const char *p = reinterpret_cast<const char *>(text.data());
    const char *end = p + text.size();
    while (ok && p < end) {
        const char *eol = static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (eol == nullptr) eol = end;
        const char *q = p;
        while (q < eol && (*q == ' ' || *q == '\t')) q++;
        if (eol - q > 1 && q[0] == 'f' && (q[1] == ' ' || q[1] == '\t')) {
            triangles += face_triangles(q + 1, eol);
            if (triangles > max_obj_triangles) {
                log.add(LOG_WARNING, "MODEL: [%s] Failed to load: more than %llu triangles", fileName,
                        static_cast<unsigned long long>(max_obj_triangles));
                ok = false;
            }
        } else if (eol - q > 7 && std::strncmp(q, "mtllib", 6) == 0 && (q[6] == ' ' || q[6] == '\t')) {
            // Each name after the keyword is a library tinyobjloader looks for in the
            // OBJ's folder; one that is missing is its to report.
            q += 6;
            while (ok && q < eol) {
                while (q < eol && (*q == ' ' || *q == '\t' || *q == '\r')) q++;
                const char *name = q;
                while (q < eol && *q != ' ' && *q != '\t' && *q != '\r') q++;
                if (q == name) break;
                const std::string path = dir + std::string(name, static_cast<std::size_t>(q - name));
                why = engine::check_regular_file(path.c_str(), max_mtl_bytes);
                if (why != engine::FileRefusal::none && why != engine::FileRefusal::missing) {
                    log.add(LOG_WARNING, "MODEL: [%s] Failed to load: material library [%s] %s", fileName, path.c_str(),
                            engine::refusal_text(why));
                    ok = false;
                }
            }
        }
        p = eol + 1;
    }
    return ok;
}

// An OBJ file and its MTL parsed and sorted into one vertex bucket per material (faces
// without one go to a last, default bucket). Runs on any thread (the start-up prefetch).
struct ParsedObj {
    std::vector<tinyobj::material_t> materials;
    std::vector<MeshBuilder> buckets;  // materials.size() + 1
};

std::string directory_of(const char *fileName) {
    const std::string path(fileName);
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string without_line_end(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::shared_ptr<const void> parse_obj(const char *fileName, int, engine::HeldLog &log) {
    if (!obj_files_readable(fileName, directory_of(fileName), log)) return nullptr;
    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    config.vertex_color = false;
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(fileName, config) || !reader.Valid()) {
        log.add(LOG_WARNING, "MODEL: [%s] Failed to load: %s", fileName, without_line_end(reader.Error()).c_str());
        return nullptr;
    }
    if (!reader.Warning().empty())
        log.add(LOG_WARNING, "MODEL: [%s] %s", fileName, without_line_end(reader.Warning()).c_str());
    const tinyobj::attrib_t &attrib = reader.GetAttrib();
    auto parsed = std::make_shared<ParsedObj>();
    parsed->materials = reader.GetMaterials();
    const auto &materials = parsed->materials;

    // One bucket per material; faces without a material go to a default one at the end.
    const size_t fallback = materials.size();
    std::vector<MeshBuilder> &buckets = parsed->buckets;
    buckets.resize(materials.size() + 1);
    for (const tinyobj::shape_t &shape : reader.GetShapes()) {
        const auto &indices = shape.mesh.indices;
        size_t offset = 0;
        for (size_t face = 0; face < shape.mesh.num_face_vertices.size(); ++face) {
            const size_t corners = shape.mesh.num_face_vertices[face];
            if (corners != 3 || offset + 3 > indices.size()) {
                offset += corners;
                continue;
            }
            int material = face < shape.mesh.material_ids.size() ? shape.mesh.material_ids[face] : -1;
            const size_t slot = material >= 0 && static_cast<size_t>(material) < materials.size()
                                    ? static_cast<size_t>(material)
                                    : fallback;
            MeshBuilder &b = buckets[slot];

            Vector3 p[3];
            Vector3 n[3];
            bool has_normals = true;
            for (int k = 0; k < 3; ++k) {
                p[k] = obj_position(attrib, indices[offset + k].vertex_index);
                has_normals = obj_normal(attrib, indices[offset + k].normal_index, n[k]) && has_normals;
            }
            if (!has_normals) {
                // No normals in the file for this face: a flat one from its winding.
                const Vector3 flat =
                    Vector3Normalize(Vector3CrossProduct(Vector3Subtract(p[1], p[0]), Vector3Subtract(p[2], p[0])));
                n[0] = n[1] = n[2] = flat;
            }
            for (int k = 0; k < 3; ++k) {
                const Vector2 t = obj_texcoord(attrib, indices[offset + k].texcoord_index);
                b.positions.insert(b.positions.end(), {p[k].x, p[k].y, p[k].z});
                b.normals.insert(b.normals.end(), {n[k].x, n[k].y, n[k].z});
                b.texcoords.insert(b.texcoords.end(), {t.x, t.y});
            }
            offset += 3;
        }
    }
    return parsed;
}

// The model of a parsed OBJ: its textures loaded, its meshes uploaded.
Model build_obj(const char *fileName, const ParsedObj &parsed) {
    const std::string dir = directory_of(fileName);
    const auto &materials = parsed.materials;
    const auto &buckets = parsed.buckets;
    const size_t fallback = materials.size();

    const bool fallback_used = !buckets[fallback].positions.empty();
    const size_t material_count = materials.size() + (fallback_used || materials.empty() ? 1 : 0);
    int mesh_count = 0;
    for (const MeshBuilder &b : buckets) mesh_count += b.positions.empty() ? 0 : 1;

    Model model{};
    model.transform = MatrixIdentity();
    model.materials = alloc_array<Material>(material_count);
    model.meshes = mesh_count > 0 ? alloc_array<Mesh>(static_cast<size_t>(mesh_count)) : nullptr;
    model.meshMaterial = mesh_count > 0 ? alloc_array<int>(static_cast<size_t>(mesh_count)) : nullptr;
    if (model.materials == nullptr || (mesh_count > 0 && (model.meshes == nullptr || model.meshMaterial == nullptr))) {
        TraceLog(LOG_WARNING, "MODEL: [%s] Out of memory", fileName);
        UnloadModel(model);
        return empty_model();
    }

    std::map<std::string, Texture2D> textures;
    for (size_t i = 0; i < materials.size(); ++i) model.materials[i] = material_from_mtl(materials[i], dir, textures);
    if (material_count > materials.size()) model.materials[materials.size()] = LoadMaterialDefault();
    model.materialCount = static_cast<int>(material_count);

    for (size_t slot = 0; slot < buckets.size(); ++slot) {
        if (buckets[slot].positions.empty()) continue;
        Mesh mesh = mesh_from_builder(buckets[slot]);
        if (mesh.vertexCount == 0) continue;
        UploadMesh(&mesh, false);
        model.meshes[model.meshCount] = mesh;
        model.meshMaterial[model.meshCount] =
            slot == fallback ? static_cast<int>(material_count) - 1 : static_cast<int>(slot);
        ++model.meshCount;
    }
    if (model.meshCount == 0)
        TraceLog(LOG_WARNING, "MODEL: [%s] Holds no triangles", fileName);
    else
        TraceLog(LOG_INFO, "MODEL: [%s] Loaded (%d meshes, %d materials)", fileName, model.meshCount,
                 model.materialCount);
    return model;
}

Model load_obj(const char *fileName) {
    const std::shared_ptr<const void> data =
        engine::take_or_decode(engine::PrefetchKind::model, fileName, 0, parse_obj);
    if (data == nullptr) return empty_model();
    return build_obj(fileName, *static_cast<const ParsedObj *>(data.get()));
}

}  // namespace

// ------------------------------------------------------------------ meshes

Mesh GenMeshCube(float width, float height, float length) {
    const float x = width / 2.0f;
    const float y = height / 2.0f;
    const float z = length / 2.0f;
    // Four corners per face, counter-clockwise seen from outside.
    const float positions[24 * 3] = {
        -x, -y, z,  x,  -y, z,  x,  y,  z,  -x, y,  z,   // front (+z)
        -x, -y, -z, -x, y,  -z, x,  y,  -z, x,  -y, -z,  // back (-z)
        -x, y,  -z, -x, y,  z,  x,  y,  z,  x,  y,  -z,  // top (+y)
        -x, -y, -z, x,  -y, -z, x,  -y, z,  -x, -y, z,   // bottom (-y)
        x,  -y, -z, x,  y,  -z, x,  y,  z,  x,  -y, z,   // right (+x)
        -x, -y, -z, -x, -y, z,  -x, y,  z,  -x, y,  -z,  // left (-x)
    };
    const float face_normals[6][3] = {{0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}};
    const float face_uvs[6][8] = {
        {0, 0, 1, 0, 1, 1, 0, 1}, {1, 0, 1, 1, 0, 1, 0, 0}, {0, 1, 0, 0, 1, 0, 1, 1},
        {1, 1, 0, 1, 0, 0, 1, 0}, {1, 0, 1, 1, 0, 1, 0, 0}, {0, 0, 1, 0, 1, 1, 0, 1},
    };

    Mesh mesh{};
    mesh.vertexCount = 24;
    mesh.triangleCount = 12;
    mesh.vertices = alloc_array<float>(24 * 3);
    mesh.texcoords = alloc_array<float>(24 * 2);
    mesh.normals = alloc_array<float>(24 * 3);
    mesh.indices = alloc_array<unsigned short>(36);
    if (mesh.vertices == nullptr || mesh.texcoords == nullptr || mesh.normals == nullptr || mesh.indices == nullptr) {
        UnloadMesh(mesh);
        return Mesh{};
    }
    std::memcpy(mesh.vertices, positions, sizeof positions);
    for (int f = 0; f < 6; ++f) {
        for (int v = 0; v < 4; ++v) {
            const int i = f * 4 + v;
            std::memcpy(&mesh.normals[i * 3], face_normals[f], 3 * sizeof(float));
            mesh.texcoords[i * 2] = face_uvs[f][v * 2];
            mesh.texcoords[i * 2 + 1] = face_uvs[f][v * 2 + 1];
        }
        const auto base = static_cast<unsigned short>(f * 4);
        const unsigned short quad[6] = {
            base, static_cast<unsigned short>(base + 1), static_cast<unsigned short>(base + 2),
            base, static_cast<unsigned short>(base + 2), static_cast<unsigned short>(base + 3)};
        std::memcpy(&mesh.indices[f * 6], quad, sizeof quad);
    }
    UploadMesh(&mesh, false);
    return mesh;
}

void UploadMesh(Mesh *mesh, bool dynamic) {
    if (mesh == nullptr) return;
    if (mesh->vaoId > 0) {
        TraceLog(LOG_WARNING, "MESH: Already uploaded (VAO %u)", mesh->vaoId);
        return;
    }
    if (mesh->vertexCount <= 0 || mesh->vertices == nullptr) {
        TraceLog(LOG_WARNING, "MESH: No vertices to upload");
        return;
    }
    if (!engine::require_gl("UploadMesh")) return;
    if (mesh->vboId == nullptr) mesh->vboId = alloc_array<unsigned int>(vbo_slots);
    if (mesh->vboId == nullptr) return;

    const auto n = static_cast<size_t>(mesh->vertexCount);
    GLuint vao = 0;
    glGenVertexArrays(1, &vao);
    engine::track_gl(engine::GlKind::vertex_array, vao);
    glBindVertexArray(vao);
    // Attribute locations are fixed for every engine shader, so one VAO serves them all.
    upload_attribute(mesh->vboId[0], mesh->vertices, n, RL_DEFAULT_SHADER_ATTRIB_LOCATION_POSITION, 3, GL_FLOAT,
                     dynamic);
    upload_attribute(mesh->vboId[1], mesh->texcoords, n, RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD, 2, GL_FLOAT,
                     dynamic);
    upload_attribute(mesh->vboId[2], mesh->normals, n, RL_DEFAULT_SHADER_ATTRIB_LOCATION_NORMAL, 3, GL_FLOAT, dynamic);
    upload_attribute(mesh->vboId[3], mesh->colors, n, RL_DEFAULT_SHADER_ATTRIB_LOCATION_COLOR, 4, GL_UNSIGNED_BYTE,
                     dynamic);
    upload_attribute(mesh->vboId[4], mesh->tangents, n, RL_DEFAULT_SHADER_ATTRIB_LOCATION_TANGENT, 4, GL_FLOAT,
                     dynamic);
    upload_attribute(mesh->vboId[5], mesh->texcoords2, n, RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD2, 2, GL_FLOAT,
                     dynamic);
    if (mesh->indices != nullptr && mesh->triangleCount > 0) {
        mesh->vboId[vbo_indices] =
            upload_buffer(GL_ELEMENT_ARRAY_BUFFER, mesh->indices,
                          static_cast<size_t>(mesh->triangleCount) * 3 * sizeof(unsigned short), dynamic);
    }
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    mesh->vaoId = vao;
}

void UnloadMesh(Mesh mesh) {
    if (engine::gl_ready()) {
        if (engine::untrack_gl(engine::GlKind::vertex_array, mesh.vaoId)) {
            const GLuint vao = mesh.vaoId;
            glDeleteVertexArrays(1, &vao);
        }
        if (engine::engine_owns(mesh.vboId)) {
            for (int i = 0; i < vbo_slots; ++i) {
                const GLuint id = mesh.vboId[i];
                if (engine::untrack_gl(engine::GlKind::buffer, id)) glDeleteBuffers(1, &id);
            }
        }
    }
    engine::engine_free(mesh.vboId);
    engine::engine_free(mesh.vertices);
    engine::engine_free(mesh.texcoords);
    engine::engine_free(mesh.texcoords2);
    engine::engine_free(mesh.normals);
    engine::engine_free(mesh.tangents);
    engine::engine_free(mesh.colors);
    engine::engine_free(mesh.indices);
    engine::engine_free(mesh.animVertices);
    engine::engine_free(mesh.animNormals);
    engine::engine_free(mesh.boneIds);
    engine::engine_free(mesh.boneWeights);
}

BoundingBox GetMeshBoundingBox(Mesh mesh) {
    BoundingBox box{};
    if (mesh.vertices == nullptr || mesh.vertexCount <= 0) return box;
    box.min = box.max = Vector3{mesh.vertices[0], mesh.vertices[1], mesh.vertices[2]};
    for (int i = 1; i < mesh.vertexCount; ++i) {
        const Vector3 v{mesh.vertices[i * 3], mesh.vertices[i * 3 + 1], mesh.vertices[i * 3 + 2]};
        box.min = Vector3Min(box.min, v);
        box.max = Vector3Max(box.max, v);
    }
    return box;
}

void DrawMesh(Mesh mesh, Material material, Matrix transform) {
    if (mesh.vaoId == 0 || mesh.vertexCount <= 0 || !engine::gl_ready()) return;
    // Whatever the batch holds was drawn before this mesh.
    rlDrawRenderBatchActive();

    Shader shader = material.shader;
    if (shader.id == 0) shader = default_shader();
    glUseProgram(shader.id);

    if (material.maps != nullptr) {
        set_color(loc(shader, SHADER_LOC_COLOR_DIFFUSE), material.maps[MATERIAL_MAP_ALBEDO].color);
        set_color(loc(shader, SHADER_LOC_COLOR_SPECULAR), material.maps[MATERIAL_MAP_METALNESS].color);
    } else {
        set_color(loc(shader, SHADER_LOC_COLOR_DIFFUSE), WHITE);
    }

    const Matrix view = rlGetMatrixModelview();
    const Matrix projection = rlGetMatrixProjection();
    const Matrix model = MatrixMultiply(transform, rlGetMatrixTransform());
    set_matrix(loc(shader, SHADER_LOC_MATRIX_VIEW), view);
    set_matrix(loc(shader, SHADER_LOC_MATRIX_PROJECTION), projection);
    set_matrix(loc(shader, SHADER_LOC_MATRIX_MODEL), model);
    set_matrix(loc(shader, SHADER_LOC_MATRIX_NORMAL), MatrixTranspose(MatrixInvert(model)));
    set_matrix(loc(shader, SHADER_LOC_MATRIX_MVP), MatrixMultiply(MatrixMultiply(model, view), projection));

    bool bound[MAX_MATERIAL_MAPS] = {};
    if (material.maps != nullptr) {
        for (int i = 0; i < MAX_MATERIAL_MAPS; ++i) {
            const unsigned int id = material.maps[i].texture.id;
            if (id == 0) continue;
            glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
            glBindTexture(map_target(i), id);
            bound[i] = true;
            const int sampler = loc(shader, SHADER_LOC_MAP_ALBEDO + i);
            if (sampler >= 0) glUniform1i(sampler, i);
        }
    }

    glBindVertexArray(mesh.vaoId);
    // Attributes the mesh lacks read these constants instead.
    const bool has = engine::engine_owns(mesh.vboId);
    if (!has || mesh.vboId[3] == 0) glVertexAttrib4f(RL_DEFAULT_SHADER_ATTRIB_LOCATION_COLOR, 1.0f, 1.0f, 1.0f, 1.0f);
    if (!has || mesh.vboId[1] == 0) glVertexAttrib2f(RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD, 0.0f, 0.0f);
    if (!has || mesh.vboId[2] == 0) glVertexAttrib3f(RL_DEFAULT_SHADER_ATTRIB_LOCATION_NORMAL, 0.0f, 0.0f, 1.0f);
    engine::before_draw();
    if (has && mesh.vboId[vbo_indices] != 0) {
        glDrawElements(GL_TRIANGLES, mesh.triangleCount * 3, GL_UNSIGNED_SHORT, nullptr);
    } else {
        glDrawArrays(GL_TRIANGLES, 0, mesh.vertexCount);
    }
    glBindVertexArray(0);

    for (int i = 0; i < MAX_MATERIAL_MAPS; ++i) {
        if (!bound[i]) continue;
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
        glBindTexture(map_target(i), 0);
    }
    glActiveTexture(GL_TEXTURE0);
    glUseProgram(0);
}

// ------------------------------------------------------------------ materials

Material LoadMaterialDefault(void) {
    Material material{};
    material.maps = alloc_array<MaterialMap>(MAX_MATERIAL_MAPS);
    material.shader = default_shader();
    if (material.maps != nullptr) {
        material.maps[MATERIAL_MAP_ALBEDO].texture = default_texture();
        material.maps[MATERIAL_MAP_ALBEDO].color = WHITE;
        material.maps[MATERIAL_MAP_METALNESS].color = WHITE;
    }
    return material;
}

bool IsMaterialReady(Material material) { return material.maps != nullptr && material.shader.id > 0; }

void UnloadMaterial(Material material) {
    if (!engine::engine_owns(material.maps)) return;
    if (material.shader.id != engine::default_shader_id()) UnloadShader(material.shader);
    for (int i = 0; i < MAX_MATERIAL_MAPS; ++i) {
        const Texture2D t = material.maps[i].texture;
        if (t.id > 0 && t.id != engine::default_texture_id()) UnloadTexture(t);
    }
    engine::engine_free(material.maps);
}

void SetMaterialTexture(Material *material, int mapType, Texture2D texture) {
    if (material == nullptr || material->maps == nullptr || mapType < 0 || mapType >= MAX_MATERIAL_MAPS) return;
    material->maps[mapType].texture = texture;
}

// ------------------------------------------------------------------ models

void PrefetchModel(const char *fileName) {
    const char *dot = fileName != nullptr ? std::strrchr(fileName, '.') : nullptr;
    if (dot != nullptr && strcasecmp(dot, ".obj") == 0)
        engine::prefetch(engine::PrefetchKind::model, fileName, 0, parse_obj);
}

Model LoadModel(const char *fileName) {
    if (fileName == nullptr) {
        TraceLog(LOG_WARNING, "MODEL: No file name given");
        return empty_model();
    }
    const char *dot = std::strrchr(fileName, '.');
    if (dot == nullptr || (strcasecmp(dot, ".obj") != 0)) {
        TraceLog(LOG_WARNING, "MODEL: [%s] Only OBJ files are supported", fileName);
        return empty_model();
    }
    return load_obj(fileName);
}

Model LoadModelFromMesh(Mesh mesh) {
    Model model{};
    model.transform = MatrixIdentity();
    model.meshes = alloc_array<Mesh>(1);
    model.materials = alloc_array<Material>(1);
    model.meshMaterial = alloc_array<int>(1);
    if (model.meshes == nullptr || model.materials == nullptr || model.meshMaterial == nullptr) {
        UnloadModel(model);
        return empty_model();
    }
    model.meshes[0] = mesh;
    model.meshCount = 1;
    model.materials[0] = LoadMaterialDefault();
    model.materialCount = 1;
    model.meshMaterial[0] = 0;
    return model;
}

bool IsModelReady(Model model) {
    return model.meshes != nullptr && model.materials != nullptr && model.meshMaterial != nullptr &&
           model.meshCount > 0 && model.materialCount > 0;
}

void UnloadModel(Model model) {
    // Shaders and textures may be shared between models, so only the model's own
    // meshes and arrays go; whatever else is left the window's closing releases.
    if (engine::engine_owns(model.meshes)) {
        for (int i = 0; i < model.meshCount; ++i) UnloadMesh(model.meshes[i]);
    }
    if (engine::engine_owns(model.materials)) {
        for (int i = 0; i < model.materialCount; ++i) engine::engine_free(model.materials[i].maps);
    }
    engine::engine_free(model.meshes);
    engine::engine_free(model.materials);
    engine::engine_free(model.meshMaterial);
    engine::engine_free(model.bones);
    engine::engine_free(model.bindPose);
}

void DrawModelEx(Model model, Vector3 position, Vector3 rotationAxis, float rotationAngle, Vector3 scale, Color tint) {
    if (model.meshes == nullptr || model.meshCount <= 0) return;
    // A zero axis names no rotation.
    const bool rotates = Vector3LengthSqr(rotationAxis) > 0.0f && rotationAngle != 0.0f;
    const Matrix rotation = rotates ? MatrixRotate(rotationAxis, rotationAngle * DEG2RAD) : MatrixIdentity();
    const Matrix local = MatrixMultiply(MatrixMultiply(MatrixScale(scale.x, scale.y, scale.z), rotation),
                                        MatrixTranslate(position.x, position.y, position.z));
    const Matrix transform = MatrixMultiply(local, model.transform);

    for (int i = 0; i < model.meshCount; ++i) {
        int index = model.meshMaterial != nullptr ? model.meshMaterial[i] : 0;
        if (index < 0 || index >= model.materialCount) index = 0;
        if (model.materials == nullptr || model.materialCount <= 0) {
            MaterialMap maps[MAX_MATERIAL_MAPS] = {};
            maps[MATERIAL_MAP_ALBEDO].texture = default_texture();
            maps[MATERIAL_MAP_ALBEDO].color = tint;
            DrawMesh(model.meshes[i], Material{default_shader(), maps, {}}, transform);
            continue;
        }
        Material &material = model.materials[index];
        if (material.maps == nullptr) {
            DrawMesh(model.meshes[i], material, transform);
            continue;
        }
        const Color albedo = material.maps[MATERIAL_MAP_ALBEDO].color;
        material.maps[MATERIAL_MAP_ALBEDO].color = tinted(albedo, tint);
        DrawMesh(model.meshes[i], material, transform);
        material.maps[MATERIAL_MAP_ALBEDO].color = albedo;
    }
}

void DrawModel(Model model, Vector3 position, float scale, Color tint) {
    DrawModelEx(model, position, Vector3{0.0f, 1.0f, 0.0f}, 0.0f, Vector3{scale, scale, scale}, tint);
}

// ------------------------------------------------------------------ immediate 3D shapes

void DrawCube(Vector3 position, float width, float height, float length, Color color) {
    const float x = width / 2.0f;
    const float y = height / 2.0f;
    const float z = length / 2.0f;
    // Two triangles per face, counter-clockwise seen from outside.
    static const float corners[6][4][3] = {
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},      // front
        {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}},  // back
        {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},      // top
        {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},  // bottom
        {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}},      // right
        {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},  // left
    };
    static const int order[6] = {0, 1, 2, 0, 2, 3};
    rlSetTexture(0);
    rlBegin(RL_TRIANGLES);
    rlColor4ub(color.r, color.g, color.b, color.a);
    for (const auto &face : corners) {
        for (int k : order) {
            rlVertex3f(position.x + face[k][0] * x, position.y + face[k][1] * y, position.z + face[k][2] * z);
        }
    }
    rlEnd();
}

// ------------------------------------------------------------------ blending and billboards

void BeginBlendMode(int mode) { rlSetBlendMode(mode); }

void EndBlendMode(void) { rlSetBlendMode(BLEND_ALPHA); }

void DrawBillboardPro(Camera camera, Texture2D texture, Rectangle source, Vector3 position, Vector3 up, Vector2 size,
                      Vector2 origin, float rotation, Color tint) {
    if (texture.width == 0 || texture.height == 0 || source.height == 0.0f) return;
    const Vector2 ratio{size.x * std::fabs(source.width / source.height), size.y};
    const Matrix view = MatrixLookAt(camera.position, position, up);
    const Vector3 right_axis{view.m0, view.m4, view.m8};
    const Vector3 r = Vector3Scale(right_axis, ratio.x / 2.0f);
    const Vector3 u = Vector3Scale(up, ratio.y / 2.0f);
    const Vector3 p1 = Vector3Add(r, u);
    const Vector3 p2 = Vector3Subtract(r, u);
    Vector3 top_left = Vector3Scale(p2, -1.0f);
    Vector3 top_right = p1;
    Vector3 bottom_right = p2;
    Vector3 bottom_left = Vector3Scale(p1, -1.0f);

    if (rotation != 0.0f) {
        // Turn the corners in the quad's own plane about the origin point.
        const float s = std::sin(rotation * DEG2RAD);
        const float c = std::cos(rotation * DEG2RAD);
        const float ox = ratio.x * origin.x / 2.0f;
        const float oy = ratio.y * origin.y / 2.0f;
        const Vector3 rn = Vector3Normalize(right_axis);
        const Vector3 un = Vector3Normalize(up);
        Vector3 *corners[4] = {&top_left, &top_right, &bottom_right, &bottom_left};
        for (Vector3 *corner : corners) {
            const float cx = Vector3DotProduct(*corner, rn) - ox;
            const float cy = Vector3DotProduct(*corner, un) - oy;
            const float rx = cx * c - cy * s + ox;
            const float ry = cx * s + cy * c + oy;
            *corner = Vector3Add(Vector3Scale(rn, rx), Vector3Scale(un, ry));
        }
    }
    top_left = Vector3Add(top_left, position);
    top_right = Vector3Add(top_right, position);
    bottom_right = Vector3Add(bottom_right, position);
    bottom_left = Vector3Add(bottom_left, position);

    const float w = static_cast<float>(texture.width);
    const float h = static_cast<float>(texture.height);
    const float u0 = source.x / w;
    const float v0 = source.y / h;
    const float u1 = (source.x + source.width) / w;
    const float v1 = (source.y + source.height) / h;

    rlSetTexture(texture.id);
    rlBegin(RL_QUADS);
    rlColor4ub(tint.r, tint.g, tint.b, tint.a);
    // A mirrored quad (one negative size) goes round the other way.
    const Vector3 corners[4] = {top_left, bottom_left, bottom_right, top_right};
    const Vector2 uvs[4] = {{u0, v0}, {u0, v1}, {u1, v1}, {u1, v0}};
    const bool mirrored = ratio.x * ratio.y < 0.0f;
    for (int i = 0; i < 4; ++i) {
        const int k = mirrored ? 3 - i : i;
        rlTexCoord2f(uvs[k].x, uvs[k].y);
        rlVertex3f(corners[k].x, corners[k].y, corners[k].z);
    }
    rlEnd();
    rlSetTexture(0);
}
