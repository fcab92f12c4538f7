// The subset of the raylib 5.0 API that vorbel uses, implemented by engine/ on SDL2,
// OpenGL 3.3 (epoxy), stb and tinyobjloader. Names, parameters, struct layouts of the
// fields the game touches, and enum values follow raylib 5.0 so that the game also
// builds against the real library.
#ifndef RAYLIB_H
#define RAYLIB_H

#include <stdarg.h>
#include <stdbool.h>

#define RAYLIB_VERSION_MAJOR 5
#define RAYLIB_VERSION_MINOR 0
#define RAYLIB_VERSION_PATCH 0
#define RAYLIB_VERSION "5.0"

#ifndef RLAPI
#define RLAPI
#endif

#ifndef PI
#define PI 3.14159265358979323846f
#endif
#ifndef DEG2RAD
#define DEG2RAD (PI / 180.0f)
#endif
#ifndef RAD2DEG
#define RAD2DEG (180.0f / PI)
#endif

#define CLITERAL(type) type

// Named colours (raylib's values)
#define LIGHTGRAY                                                                                                      \
    CLITERAL(Color) { 200, 200, 200, 255 }
#define GRAY                                                                                                           \
    CLITERAL(Color) { 130, 130, 130, 255 }
#define DARKGRAY                                                                                                       \
    CLITERAL(Color) { 80, 80, 80, 255 }
#define YELLOW                                                                                                         \
    CLITERAL(Color) { 253, 249, 0, 255 }
#define GOLD                                                                                                           \
    CLITERAL(Color) { 255, 203, 0, 255 }
#define ORANGE                                                                                                         \
    CLITERAL(Color) { 255, 161, 0, 255 }
#define PINK                                                                                                           \
    CLITERAL(Color) { 255, 109, 194, 255 }
#define RED                                                                                                            \
    CLITERAL(Color) { 230, 41, 55, 255 }
#define MAROON                                                                                                         \
    CLITERAL(Color) { 190, 33, 55, 255 }
#define GREEN                                                                                                          \
    CLITERAL(Color) { 0, 228, 48, 255 }
#define LIME                                                                                                           \
    CLITERAL(Color) { 0, 158, 47, 255 }
#define DARKGREEN                                                                                                      \
    CLITERAL(Color) { 0, 117, 44, 255 }
#define SKYBLUE                                                                                                        \
    CLITERAL(Color) { 102, 191, 255, 255 }
#define BLUE                                                                                                           \
    CLITERAL(Color) { 0, 121, 241, 255 }
#define DARKBLUE                                                                                                       \
    CLITERAL(Color) { 0, 82, 172, 255 }
#define PURPLE                                                                                                         \
    CLITERAL(Color) { 200, 122, 255, 255 }
#define VIOLET                                                                                                         \
    CLITERAL(Color) { 135, 60, 190, 255 }
#define DARKPURPLE                                                                                                     \
    CLITERAL(Color) { 112, 31, 126, 255 }
#define BEIGE                                                                                                          \
    CLITERAL(Color) { 211, 176, 131, 255 }
#define BROWN                                                                                                          \
    CLITERAL(Color) { 127, 106, 79, 255 }
#define DARKBROWN                                                                                                      \
    CLITERAL(Color) { 76, 63, 47, 255 }
#define WHITE                                                                                                          \
    CLITERAL(Color) { 255, 255, 255, 255 }
#define BLACK                                                                                                          \
    CLITERAL(Color) { 0, 0, 0, 255 }
#define BLANK                                                                                                          \
    CLITERAL(Color) { 0, 0, 0, 0 }
#define MAGENTA                                                                                                        \
    CLITERAL(Color) { 255, 0, 255, 255 }
#define RAYWHITE                                                                                                       \
    CLITERAL(Color) { 245, 245, 245, 255 }

// ------------------------------------------------------------------ structures
typedef struct Vector2 {
    float x;
    float y;
} Vector2;
typedef struct Vector3 {
    float x;
    float y;
    float z;
} Vector3;
typedef struct Vector4 {
    float x;
    float y;
    float z;
    float w;
} Vector4;
typedef Vector4 Quaternion;

// Column-major storage as OpenGL expects; m0, m4, m8, m12 is the first row.
typedef struct Matrix {
    float m0, m4, m8, m12;
    float m1, m5, m9, m13;
    float m2, m6, m10, m14;
    float m3, m7, m11, m15;
} Matrix;

typedef struct Color {
    unsigned char r;
    unsigned char g;
    unsigned char b;
    unsigned char a;
} Color;
typedef struct Rectangle {
    float x;
    float y;
    float width;
    float height;
} Rectangle;

typedef struct Image {
    void *data;
    int width;
    int height;
    int mipmaps;
    int format;
} Image;

typedef struct Texture {
    unsigned int id;
    int width;
    int height;
    int mipmaps;
    int format;
} Texture;
typedef Texture Texture2D;
typedef Texture TextureCubemap;

typedef struct RenderTexture {
    unsigned int id;
    Texture texture;
    Texture depth;
} RenderTexture;
typedef RenderTexture RenderTexture2D;

typedef struct NPatchInfo {
    Rectangle source;
    int left, top, right, bottom;
    int layout;
} NPatchInfo;

typedef struct GlyphInfo {
    int value;
    int offsetX;
    int offsetY;
    int advanceX;
    Image image;
} GlyphInfo;

typedef struct Font {
    int baseSize;
    int glyphCount;
    int glyphPadding;
    Texture2D texture;
    Rectangle *recs;
    GlyphInfo *glyphs;
} Font;

typedef struct Camera3D {
    Vector3 position;
    Vector3 target;
    Vector3 up;
    float fovy;
    int projection;
} Camera3D;
typedef Camera3D Camera;

typedef struct Mesh {
    int vertexCount;
    int triangleCount;

    float *vertices;
    float *texcoords;
    float *texcoords2;
    float *normals;
    float *tangents;
    unsigned char *colors;
    unsigned short *indices;

    float *animVertices;
    float *animNormals;
    unsigned char *boneIds;
    float *boneWeights;

    unsigned int vaoId;
    unsigned int *vboId;
} Mesh;

typedef struct Shader {
    unsigned int id;
    int *locs;
} Shader;

typedef struct MaterialMap {
    Texture2D texture;
    Color color;
    float value;
} MaterialMap;

typedef struct Material {
    Shader shader;
    MaterialMap *maps;
    float params[4];
} Material;

typedef struct Transform {
    Vector3 translation;
    Quaternion rotation;
    Vector3 scale;
} Transform;

typedef struct BoneInfo {
    char name[32];
    int parent;
} BoneInfo;

typedef struct Model {
    Matrix transform;

    int meshCount;
    int materialCount;
    Mesh *meshes;
    Material *materials;
    int *meshMaterial;

    int boneCount;
    BoneInfo *bones;
    Transform *bindPose;
} Model;

typedef struct Ray {
    Vector3 position;
    Vector3 direction;
} Ray;
typedef struct BoundingBox {
    Vector3 min;
    Vector3 max;
} BoundingBox;

typedef struct Wave {
    unsigned int frameCount;
    unsigned int sampleRate;
    unsigned int sampleSize;
    unsigned int channels;
    void *data;
} Wave;

typedef struct rAudioBuffer rAudioBuffer;
typedef struct rAudioProcessor rAudioProcessor;

typedef struct AudioStream {
    rAudioBuffer *buffer;
    rAudioProcessor *processor;
    unsigned int sampleRate;
    unsigned int sampleSize;
    unsigned int channels;
} AudioStream;

typedef struct Sound {
    AudioStream stream;
    unsigned int frameCount;
} Sound;

// A streamed track. Passed by value: stream.buffer is an opaque handle, so every
// copy refers to the same stream, and a copy kept after UnloadMusicStream is inert.
// Differences from raylib, on purpose: only WAV files; the whole file is decoded
// when it is loaded (a damaged file fails there, never in the middle of a match;
// the checks and limits are LoadWave's); and the stream queues half a second ahead
// at each UpdateMusicStream, so a software-rendered 20 fps frame does not starve it.
// As in raylib, a stream that is not updated runs dry and falls silent.
typedef struct Music {
    AudioStream stream;
    unsigned int frameCount;  // frames of the file, at stream.sampleRate
    bool looping;             // true after loading; read by every UpdateMusicStream
    int ctxType;              // 1: WAV
    void *ctxData;            // the same handle as stream.buffer
} Music;

// ------------------------------------------------------------------ enumerations
typedef enum {
    FLAG_VSYNC_HINT = 0x00000040,
    FLAG_FULLSCREEN_MODE = 0x00000002,
    FLAG_WINDOW_RESIZABLE = 0x00000004,
    FLAG_WINDOW_UNDECORATED = 0x00000008,
    FLAG_WINDOW_HIDDEN = 0x00000080,
    FLAG_WINDOW_MINIMIZED = 0x00000200,
    FLAG_WINDOW_MAXIMIZED = 0x00000400,
    FLAG_WINDOW_UNFOCUSED = 0x00000800,
    FLAG_WINDOW_TOPMOST = 0x00001000,
    FLAG_WINDOW_ALWAYS_RUN = 0x00000100,
    FLAG_WINDOW_TRANSPARENT = 0x00000010,
    FLAG_WINDOW_HIGHDPI = 0x00002000,
    FLAG_WINDOW_MOUSE_PASSTHROUGH = 0x00004000,
    FLAG_BORDERLESS_WINDOWED_MODE = 0x00008000,
    FLAG_MSAA_4X_HINT = 0x00000020,
    FLAG_INTERLACED_HINT = 0x00010000
} ConfigFlags;

typedef enum { LOG_ALL = 0, LOG_TRACE, LOG_DEBUG, LOG_INFO, LOG_WARNING, LOG_ERROR, LOG_FATAL, LOG_NONE } TraceLogLevel;

typedef enum {
    KEY_NULL = 0,
    KEY_APOSTROPHE = 39,
    KEY_COMMA = 44,
    KEY_MINUS = 45,
    KEY_PERIOD = 46,
    KEY_SLASH = 47,
    KEY_ZERO = 48,
    KEY_ONE = 49,
    KEY_TWO = 50,
    KEY_THREE = 51,
    KEY_FOUR = 52,
    KEY_FIVE = 53,
    KEY_SIX = 54,
    KEY_SEVEN = 55,
    KEY_EIGHT = 56,
    KEY_NINE = 57,
    KEY_SEMICOLON = 59,
    KEY_EQUAL = 61,
    KEY_A = 65,
    KEY_B = 66,
    KEY_C = 67,
    KEY_D = 68,
    KEY_E = 69,
    KEY_F = 70,
    KEY_G = 71,
    KEY_H = 72,
    KEY_I = 73,
    KEY_J = 74,
    KEY_K = 75,
    KEY_L = 76,
    KEY_M = 77,
    KEY_N = 78,
    KEY_O = 79,
    KEY_P = 80,
    KEY_Q = 81,
    KEY_R = 82,
    KEY_S = 83,
    KEY_T = 84,
    KEY_U = 85,
    KEY_V = 86,
    KEY_W = 87,
    KEY_X = 88,
    KEY_Y = 89,
    KEY_Z = 90,
    KEY_LEFT_BRACKET = 91,
    KEY_BACKSLASH = 92,
    KEY_RIGHT_BRACKET = 93,
    KEY_GRAVE = 96,
    KEY_SPACE = 32,
    KEY_ESCAPE = 256,
    KEY_ENTER = 257,
    KEY_TAB = 258,
    KEY_BACKSPACE = 259,
    KEY_INSERT = 260,
    KEY_DELETE = 261,
    KEY_RIGHT = 262,
    KEY_LEFT = 263,
    KEY_DOWN = 264,
    KEY_UP = 265,
    KEY_PAGE_UP = 266,
    KEY_PAGE_DOWN = 267,
    KEY_HOME = 268,
    KEY_END = 269,
    KEY_CAPS_LOCK = 280,
    KEY_SCROLL_LOCK = 281,
    KEY_NUM_LOCK = 282,
    KEY_PRINT_SCREEN = 283,
    KEY_PAUSE = 284,
    KEY_F1 = 290,
    KEY_F2 = 291,
    KEY_F3 = 292,
    KEY_F4 = 293,
    KEY_F5 = 294,
    KEY_F6 = 295,
    KEY_F7 = 296,
    KEY_F8 = 297,
    KEY_F9 = 298,
    KEY_F10 = 299,
    KEY_F11 = 300,
    KEY_F12 = 301,
    KEY_LEFT_SHIFT = 340,
    KEY_LEFT_CONTROL = 341,
    KEY_LEFT_ALT = 342,
    KEY_LEFT_SUPER = 343,
    KEY_RIGHT_SHIFT = 344,
    KEY_RIGHT_CONTROL = 345,
    KEY_RIGHT_ALT = 346,
    KEY_RIGHT_SUPER = 347,
    KEY_KB_MENU = 348
} KeyboardKey;

typedef enum {
    MOUSE_BUTTON_LEFT = 0,
    MOUSE_BUTTON_RIGHT = 1,
    MOUSE_BUTTON_MIDDLE = 2,
    MOUSE_BUTTON_SIDE = 3,
    MOUSE_BUTTON_EXTRA = 4,
    MOUSE_BUTTON_FORWARD = 5,
    MOUSE_BUTTON_BACK = 6
} MouseButton;

#define MOUSE_LEFT_BUTTON MOUSE_BUTTON_LEFT
#define MOUSE_RIGHT_BUTTON MOUSE_BUTTON_RIGHT
#define MOUSE_MIDDLE_BUTTON MOUSE_BUTTON_MIDDLE

typedef enum {
    GAMEPAD_BUTTON_UNKNOWN = 0,
    GAMEPAD_BUTTON_LEFT_FACE_UP,
    GAMEPAD_BUTTON_LEFT_FACE_RIGHT,
    GAMEPAD_BUTTON_LEFT_FACE_DOWN,
    GAMEPAD_BUTTON_LEFT_FACE_LEFT,
    GAMEPAD_BUTTON_RIGHT_FACE_UP,
    GAMEPAD_BUTTON_RIGHT_FACE_RIGHT,
    GAMEPAD_BUTTON_RIGHT_FACE_DOWN,
    GAMEPAD_BUTTON_RIGHT_FACE_LEFT,
    GAMEPAD_BUTTON_LEFT_TRIGGER_1,
    GAMEPAD_BUTTON_LEFT_TRIGGER_2,
    GAMEPAD_BUTTON_RIGHT_TRIGGER_1,
    GAMEPAD_BUTTON_RIGHT_TRIGGER_2,
    GAMEPAD_BUTTON_MIDDLE_LEFT,
    GAMEPAD_BUTTON_MIDDLE,
    GAMEPAD_BUTTON_MIDDLE_RIGHT,
    GAMEPAD_BUTTON_LEFT_THUMB,
    GAMEPAD_BUTTON_RIGHT_THUMB
} GamepadButton;

typedef enum {
    GAMEPAD_AXIS_LEFT_X = 0,
    GAMEPAD_AXIS_LEFT_Y = 1,
    GAMEPAD_AXIS_RIGHT_X = 2,
    GAMEPAD_AXIS_RIGHT_Y = 3,
    GAMEPAD_AXIS_LEFT_TRIGGER = 4,
    GAMEPAD_AXIS_RIGHT_TRIGGER = 5
} GamepadAxis;

typedef enum {
    MATERIAL_MAP_ALBEDO = 0,
    MATERIAL_MAP_METALNESS,
    MATERIAL_MAP_NORMAL,
    MATERIAL_MAP_ROUGHNESS,
    MATERIAL_MAP_OCCLUSION,
    MATERIAL_MAP_EMISSION,
    MATERIAL_MAP_HEIGHT,
    MATERIAL_MAP_CUBEMAP,
    MATERIAL_MAP_IRRADIANCE,
    MATERIAL_MAP_PREFILTER,
    MATERIAL_MAP_BRDF
} MaterialMapIndex;

#define MATERIAL_MAP_DIFFUSE MATERIAL_MAP_ALBEDO
#define MATERIAL_MAP_SPECULAR MATERIAL_MAP_METALNESS
#define MAX_MATERIAL_MAPS 12
#define MAX_SHADER_LOCATIONS 32

typedef enum {
    SHADER_LOC_VERTEX_POSITION = 0,
    SHADER_LOC_VERTEX_TEXCOORD01,
    SHADER_LOC_VERTEX_TEXCOORD02,
    SHADER_LOC_VERTEX_NORMAL,
    SHADER_LOC_VERTEX_TANGENT,
    SHADER_LOC_VERTEX_COLOR,
    SHADER_LOC_MATRIX_MVP,
    SHADER_LOC_MATRIX_VIEW,
    SHADER_LOC_MATRIX_PROJECTION,
    SHADER_LOC_MATRIX_MODEL,
    SHADER_LOC_MATRIX_NORMAL,
    SHADER_LOC_VECTOR_VIEW,
    SHADER_LOC_COLOR_DIFFUSE,
    SHADER_LOC_COLOR_SPECULAR,
    SHADER_LOC_COLOR_AMBIENT,
    SHADER_LOC_MAP_ALBEDO,
    SHADER_LOC_MAP_METALNESS,
    SHADER_LOC_MAP_NORMAL,
    SHADER_LOC_MAP_ROUGHNESS,
    SHADER_LOC_MAP_OCCLUSION,
    SHADER_LOC_MAP_EMISSION,
    SHADER_LOC_MAP_HEIGHT,
    SHADER_LOC_MAP_CUBEMAP,
    SHADER_LOC_MAP_IRRADIANCE,
    SHADER_LOC_MAP_PREFILTER,
    SHADER_LOC_MAP_BRDF
} ShaderLocationIndex;

#define SHADER_LOC_MAP_DIFFUSE SHADER_LOC_MAP_ALBEDO
#define SHADER_LOC_MAP_SPECULAR SHADER_LOC_MAP_METALNESS

typedef enum {
    SHADER_UNIFORM_FLOAT = 0,
    SHADER_UNIFORM_VEC2,
    SHADER_UNIFORM_VEC3,
    SHADER_UNIFORM_VEC4,
    SHADER_UNIFORM_INT,
    SHADER_UNIFORM_IVEC2,
    SHADER_UNIFORM_IVEC3,
    SHADER_UNIFORM_IVEC4,
    SHADER_UNIFORM_SAMPLER2D
} ShaderUniformDataType;

typedef enum {
    PIXELFORMAT_UNCOMPRESSED_GRAYSCALE = 1,
    PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA,
    PIXELFORMAT_UNCOMPRESSED_R5G6B5,
    PIXELFORMAT_UNCOMPRESSED_R8G8B8,
    PIXELFORMAT_UNCOMPRESSED_R5G5B5A1,
    PIXELFORMAT_UNCOMPRESSED_R4G4B4A4,
    PIXELFORMAT_UNCOMPRESSED_R8G8B8A8,
    PIXELFORMAT_UNCOMPRESSED_R32,
    PIXELFORMAT_UNCOMPRESSED_R32G32B32,
    PIXELFORMAT_UNCOMPRESSED_R32G32B32A32,
    PIXELFORMAT_UNCOMPRESSED_R16,
    PIXELFORMAT_UNCOMPRESSED_R16G16B16,
    PIXELFORMAT_UNCOMPRESSED_R16G16B16A16,
    PIXELFORMAT_COMPRESSED_DXT1_RGB,
    PIXELFORMAT_COMPRESSED_DXT1_RGBA,
    PIXELFORMAT_COMPRESSED_DXT3_RGBA,
    PIXELFORMAT_COMPRESSED_DXT5_RGBA,
    PIXELFORMAT_COMPRESSED_ETC1_RGB
} PixelFormat;

typedef enum { TEXTURE_FILTER_POINT = 0, TEXTURE_FILTER_BILINEAR, TEXTURE_FILTER_TRILINEAR } TextureFilter;

typedef enum {
    BLEND_ALPHA = 0,
    BLEND_ADDITIVE,
    BLEND_MULTIPLIED,
    BLEND_ADD_COLORS,
    BLEND_SUBTRACT_COLORS,
    BLEND_ALPHA_PREMULTIPLY,
    BLEND_CUSTOM,
    BLEND_CUSTOM_SEPARATE
} BlendMode;

typedef enum { CAMERA_PERSPECTIVE = 0, CAMERA_ORTHOGRAPHIC } CameraProjection;

#if defined(__cplusplus)
extern "C" {
#endif

// ------------------------------------------------------------------ window and timing
RLAPI void InitWindow(int width, int height, const char *title);
RLAPI void CloseWindow(void);
RLAPI bool WindowShouldClose(void);
RLAPI bool IsWindowReady(void);
RLAPI bool IsWindowFullscreen(void);
RLAPI void ToggleFullscreen(void);
RLAPI void SetWindowSize(int width, int height);
RLAPI void SetWindowTitle(const char *title);
RLAPI int GetScreenWidth(void);
RLAPI int GetScreenHeight(void);
RLAPI int GetRenderWidth(void);
RLAPI int GetRenderHeight(void);
RLAPI int GetMonitorCount(void);
RLAPI int GetCurrentMonitor(void);
RLAPI int GetMonitorWidth(int monitor);
RLAPI int GetMonitorHeight(int monitor);
RLAPI int GetMonitorRefreshRate(int monitor);
RLAPI Vector2 GetWindowScaleDPI(void);
RLAPI void SetConfigFlags(unsigned int flags);
RLAPI void SetExitKey(int key);

RLAPI void ClearBackground(Color color);
RLAPI void BeginDrawing(void);
RLAPI void EndDrawing(void);
RLAPI void BeginMode3D(Camera3D camera);
RLAPI void EndMode3D(void);
RLAPI void BeginTextureMode(RenderTexture2D target);
RLAPI void EndTextureMode(void);
RLAPI void BeginShaderMode(Shader shader);
RLAPI void EndShaderMode(void);
RLAPI void BeginBlendMode(int mode);
RLAPI void EndBlendMode(void);

RLAPI Shader LoadShader(const char *vsFileName, const char *fsFileName);
RLAPI Shader LoadShaderFromMemory(const char *vsCode, const char *fsCode);
RLAPI bool IsShaderReady(Shader shader);
RLAPI int GetShaderLocation(Shader shader, const char *uniformName);
RLAPI int GetShaderLocationAttrib(Shader shader, const char *attribName);
RLAPI void SetShaderValue(Shader shader, int locIndex, const void *value, int uniformType);
RLAPI void SetShaderValueV(Shader shader, int locIndex, const void *value, int uniformType, int count);
RLAPI void SetShaderValueMatrix(Shader shader, int locIndex, Matrix mat);
RLAPI void SetShaderValueTexture(Shader shader, int locIndex, Texture2D texture);
RLAPI void UnloadShader(Shader shader);

RLAPI void SetTargetFPS(int fps);
RLAPI float GetFrameTime(void);
RLAPI double GetTime(void);
RLAPI int GetFPS(void);

RLAPI void TakeScreenshot(const char *fileName);
RLAPI void TraceLog(int logLevel, const char *text, ...);
RLAPI void SetTraceLogLevel(int logLevel);

typedef char *(*LoadFileTextCallback)(const char *fileName);
RLAPI void *MemAlloc(unsigned int size);
RLAPI void MemFree(void *ptr);
RLAPI void SetLoadFileTextCallback(LoadFileTextCallback callback);
RLAPI unsigned char *LoadFileData(const char *fileName, int *dataSize);
RLAPI void UnloadFileData(unsigned char *data);
RLAPI char *LoadFileText(const char *fileName);
RLAPI void UnloadFileText(char *text);
RLAPI bool FileExists(const char *fileName);
RLAPI long GetFileModTime(const char *fileName);
RLAPI const char *GetDirectoryPath(const char *filePath);

// ------------------------------------------------------------------ input
RLAPI bool IsKeyPressed(int key);
RLAPI bool IsKeyPressedRepeat(int key);
RLAPI bool IsKeyDown(int key);
RLAPI bool IsKeyReleased(int key);
RLAPI bool IsKeyUp(int key);
RLAPI int GetKeyPressed(void);
RLAPI int GetCharPressed(void);

RLAPI bool IsGamepadAvailable(int gamepad);
RLAPI const char *GetGamepadName(int gamepad);
RLAPI bool IsGamepadButtonPressed(int gamepad, int button);
RLAPI bool IsGamepadButtonDown(int gamepad, int button);
RLAPI bool IsGamepadButtonReleased(int gamepad, int button);
RLAPI bool IsGamepadButtonUp(int gamepad, int button);
RLAPI int GetGamepadAxisCount(int gamepad);
RLAPI float GetGamepadAxisMovement(int gamepad, int axis);

RLAPI bool IsMouseButtonPressed(int button);
RLAPI bool IsMouseButtonDown(int button);
RLAPI bool IsMouseButtonReleased(int button);
RLAPI bool IsMouseButtonUp(int button);
RLAPI int GetMouseX(void);
RLAPI int GetMouseY(void);
RLAPI Vector2 GetMousePosition(void);

// ------------------------------------------------------------------ 2D shapes
RLAPI void DrawLine(int startPosX, int startPosY, int endPosX, int endPosY, Color color);
RLAPI void DrawRectangle(int posX, int posY, int width, int height, Color color);
RLAPI void DrawRectangleV(Vector2 position, Vector2 size, Color color);
RLAPI void DrawRectangleRec(Rectangle rec, Color color);
RLAPI void DrawRectangleLines(int posX, int posY, int width, int height, Color color);
RLAPI void DrawRectangleLinesEx(Rectangle rec, float lineThick, Color color);
RLAPI bool CheckCollisionPointRec(Vector2 point, Rectangle rec);

// ------------------------------------------------------------------ images and textures
RLAPI Image LoadImage(const char *fileName);
RLAPI Image LoadImageFromMemory(const char *fileType, const unsigned char *fileData, int dataSize);
RLAPI Image LoadImageFromTexture(Texture2D texture);
RLAPI Image LoadImageFromScreen(void);
RLAPI bool IsImageReady(Image image);
RLAPI void UnloadImage(Image image);
RLAPI bool ExportImage(Image image, const char *fileName);
RLAPI Image GenImageColor(int width, int height, Color color);
RLAPI Color GetImageColor(Image image, int x, int y);

RLAPI Texture2D LoadTexture(const char *fileName);
RLAPI Texture2D LoadTextureFromImage(Image image);
RLAPI RenderTexture2D LoadRenderTexture(int width, int height);
RLAPI bool IsTextureReady(Texture2D texture);
RLAPI void UnloadTexture(Texture2D texture);
RLAPI bool IsRenderTextureReady(RenderTexture2D target);
RLAPI void UnloadRenderTexture(RenderTexture2D target);
RLAPI void SetTextureFilter(Texture2D texture, int filter);
RLAPI void DrawTexture(Texture2D texture, int posX, int posY, Color tint);
RLAPI void DrawTextureRec(Texture2D texture, Rectangle source, Vector2 position, Color tint);
RLAPI void DrawTexturePro(Texture2D texture, Rectangle source, Rectangle dest, Vector2 origin, float rotation,
                          Color tint);

RLAPI Color Fade(Color color, float alpha);
RLAPI Color ColorAlpha(Color color, float alpha);
RLAPI int ColorToInt(Color color);
RLAPI Color GetColor(unsigned int hexValue);

// ------------------------------------------------------------------ text
RLAPI Font GetFontDefault(void);
RLAPI Font LoadFont(const char *fileName);
RLAPI Font LoadFontEx(const char *fileName, int fontSize, int *codepoints, int codepointCount);
RLAPI bool IsFontReady(Font font);
RLAPI void UnloadFont(Font font);
RLAPI void DrawFPS(int posX, int posY);
RLAPI void DrawText(const char *text, int posX, int posY, int fontSize, Color color);
RLAPI void DrawTextEx(Font font, const char *text, Vector2 position, float fontSize, float spacing, Color tint);
RLAPI int MeasureText(const char *text, int fontSize);
RLAPI Vector2 MeasureTextEx(Font font, const char *text, float fontSize, float spacing);
RLAPI int GetGlyphIndex(Font font, int codepoint);
RLAPI const char *TextFormat(const char *text, ...);
RLAPI int TextLength(const char *text);

// ------------------------------------------------------------------ 3D shapes, models, materials
RLAPI void DrawCube(Vector3 position, float width, float height, float length, Color color);
RLAPI void DrawBillboardPro(Camera camera, Texture2D texture, Rectangle source, Vector3 position, Vector3 up,
                            Vector2 size, Vector2 origin, float rotation, Color tint);

RLAPI Model LoadModel(const char *fileName);
RLAPI Model LoadModelFromMesh(Mesh mesh);
RLAPI bool IsModelReady(Model model);
RLAPI void UnloadModel(Model model);
RLAPI void DrawModel(Model model, Vector3 position, float scale, Color tint);
RLAPI void DrawModelEx(Model model, Vector3 position, Vector3 rotationAxis, float rotationAngle, Vector3 scale,
                       Color tint);

RLAPI void UploadMesh(Mesh *mesh, bool dynamic);
RLAPI void UnloadMesh(Mesh mesh);
RLAPI void DrawMesh(Mesh mesh, Material material, Matrix transform);
RLAPI Mesh GenMeshCube(float width, float height, float length);
RLAPI BoundingBox GetMeshBoundingBox(Mesh mesh);

RLAPI Material LoadMaterialDefault(void);
RLAPI bool IsMaterialReady(Material material);
RLAPI void UnloadMaterial(Material material);
RLAPI void SetMaterialTexture(Material *material, int mapType, Texture2D texture);

// ------------------------------------------------------------------ audio
RLAPI void InitAudioDevice(void);
RLAPI void CloseAudioDevice(void);
RLAPI bool IsAudioDeviceReady(void);
RLAPI void SetMasterVolume(float volume);

RLAPI Wave LoadWave(const char *fileName);
RLAPI bool IsWaveReady(Wave wave);
RLAPI Sound LoadSound(const char *fileName);
RLAPI Sound LoadSoundFromWave(Wave wave);
RLAPI bool IsSoundReady(Sound sound);
RLAPI void UnloadWave(Wave wave);
RLAPI void UnloadSound(Sound sound);
RLAPI void PlaySound(Sound sound);
RLAPI void StopSound(Sound sound);
RLAPI void PauseSound(Sound sound);
RLAPI void ResumeSound(Sound sound);
RLAPI bool IsSoundPlaying(Sound sound);
RLAPI void SetSoundVolume(Sound sound, float volume);
RLAPI void SetSoundPitch(Sound sound, float pitch);
RLAPI void SetSoundPan(Sound sound, float pan);

RLAPI Music LoadMusicStream(const char *fileName);
RLAPI bool IsMusicReady(Music music);
RLAPI void UnloadMusicStream(Music music);
RLAPI void PlayMusicStream(Music music);
RLAPI bool IsMusicStreamPlaying(Music music);
RLAPI void UpdateMusicStream(Music music);
RLAPI void StopMusicStream(Music music);
RLAPI void PauseMusicStream(Music music);
RLAPI void ResumeMusicStream(Music music);
RLAPI void SeekMusicStream(Music music, float position);
RLAPI void SetMusicVolume(Music music, float volume);
RLAPI float GetMusicTimeLength(Music music);
RLAPI float GetMusicTimePlayed(Music music);

#if defined(__cplusplus)
}
#endif

#endif  // RAYLIB_H
