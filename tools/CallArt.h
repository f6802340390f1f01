#pragma once

typedef struct _cairo cairo_t;

// The built-in skin's call window: the keypad, the backspace and forward-page buttons, the
// four receive-quality lights and the low-balance warning. Buttons draw three frames stacked
// top to bottom (normal, hover, pressed), each height / 3 rows. The places
// app/resources/skin/CallFace.rc gives them fit this artwork.

// A keypad key (bitmaps 207-218) showing `label`.
void DrawKeypadKey(cairo_t* cr, int width, int height, const char* label);
// The backspace key (bitmap 203): an arrow with a cross.
void DrawBackspaceButton(cairo_t* cr, int width, int height);
// The forward-page button (bitmap 206): a round button with an arrow.
void DrawForwardButton(cairo_t* cr, int width, int height);
// A receive-quality light (bitmaps 230-233): a lit bar filling the picture.
void DrawQualityLight(cairo_t* cr, int width, int height);
// The low-balance warning (bitmap 234): an amber triangle with an exclamation mark.
void DrawBalanceWarning(cairo_t* cr, int width, int height);
