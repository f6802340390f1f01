#pragma once

namespace tamsor {

class AudioSample;
class AudioSource;

// What a source pushes into: one operation taking a sample (may be null) and the pushing
// source.
class AudioSinkInterface {
public:
    virtual ~AudioSinkInterface() = default;
    virtual int TakeNextAudioSample(AudioSample* sample, AudioSource* from) = 0;
};

} // namespace tamsor
