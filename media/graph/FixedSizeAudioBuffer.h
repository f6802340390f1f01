#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "media/base/WaveFormat.h"
#include "media/graph/AudioTransformer.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

// Re-cuts the stream it receives into samples of one fixed duration (outputMs, 20 ms by
// default). Pushed samples are cut and pushed on at once; a pull fills the buffer from the
// sources until one output sample is complete. While stopped, a pull yields a silence sample
// of outputMs.
//
// Threads: push (RenderAudioSamples) and pull (GenerateData) may come from different threads;
// SetOutputMs, TransformStarted and TransformStopped from the owner's thread. bufferLock guards
// audioBuffer, bufferStart, waveFormat, outputSize, microsecondsPerBlock and bytesPerBlock;
// outputMs and bRunning are atomic. pullSamples is used by the pulling thread alone.
class FixedSizeAudioBuffer : public AudioTransformer {
public:
    // The most an output sample can hold.
    static constexpr int kMaxOutputSize = 3200;

    FixedSizeAudioBuffer();
    ~FixedSizeAudioBuffer() override;

    int LoadTraceLevel() override;

    int SetOutputMs(int ms);
    // Appends the first sample of the list to the buffer (its data, or its silence as zero
    // bytes). Returns 0.
    int EnquePacket(AudioSampleList& samples);

    int RenderAudioSamples(AudioSampleList& samples) override;
    int GenerateData(AudioSample** out) override;
    int TransformStarted() override;
    int TransformStopped() override;
    int TransformAudioSamples(AudioSampleList& samples, AudioSample** out) override;

    // Bytes waiting in the buffer, and the current output size.
    int BufferedBytes();
    int GetOutputSize();

private:
    // Moves one output sample's worth from the buffer into a new pool sample, or gives null
    // when the buffer holds less. Call with bufferLock held.
    AudioSample* CutChunk();
    int BufferedLocked() const { return static_cast<int>(audioBuffer.size() - bufferStart); }

    std::atomic<int> outputMs{20};
    int outputSize = 1000;
    int microsecondsPerBlock = 1;
    int bytesPerBlock = 1;
    WaveFormat waveFormat;
    std::atomic<bool> bRunning{false};
    // First in, first out: bytes from bufferStart on are waiting; the front is dropped lazily.
    std::vector<uint8_t> audioBuffer;
    size_t bufferStart = 0;
    plat::CriticalSection bufferLock;
    AudioSampleList pullSamples;
};

} // namespace tamsor
