#pragma once
#include "media/base/WaveFormat.h"
#include "media/graph/AudioSink.h"
#include "media/graph/AudioSource.h"

namespace tamsor {

// A node that is a source and a sink at once: a push into its sink part is transformed and
// pushed on to its sinks; a pull from its source part pulls from its own sources and is
// transformed. It has no thread of its own: samples move in the thread of whoever pushes into
// it or pulls from it, and the sink part's audioSamples is used by that thread alone (a
// transformer is driven by one thread at a time).
//
// Threads: StartTransform / StopTransform on the owner's control thread; RenderAudioSamples
// and GenerateData on the driving thread; the locks are those of the two parts.
class AudioTransformer : public AudioSource, public AudioSink {
public:
    AudioTransformer() = default;
    ~AudioTransformer() override = default;

    int GenerateData(AudioSample** out) override;
    int RenderAudioSamples(AudioSampleList& samples) override;
    virtual int TransformStarted();
    virtual int TransformStopped();
    virtual int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) = 0;

    int StartTransform();
    int StopTransform();

protected:
    // A sample from the pool, owned by this transformer, set to `format`; null (and traced)
    // when the pool has none.
    AudioSample* NewOutputSample(const WaveFormat& format);
};

} // namespace tamsor
