// Model files loaded one object at a time, for raylib 5.0 (see platform/raylib_bridge.h).
//
// raylib 5.0's OBJ loader makes one mesh per object, all on material 0, and counts the
// triangles of every mesh but the first and the last wrongly: it reads past its face
// array and crashes on the game's files, which hold one object per material. A file
// of one object it loads right. So each object is served to LoadModel as a file of its
// own (through raylib's LoadFileText callback, the file on disk untouched) and the
// meshes are put together in the file's order, on the materials of the first load.
// The game's usual pairing of mesh i with material i (map_meshes_to_materials) then
// gives each its colour, as on the other releases.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "raylib.h"

// The text of each object of an OBJ file as a file of its own, in the file's order:
// every line outside the objects' own (mtllib, and v, vt, vn and vp lines wherever
// they stand, so that face indices keep their meaning) plus the object's lines, from
// its "o" or "g" line up to the next. A file without such lines is one object.
std::vector<std::string> obj_object_texts(std::string_view obj);

// One model of the parts' meshes in order, on the first part's materials, each mesh
// keeping its own material index. The parts are used up: the meshes move into the
// result, the other parts' materials and arrays are released.
Model join_models(Model *parts, int count);

// LoadModel of `path`, one object at a time when it holds more than two objects (up to
// two, raylib 5.0 loads it right as it is).
Model load_model_by_object(const char *path);
