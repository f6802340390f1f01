#pragma once

namespace sipua {

// The adapter writes its own diagnostic lines through one process-wide sink, so the program
// can send them to its trace log. No sink (the default) drops them.
//
// Threads: set the sink before the first stack is built; the adapter calls it on the thread
// that polls the stack.
using TraceSink = void (*)(const char* text);

void SetTraceSink(TraceSink sink);
void Trace(const char* text);

} // namespace sipua
