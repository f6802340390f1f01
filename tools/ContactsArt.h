#pragma once

typedef struct _cairo cairo_t;

// The built-in skin's call-history and contacts panels: their backgrounds and buttons (their
// lists' scroll bars are the other panels', tools/PanelArt.h). Buttons draw three frames stacked
// top to bottom (normal, hover, pressed), each height / 3 rows. The places
// app/resources/skin/ContactsPanels.rc gives them fit this artwork.

// A panel background (bitmaps 401 and 601): a light body with the list's frame on the left,
// clear of the strip that lies under the call face, and, along its right edge, the tab that
// shows while the panel is closed, titled "History" or "Contacts" as the other panels' tabs
// are.
void DrawHistoryPanel(cairo_t* cr, int width, int height);
void DrawContactsPanel(cairo_t* cr, int width, int height);
// The panels' text buttons: the three history lists (413-415) and the contact commands
// (613-615).
void DrawMissedButton(cairo_t* cr, int width, int height);
void DrawReceivedButton(cairo_t* cr, int width, int height);
void DrawDialedButton(cairo_t* cr, int width, int height);
void DrawNewContactButton(cairo_t* cr, int width, int height);
void DrawEditContactButton(cairo_t* cr, int width, int height);
void DrawDeleteContactButton(cairo_t* cr, int width, int height);
// The erase button of the history panel (416): a cross.
void DrawEraseButton(cairo_t* cr, int width, int height);
