#pragma once

typedef struct _cairo cairo_t;

// The built-in skin's login form and the signed-in face, the program's icon and the small
// window buttons. Each function fills width x height; the buttons draw three frames stacked
// top to bottom (normal, hover, pressed), each height / 3 rows.
//
// The places the skin's resource file gives the controls (app/resources/skin/LoginForm.rc and
// CallFace.rc) fit this artwork: keep the two in step.

// Login form background (bitmap 105): the body, the product name, the labels and the white
// boxes behind the user field (area 106) and the password field (area 107).
void DrawLoginFace(cairo_t* cr, int width, int height);
// The log-in button (bitmap 102): "Sign in" on a green pill.
void DrawSignInButton(cairo_t* cr, int width, int height);
// The small round window buttons: hide (a chevron), minimise (a bar), close (a cross).
void DrawHideButton(cairo_t* cr, int width, int height);
void DrawMinimiseButton(cairo_t* cr, int width, int height);
void DrawCloseButton(cairo_t* cr, int width, int height);
// The face of the call window (bitmap 229): the body, the user name strip (label 221), the
// display (caption 220, number 222, the quality lights and the warning) and room for the
// keypad and the talk, backspace and hang-up keys (tools/CallArt.h).
void DrawCallFace(cairo_t* cr, int width, int height);
// The talk (green) and hang-up (red) keys of the call face (bitmaps 205 and 204).
void DrawTalkButton(cairo_t* cr, int width, int height);
void DrawHangUpButton(cairo_t* cr, int width, int height);
// The program's icon (bitmap 1): a white handset on a green disc.
void DrawProgramIcon(cairo_t* cr, int width, int height);
