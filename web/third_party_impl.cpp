// The header-only libraries' implementations for the browser build (on the desktop
// they come compiled in Debian's libstb and libtinyobjloader).
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#define STB_RECT_PACK_IMPLEMENTATION
#include <stb_rect_pack.h>
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
