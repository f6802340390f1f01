#pragma once
#include <cstdint>

class iTraceFile;

namespace tamsor {

// The library-wide byte counters reported when a media object is released. Each lives with the
// component that counts it; this gathers them into the one set the closing block shows.
namespace EngineStatistics {

// Sets every counter to 0 (at GetRTPInterface and at every receive start).
void Reset();

uint64_t BytesReceived(); // never counted in this system: the receiver reads one socket
uint64_t BytesSent();
uint64_t BytesPlayed();
uint64_t BytesCaptured();
uint64_t ForeignDatagrams(); // RTP datagrams dropped for coming from another source than the peer
uint64_t G729Decompressed(); // no G.729 codec exists: always 0
uint64_t G729Compressed();

// Writes the closing block as one message: its ten lines, then the count of datagrams from
// other sources on a line of its own. Nothing for a null log.
void WriteClosingBlock(iTraceFile* log);

} // namespace EngineStatistics

} // namespace tamsor
