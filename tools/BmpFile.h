#pragma once
#include <string>

typedef struct _cairo_surface cairo_surface_t;

// Writes a cairo ARGB32 image surface as a 32-bit BMP: a 14-byte file header, a 40-byte
// BITMAPINFOHEADER (BI_RGB, positive height), rows bottom-up, pixels blue, green, red, alpha
// with straight (not premultiplied) alpha. The file is written under a temporary name and
// renamed, so a failed run leaves no partial file. False on any failure.
bool WriteBmp32(cairo_surface_t* surface, const std::string& path);
