#include "platform/obj_objects.h"

#include <cstring>

namespace {

bool starts_with_word(std::string_view line, std::string_view word) {
    return line.size() > word.size() && line.substr(0, word.size()) == word &&
           (line[word.size()] == ' ' || line[word.size()] == '\t');
}

std::string_view trimmed_front(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return line;
}

bool starts_object(std::string_view line) {
    line = trimmed_front(line);
    return starts_with_word(line, "o") || starts_with_word(line, "g");
}

// Lines every object's file needs: the material library and the vertex data that
// face indices count through.
bool shared_line(std::string_view line) {
    line = trimmed_front(line);
    return starts_with_word(line, "v") || starts_with_word(line, "vt") || starts_with_word(line, "vn") ||
           starts_with_word(line, "vp") || starts_with_word(line, "mtllib");
}

// The file's lines, each with its line end.
std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

// What LoadFileText is to hand out while one object is loaded.
const char *served_path = nullptr;
const std::string *served_text = nullptr;

char *copy_for_raylib(const char *data, std::size_t size) {
    // raylib releases what LoadFileText returns with its own allocator (UnloadFileText).
    char *text = static_cast<char *>(MemAlloc(static_cast<unsigned int>(size + 1)));
    if (text == nullptr) return nullptr;
    std::memcpy(text, data, size);
    text[size] = '\0';
    return text;
}

char *serve_object(const char *file_name) {
    if (file_name != nullptr && served_path != nullptr && served_text != nullptr &&
        std::strcmp(file_name, served_path) == 0) {
        return copy_for_raylib(served_text->data(), served_text->size());
    }
    // Any other file asked for meanwhile (a material library) is read as it is.
    int size = 0;
    unsigned char *data = LoadFileData(file_name, &size);
    if (data == nullptr) return nullptr;
    char *text = copy_for_raylib(reinterpret_cast<const char *>(data), static_cast<std::size_t>(size));
    UnloadFileData(data);
    return text;
}

Model load_served(const char *path, const std::string &text) {
    served_path = path;
    served_text = &text;
    SetLoadFileTextCallback(serve_object);
    Model model = LoadModel(path);
    SetLoadFileTextCallback(nullptr);
    served_path = nullptr;
    served_text = nullptr;
    return model;
}

}  // namespace

std::vector<std::string> obj_object_texts(std::string_view obj) {
    const std::vector<std::string_view> lines = lines_of(obj);
    std::vector<std::size_t> starts;  // line index of each object's first line
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (starts_object(lines[i])) starts.push_back(i);
    }
    if (starts.empty()) return {std::string(obj)};

    std::vector<std::string> texts(starts.size());
    std::size_t object = 0;  // the object whose lines these are, once the first has begun
    for (std::size_t i = 0; i < lines.size(); ++i) {
        while (object + 1 < starts.size() && i >= starts[object + 1]) ++object;
        const bool before_objects = i < starts[0];
        for (std::size_t k = 0; k < texts.size(); ++k) {
            if (before_objects || k == object || shared_line(lines[i])) texts[k].append(lines[i]);
        }
    }
    return texts;
}

Model join_models(Model *parts, int count) {
    if (parts == nullptr || count <= 0) return Model{};
    int mesh_count = 0;
    for (int i = 0; i < count; ++i)
        mesh_count += parts[i].meshCount > 0 && parts[i].meshes != nullptr ? parts[i].meshCount : 0;

    Model joined = parts[0];  // its materials and transform
    joined.meshCount = mesh_count;
    const auto count_bytes = [mesh_count](std::size_t each) { return static_cast<unsigned int>(mesh_count * each); };
    joined.meshes = mesh_count > 0 ? static_cast<Mesh *>(MemAlloc(count_bytes(sizeof(Mesh)))) : nullptr;
    joined.meshMaterial = mesh_count > 0 ? static_cast<int *>(MemAlloc(count_bytes(sizeof(int)))) : nullptr;
    if (mesh_count > 0 && (joined.meshes == nullptr || joined.meshMaterial == nullptr)) {
        TraceLog(LOG_WARNING, "MODEL: out of memory while joining %d objects; the model is left empty", count);
        MemFree(joined.meshes);
        MemFree(joined.meshMaterial);
        for (int i = 0; i < count; ++i) UnloadModel(parts[i]);
        return Model{};
    }
    int at = 0;
    for (int i = 0; i < count; ++i) {
        Model &part = parts[i];
        if (part.meshCount > 0 && part.meshes != nullptr) {
            for (int m = 0; m < part.meshCount; ++m, ++at) {
                joined.meshes[at] = part.meshes[m];
                joined.meshMaterial[at] = part.meshMaterial != nullptr ? part.meshMaterial[m] : 0;
            }
        }
        MemFree(part.meshes);
        MemFree(part.meshMaterial);
        if (i > 0) {
            for (int m = 0; m < part.materialCount; ++m) UnloadMaterial(part.materials[m]);
            MemFree(part.materials);
        }
        part = Model{};
    }
    return joined;
}

Model load_model_by_object(const char *path) {
    int size = 0;
    unsigned char *data = path != nullptr ? LoadFileData(path, &size) : nullptr;
    if (data == nullptr) return LoadModel(path);  // its own warning and empty model
    std::vector<std::string> texts;
    try {
        texts =
            obj_object_texts(std::string_view(reinterpret_cast<const char *>(data), static_cast<std::size_t>(size)));
    } catch (...) {
        UnloadFileData(data);
        throw;
    }
    UnloadFileData(data);
    if (texts.size() <= 2) return LoadModel(path);

    std::vector<Model> parts;
    parts.reserve(texts.size());
    for (const std::string &text : texts) parts.push_back(load_served(path, text));
    return join_models(parts.data(), static_cast<int>(parts.size()));
}
