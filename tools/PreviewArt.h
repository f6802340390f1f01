#pragma once

typedef struct _cairo cairo_t;

// The built-in skin's preview picture (shown by the skin browser): a small phone face on a
// transparent background, drawn to fill width x height.
void DrawPreview(cairo_t* cr, int width, int height);
