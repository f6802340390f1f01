#pragma once
#include <string>

// The program's texts by id: looked up in the current skin module's string table first, then in
// the program's own; an id missing from both gives "***" and the trace message
// "string no encontrado:<id>". GUI thread.

// Fills `buffer` (`size` bytes including the terminating NUL; the text is cut to fit) and
// returns the number of bytes written before the NUL.
int LoadStringById(int id, char* buffer, int size);

// The same look-up into a string; false when the id was missing (the text is then "***").
bool LoadCString(int id, std::string& text);
