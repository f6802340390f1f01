#pragma once

typedef struct _cairo cairo_t;

// The built-in skin's settings panels of the call window: the skins panel (bitmap 901), the
// audio panel (500) and the menu (1001), with their buttons, sliders and scroll bars. Each
// function fills width x height; buttons, arrows and thumbs draw three frames stacked top to
// bottom (normal, hover, pressed), each height / 3 rows.
//
// The skins and audio panels hang in the left column and show a tab at their left edge; the
// menu hangs in the right column with its tab at its right edge. The places
// app/resources/skin/SettingsPanels.rc gives the controls fit this artwork: keep the two in
// step.

void DrawSkinsPanel(cairo_t* cr, int width, int height);
void DrawAudioPanel(cairo_t* cr, int width, int height);
void DrawMenuPanel(cairo_t* cr, int width, int height);
// The skins panel's buttons: install a skin file (909), use the selected skin (910).
void DrawInstallButton(cairo_t* cr, int width, int height);
void DrawUseSkinButton(cairo_t* cr, int width, int height);
// Scroll bar pieces: arrows pointing left, right, up and down, a thumb, and the tracks.
void DrawArrowLeft(cairo_t* cr, int width, int height);
void DrawArrowRight(cairo_t* cr, int width, int height);
void DrawArrowUp(cairo_t* cr, int width, int height);
void DrawArrowDown(cairo_t* cr, int width, int height);
void DrawScrollThumb(cairo_t* cr, int width, int height);
void DrawScrollTrack(cairo_t* cr, int width, int height);
// The thumb of the audio panel's sliders (504, 507, 510).
void DrawSliderThumb(cairo_t* cr, int width, int height);
