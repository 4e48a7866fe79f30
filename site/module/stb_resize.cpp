// stb_image_resize's code, which the native build links from the system's
// libstb: compiled here from the same header for the module.
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include "stb_image_resize.h"
