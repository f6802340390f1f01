#include "media/term/EngineStatistics.h"

#include <cinttypes>
#include <cstdio>

#include "media/api/TraceMessage.h"
#include "media/devices/WaveAudioSink.h"
#include "media/devices/WaveAudioSource.h"
#include "media/rtp/RTPAudioSink.h"
#include "media/rtp/RTPAudioSource.h"

namespace tamsor {

namespace EngineStatistics {

void Reset() {
    RTPAudioSink::ResetBytesSent();
    WaveAudioSink::ResetBytesPlayed();
    WaveAudioSource::ResetBytesCaptured();
    RTPAudioSource::ResetForeignDatagrams();
}

uint64_t BytesReceived() {
    return 0;
}
uint64_t BytesSent() {
    return RTPAudioSink::GetBytesSent();
}
uint64_t BytesPlayed() {
    return WaveAudioSink::GetBytesPlayed();
}
uint64_t BytesCaptured() {
    return WaveAudioSource::GetBytesCaptured();
}
uint64_t ForeignDatagrams() {
    return RTPAudioSource::GetForeignDatagrams();
}
uint64_t G729Decompressed() {
    return 0;
}
uint64_t G729Compressed() {
    return 0;
}

void WriteClosingBlock(iTraceFile* log) {
    if (!log) {
        return;
    }
    auto line = [log](const char* text, uint64_t count) {
        char number[24];
        std::snprintf(number, sizeof(number), "%" PRIu64, count);
        log->Write(text);
        log->Write(number);
        log->NewLine();
    };
    TraceLogLock lock(log);
    log->Write("*** estadisticas RTP ***");
    log->WriteTime();
    log->NewLine();
    line("RTP recvfrom:", BytesReceived());
    line("RTP sendto:", BytesSent());
    line("RTP WaveOut:", BytesPlayed());
    line("RTP WaveIn:", BytesCaptured());
    log->NewLine();
    line("RTP G729 Decomp:", G729Decompressed());
    log->NewLine();
    line("RTP G729 Comp:", G729Compressed());
    log->NewLine();
    // Not one of the ten lines readers of the block know: on a line of its own after them.
    line("RTP ajenos:", ForeignDatagrams());
}

} // namespace EngineStatistics

} // namespace tamsor
