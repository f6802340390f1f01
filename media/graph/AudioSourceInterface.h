#pragma once

namespace tamsor {

class AudioSample;
class AudioSink;

// What a sink pulls from: one operation storing the next sample (holding one reference for
// the caller) or null.
class AudioSourceInterface {
public:
    virtual ~AudioSourceInterface() = default;
    virtual int GiveNextAudioSample(AudioSample** out, AudioSink* to) = 0;
};

} // namespace tamsor
