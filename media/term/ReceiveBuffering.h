#pragma once
#include "media/rtp/RTPAudioSource.h"
#include "media/rtp/RTPAudioStream.h"
#include "media/term/CQRZMediaTerm.h"

namespace tamsor {

// The delay the receive chain's own rules hold between a G.711 packet's arrival and the
// speaker, term by term, for a peer that sends frames of `frameMs` while the speaker plays
// frames of `receiveFrameMs` (what the program gives SetReceiveCodec): the receive slots at
// their fill level (every slot but the one being played), the jitter buffer's target depth,
// the speaker's ring, and the frame the far end captures before it sends.
struct ReceiveBuffering {
    int slots = 0; // packets in the receive slots
    int slotsMs = 0;
    int jitterMs = 0;
    int speakerFrames = 0;
    int speakerMs = 0;
    int frameMs = 0;
    constexpr int TotalMs() const { return slotsMs + jitterMs + speakerMs + frameMs; }
};

namespace detail {
constexpr ReceiveBuffering Buffering(int frameMs, int receiveFrameMs, bool atStart) {
    const RTPAudioSource::Depths depths = RTPAudioSource::DepthsFor(12 + 8 * frameMs, 0);
    ReceiveBuffering b;
    b.slots = (atStart ? depths.initial : depths.minimum) - 1;
    b.slotsMs = b.slots * frameMs;
    b.jitterMs =
        atStart ? RTPAudioStream::kInitialRestartThresholdMs : RTPAudioStream::kThresholdFloorMs;
    b.speakerFrames = static_cast<int>(CQRZMediaTerm::kSpeakerFrames);
    b.speakerMs = b.speakerFrames * receiveFrameMs;
    b.frameMs = frameMs;
    return b;
}
} // namespace detail

// At the start of a call: the depth the first packet gives and the first target depth.
constexpr ReceiveBuffering BufferingAtStart(int frameMs, int receiveFrameMs) {
    return detail::Buffering(frameMs, receiveFrameMs, true);
}
// Once quiet periods have shrunk the depth to its minimum and the adaptation has taken the
// target to its floor.
constexpr ReceiveBuffering BufferingSteady(int frameMs, int receiveFrameMs) {
    return detail::Buffering(frameMs, receiveFrameMs, false);
}

} // namespace tamsor
