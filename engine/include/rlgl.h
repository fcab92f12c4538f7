// The rlgl layer: an immediate-mode style matrix stack and render batch over
// OpenGL 3.3 core, plus thin wrappers for GL objects (textures, framebuffers,
// vertex arrays, shaders). Names, parameters and constant values are rlgl's
// (raylib 5.0), so game code written against the real library builds here too.
#ifndef RLGL_H
#define RLGL_H

#include <stdbool.h>

#include "raylib.h"

#define RLGL_VERSION "4.5"

#ifndef RLAPI
#define RLAPI
#endif

// Limits of the render batch and the matrix stack.
#define RL_DEFAULT_BATCH_BUFFER_ELEMENTS 8192
#define RL_DEFAULT_BATCH_BUFFERS 1
#define RL_DEFAULT_BATCH_DRAWCALLS 256
#define RL_DEFAULT_BATCH_MAX_TEXTURE_UNITS 4
#define RL_MAX_MATRIX_STACK_SIZE 32
#define RL_MAX_SHADER_LOCATIONS 32
#define RL_CULL_DISTANCE_NEAR 0.01
#define RL_CULL_DISTANCE_FAR 1000.0

// Texture parameters (the GL values)
#define RL_TEXTURE_WRAP_S 0x2802
#define RL_TEXTURE_WRAP_T 0x2803
#define RL_TEXTURE_MAG_FILTER 0x2800
#define RL_TEXTURE_MIN_FILTER 0x2801
#define RL_TEXTURE_FILTER_NEAREST 0x2600
#define RL_TEXTURE_FILTER_LINEAR 0x2601
#define RL_TEXTURE_FILTER_MIP_NEAREST 0x2700
#define RL_TEXTURE_FILTER_NEAREST_MIP_LINEAR 0x2702
#define RL_TEXTURE_FILTER_LINEAR_MIP_NEAREST 0x2701
#define RL_TEXTURE_FILTER_MIP_LINEAR 0x2703
#define RL_TEXTURE_WRAP_REPEAT 0x2901
#define RL_TEXTURE_WRAP_CLAMP 0x812F
#define RL_TEXTURE_WRAP_MIRROR_REPEAT 0x8370
#define RL_TEXTURE_WRAP_MIRROR_CLAMP 0x8742

// Matrix modes
#define RL_MODELVIEW 0x1700
#define RL_PROJECTION 0x1701
#define RL_TEXTURE 0x1702

// Primitives
#define RL_LINES 0x0001
#define RL_TRIANGLES 0x0004
#define RL_QUADS 0x0007

// GL data types
#define RL_UNSIGNED_BYTE 0x1401
#define RL_FLOAT 0x1406

// Buffer usage
#define RL_STREAM_DRAW 0x88E0
#define RL_STATIC_DRAW 0x88E4
#define RL_DYNAMIC_DRAW 0x88E8

// Shader stages
#define RL_FRAGMENT_SHADER 0x8B30
#define RL_VERTEX_SHADER 0x8B31

// Attribute names and the locations they are bound to before linking.
#define RL_DEFAULT_SHADER_ATTRIB_NAME_POSITION "vertexPosition"
#define RL_DEFAULT_SHADER_ATTRIB_NAME_TEXCOORD "vertexTexCoord"
#define RL_DEFAULT_SHADER_ATTRIB_NAME_NORMAL "vertexNormal"
#define RL_DEFAULT_SHADER_ATTRIB_NAME_COLOR "vertexColor"
#define RL_DEFAULT_SHADER_ATTRIB_NAME_TANGENT "vertexTangent"
#define RL_DEFAULT_SHADER_ATTRIB_NAME_TEXCOORD2 "vertexTexCoord2"
#define RL_DEFAULT_SHADER_ATTRIB_LOCATION_POSITION 0
#define RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD 1
#define RL_DEFAULT_SHADER_ATTRIB_LOCATION_NORMAL 2
#define RL_DEFAULT_SHADER_ATTRIB_LOCATION_COLOR 3
#define RL_DEFAULT_SHADER_ATTRIB_LOCATION_TANGENT 4
#define RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD2 5

// Standard uniform names
#define RL_DEFAULT_SHADER_UNIFORM_NAME_MVP "mvp"
#define RL_DEFAULT_SHADER_UNIFORM_NAME_VIEW "matView"
#define RL_DEFAULT_SHADER_UNIFORM_NAME_PROJECTION "matProjection"
#define RL_DEFAULT_SHADER_UNIFORM_NAME_MODEL "matModel"
#define RL_DEFAULT_SHADER_UNIFORM_NAME_NORMAL "matNormal"
#define RL_DEFAULT_SHADER_UNIFORM_NAME_COLOR "colDiffuse"
#define RL_DEFAULT_SHADER_SAMPLER2D_NAME_TEXTURE0 "texture0"
#define RL_DEFAULT_SHADER_SAMPLER2D_NAME_TEXTURE1 "texture1"
#define RL_DEFAULT_SHADER_SAMPLER2D_NAME_TEXTURE2 "texture2"

typedef enum {
    RL_LOG_ALL = 0,
    RL_LOG_TRACE,
    RL_LOG_DEBUG,
    RL_LOG_INFO,
    RL_LOG_WARNING,
    RL_LOG_ERROR,
    RL_LOG_FATAL,
    RL_LOG_NONE
} rlTraceLogLevel;

typedef enum {
    RL_PIXELFORMAT_UNCOMPRESSED_GRAYSCALE = 1,
    RL_PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA,
    RL_PIXELFORMAT_UNCOMPRESSED_R5G6B5,
    RL_PIXELFORMAT_UNCOMPRESSED_R8G8B8,
    RL_PIXELFORMAT_UNCOMPRESSED_R5G5B5A1,
    RL_PIXELFORMAT_UNCOMPRESSED_R4G4B4A4,
    RL_PIXELFORMAT_UNCOMPRESSED_R8G8B8A8,
    RL_PIXELFORMAT_UNCOMPRESSED_R32,
    RL_PIXELFORMAT_UNCOMPRESSED_R32G32B32,
    RL_PIXELFORMAT_UNCOMPRESSED_R32G32B32A32
} rlPixelFormat;

typedef enum { RL_TEXTURE_FILTER_POINT = 0, RL_TEXTURE_FILTER_BILINEAR, RL_TEXTURE_FILTER_TRILINEAR } rlTextureFilter;

typedef enum {
    RL_BLEND_ALPHA = 0,
    RL_BLEND_ADDITIVE,
    RL_BLEND_MULTIPLIED,
    RL_BLEND_ADD_COLORS,
    RL_BLEND_SUBTRACT_COLORS,
    RL_BLEND_ALPHA_PREMULTIPLY,
    RL_BLEND_CUSTOM,
    RL_BLEND_CUSTOM_SEPARATE
} rlBlendMode;

typedef enum {
    RL_SHADER_LOC_VERTEX_POSITION = 0,
    RL_SHADER_LOC_VERTEX_TEXCOORD01,
    RL_SHADER_LOC_VERTEX_TEXCOORD02,
    RL_SHADER_LOC_VERTEX_NORMAL,
    RL_SHADER_LOC_VERTEX_TANGENT,
    RL_SHADER_LOC_VERTEX_COLOR,
    RL_SHADER_LOC_MATRIX_MVP,
    RL_SHADER_LOC_MATRIX_VIEW,
    RL_SHADER_LOC_MATRIX_PROJECTION,
    RL_SHADER_LOC_MATRIX_MODEL,
    RL_SHADER_LOC_MATRIX_NORMAL,
    RL_SHADER_LOC_VECTOR_VIEW,
    RL_SHADER_LOC_COLOR_DIFFUSE,
    RL_SHADER_LOC_COLOR_SPECULAR,
    RL_SHADER_LOC_COLOR_AMBIENT,
    RL_SHADER_LOC_MAP_ALBEDO,
    RL_SHADER_LOC_MAP_METALNESS,
    RL_SHADER_LOC_MAP_NORMAL,
    RL_SHADER_LOC_MAP_ROUGHNESS,
    RL_SHADER_LOC_MAP_OCCLUSION,
    RL_SHADER_LOC_MAP_EMISSION,
    RL_SHADER_LOC_MAP_HEIGHT,
    RL_SHADER_LOC_MAP_CUBEMAP,
    RL_SHADER_LOC_MAP_IRRADIANCE,
    RL_SHADER_LOC_MAP_PREFILTER,
    RL_SHADER_LOC_MAP_BRDF
} rlShaderLocationIndex;

typedef enum {
    RL_SHADER_UNIFORM_FLOAT = 0,
    RL_SHADER_UNIFORM_VEC2,
    RL_SHADER_UNIFORM_VEC3,
    RL_SHADER_UNIFORM_VEC4,
    RL_SHADER_UNIFORM_INT,
    RL_SHADER_UNIFORM_IVEC2,
    RL_SHADER_UNIFORM_IVEC3,
    RL_SHADER_UNIFORM_IVEC4,
    RL_SHADER_UNIFORM_SAMPLER2D
} rlShaderUniformDataType;

typedef enum {
    RL_SHADER_ATTRIB_FLOAT = 0,
    RL_SHADER_ATTRIB_VEC2,
    RL_SHADER_ATTRIB_VEC3,
    RL_SHADER_ATTRIB_VEC4
} rlShaderAttributeDataType;

typedef enum {
    RL_ATTACHMENT_COLOR_CHANNEL0 = 0,
    RL_ATTACHMENT_COLOR_CHANNEL1 = 1,
    RL_ATTACHMENT_COLOR_CHANNEL2 = 2,
    RL_ATTACHMENT_COLOR_CHANNEL3 = 3,
    RL_ATTACHMENT_COLOR_CHANNEL4 = 4,
    RL_ATTACHMENT_COLOR_CHANNEL5 = 5,
    RL_ATTACHMENT_COLOR_CHANNEL6 = 6,
    RL_ATTACHMENT_COLOR_CHANNEL7 = 7,
    RL_ATTACHMENT_DEPTH = 100,
    RL_ATTACHMENT_STENCIL = 200
} rlFramebufferAttachType;

typedef enum {
    RL_ATTACHMENT_CUBEMAP_POSITIVE_X = 0,
    RL_ATTACHMENT_CUBEMAP_NEGATIVE_X = 1,
    RL_ATTACHMENT_CUBEMAP_POSITIVE_Y = 2,
    RL_ATTACHMENT_CUBEMAP_NEGATIVE_Y = 3,
    RL_ATTACHMENT_CUBEMAP_POSITIVE_Z = 4,
    RL_ATTACHMENT_CUBEMAP_NEGATIVE_Z = 5,
    RL_ATTACHMENT_TEXTURE2D = 100,
    RL_ATTACHMENT_RENDERBUFFER = 200
} rlFramebufferAttachTextureType;

typedef enum { RL_CULL_FACE_FRONT = 0, RL_CULL_FACE_BACK } rlCullMode;

#if defined(__cplusplus)
extern "C" {
#endif

// ------------------------------------------------------------------ matrices
RLAPI void rlMatrixMode(int mode);
RLAPI void rlPushMatrix(void);
RLAPI void rlPopMatrix(void);
RLAPI void rlLoadIdentity(void);
RLAPI void rlTranslatef(float x, float y, float z);
RLAPI void rlRotatef(float angle, float x, float y, float z);
RLAPI void rlScalef(float x, float y, float z);
RLAPI void rlMultMatrixf(const float *matf);
RLAPI void rlFrustum(double left, double right, double bottom, double top, double znear, double zfar);
RLAPI void rlOrtho(double left, double right, double bottom, double top, double znear, double zfar);
RLAPI void rlViewport(int x, int y, int width, int height);

RLAPI Matrix rlGetMatrixModelview(void);
RLAPI Matrix rlGetMatrixProjection(void);
RLAPI Matrix rlGetMatrixTransform(void);
RLAPI void rlSetMatrixModelview(Matrix view);
RLAPI void rlSetMatrixProjection(Matrix proj);

// ------------------------------------------------------------------ immediate-mode vertices
RLAPI void rlBegin(int mode);
RLAPI void rlEnd(void);
RLAPI void rlVertex2i(int x, int y);
RLAPI void rlVertex2f(float x, float y);
RLAPI void rlVertex3f(float x, float y, float z);
RLAPI void rlTexCoord2f(float x, float y);
RLAPI void rlNormal3f(float x, float y, float z);
RLAPI void rlColor4ub(unsigned char r, unsigned char g, unsigned char b, unsigned char a);
RLAPI void rlColor3f(float x, float y, float z);
RLAPI void rlColor4f(float x, float y, float z, float w);

// ------------------------------------------------------------------ render batch
RLAPI void rlDrawRenderBatchActive(void);
RLAPI bool rlCheckRenderBatchLimit(int vCount);
RLAPI void rlSetTexture(unsigned int id);

// ------------------------------------------------------------------ state
RLAPI void rlActiveTextureSlot(int slot);
RLAPI void rlEnableTexture(unsigned int id);
RLAPI void rlDisableTexture(void);
RLAPI void rlTextureParameters(unsigned int id, int param, int value);
RLAPI void rlEnableShader(unsigned int id);
RLAPI void rlDisableShader(void);
RLAPI void rlEnableFramebuffer(unsigned int id);
RLAPI void rlDisableFramebuffer(void);
RLAPI void rlEnableColorBlend(void);
RLAPI void rlDisableColorBlend(void);
RLAPI void rlEnableDepthTest(void);
RLAPI void rlDisableDepthTest(void);
RLAPI void rlEnableDepthMask(void);
RLAPI void rlDisableDepthMask(void);
RLAPI void rlEnableBackfaceCulling(void);
RLAPI void rlDisableBackfaceCulling(void);
RLAPI void rlSetCullFace(int mode);
RLAPI void rlEnableScissorTest(void);
RLAPI void rlDisableScissorTest(void);
RLAPI void rlScissor(int x, int y, int width, int height);
RLAPI void rlClearColor(unsigned char r, unsigned char g, unsigned char b, unsigned char a);
RLAPI void rlClearScreenBuffers(void);
RLAPI void rlSetBlendMode(int mode);

RLAPI int rlGetFramebufferWidth(void);
RLAPI int rlGetFramebufferHeight(void);
RLAPI unsigned int rlGetTextureIdDefault(void);
RLAPI unsigned int rlGetShaderIdDefault(void);
RLAPI int *rlGetShaderLocsDefault(void);

// ------------------------------------------------------------------ vertex arrays and buffers
RLAPI unsigned int rlLoadVertexArray(void);
RLAPI unsigned int rlLoadVertexBuffer(const void *buffer, int size, bool dynamic);
RLAPI unsigned int rlLoadVertexBufferElement(const void *buffer, int size, bool dynamic);
RLAPI void rlUpdateVertexBuffer(unsigned int bufferId, const void *data, int dataSize, int offset);
RLAPI void rlUnloadVertexArray(unsigned int vaoId);
RLAPI void rlUnloadVertexBuffer(unsigned int vboId);
RLAPI void rlSetVertexAttribute(unsigned int index, int compSize, int type, bool normalized, int stride,
                                const void *pointer);
RLAPI void rlSetVertexAttributeDefault(int locIndex, const void *value, int attribType, int count);
RLAPI bool rlEnableVertexArray(unsigned int vaoId);
RLAPI void rlDisableVertexArray(void);
RLAPI void rlEnableVertexBuffer(unsigned int id);
RLAPI void rlDisableVertexBuffer(void);
RLAPI void rlEnableVertexBufferElement(unsigned int id);
RLAPI void rlDisableVertexBufferElement(void);
RLAPI void rlEnableVertexAttribute(unsigned int index);
RLAPI void rlDisableVertexAttribute(unsigned int index);
RLAPI void rlDrawVertexArray(int offset, int count);
RLAPI void rlDrawVertexArrayElements(int offset, int count, const void *buffer);

// ------------------------------------------------------------------ textures and framebuffers
RLAPI unsigned int rlLoadTexture(const void *data, int width, int height, int format, int mipmapCount);
RLAPI unsigned int rlLoadTextureDepth(int width, int height, bool useRenderBuffer);
RLAPI void rlUnloadTexture(unsigned int id);
RLAPI unsigned int rlLoadFramebuffer(int width, int height);
RLAPI void rlFramebufferAttach(unsigned int fboId, unsigned int texId, int attachType, int texType, int mipLevel);
RLAPI bool rlFramebufferComplete(unsigned int id);
RLAPI void rlUnloadFramebuffer(unsigned int id);

// Engine extension, not part of rlgl (game code uses it only when built on this
// engine): a layer is a framebuffer with colour and depth in the screen's own formats
// and sample count, so a frame part drawn on it once can be copied onto later frames
// sample for sample. rlUnloadFramebuffer releases it. rlCopyScreenLayer copies its
// colour over the whole screen (sizes must match; the scissor test does not apply).
// On GL ES, which cannot copy into a multisampled screen, the layer's samples are
// resolved into a texture of its own (only what was drawn since the last copy) and
// the window takes its resolved colours, the rest of that frame being drawn on the
// window. A layer of the screen's size draws with the screen's depth buffer: drawing
// on it leaves the screen's depth undefined where it drew (until the screen is cleared).
#define RL_ENGINE_SCREEN_LAYERS 1
RLAPI unsigned int rlLoadScreenLayer(int width, int height);
RLAPI void rlCopyScreenLayer(unsigned int id);
// Whether drawing is queued and not yet flushed. Early in a frame that is drawing done
// before BeginDrawing, which lands under the frame at the first flush, where a layer
// copied over the screen would cover it.
RLAPI bool rlScreenDrawingQueued(void);

// ------------------------------------------------------------------ shaders
RLAPI unsigned int rlLoadShaderCode(const char *vsCode, const char *fsCode);
RLAPI void rlUnloadShaderProgram(unsigned int id);
RLAPI int rlGetLocationUniform(unsigned int shaderId, const char *uniformName);
RLAPI int rlGetLocationAttrib(unsigned int shaderId, const char *attribName);
RLAPI void rlSetUniform(int locIndex, const void *value, int uniformType, int count);
RLAPI void rlSetUniformMatrix(int locIndex, Matrix mat);
RLAPI void rlSetUniformSampler(int locIndex, unsigned int textureId);
RLAPI void rlSetShader(unsigned int id, int *locs);

#if defined(__cplusplus)
}
#endif

#endif  // RLGL_H
