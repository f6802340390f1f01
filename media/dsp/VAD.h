#pragma once
#include <atomic>

#include "media/dsp/VoiceActivityDetector.h"
#include "media/graph/AudioTransformer.h"

namespace tamsor {

// Voice activity detection in the transmit chain: a speech frame passes unchanged, a silent
// frame becomes a silence sample (no data, the frame's duration as silence). 16-bit PCM at
// 8000 values per second.
//
// Threads: Enable and TransformStarted on the owner's thread; the transform on the thread that
// drives the transmit chain. The detector state is library-wide and unlocked (one transmit chain
// at a time); the enabled flag is atomic.
class VAD : public AudioTransformer {
public:
    VAD();
    ~VAD() override;

    int LoadTraceLevel() override;

    int Enable();
    int TransformStarted() override;
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;

private:
    VoiceActivityDetector detector;
    std::atomic<bool> enabled{true};
};

} // namespace tamsor
