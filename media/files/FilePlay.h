#pragma once
#include <cstdint>
#include <memory>

#include "media/base/TraceComponent.h"
#include "media/base/WaveFormat.h"
#include "media/dsp/PCMVolumeTransformer.h"
#include "media/files/ACMTransformer.h"
#include "media/files/WaveFileSource.h"
#include "media/files/WaveFileSourceListener.h"
#include "platform/core/AutoResetEvent.h"
#include "platform/core/CriticalSection.h"

namespace tamsor {

class AudioSink;

// Plays one wave file into a sink of the graph through a chain of its own: wave-file source ->
// format converter -> volume transformer -> the sink. The source's thread only pushes into the
// converter's queue; the sink's own thread pulls converted frames from it, so nothing of the
// play runs on the sink's chain except through that pull.
//
// A play that does not loop ends by itself after its last frame: the source's thread ends,
// the chain is torn down on that thread once the consumer has taken the queued audio, the
// end is reported through the end-of-file notifier, and the play is STATE_STOPPED, ready to be
// purged. A looping play runs until StopImmediately.
//
// Threads:
// - the owner's thread (the media object's, under its locks): construction, LoadFile,
//   PlayInLoop, SetVolume, SetDestinationFormat, Start, StopImmediately, destruction;
//   FilePlayStarted arrives on it from inside Start.
// - the source's thread: FilePlayStopped and Cleanup as that thread ends.
// stateMutex guards currentState only and is never held while a component is started,
// stopped, disconnected, or while waiting; stateChangedEvent is signalled on every change.
// STATE_STOPPING lets exactly one of Cleanup and CleanupImmediately tear the chain down.
class FilePlay : public WaveFileSourceListener, public TraceComponent {
public:
    enum State { STATE_STOPPED = 0, STATE_STARTING = 1, STATE_RUNNING = 2, STATE_STOPPING = 3 };

    FilePlay(AudioSink* sink, int frameLengthMs, bool transmitMark);
    // Uses the given source in place of a new one (tests hand in one whose thread fails).
    FilePlay(AudioSink* sink, int frameLengthMs, bool transmitMark,
             std::unique_ptr<WaveFileSource> source);
    ~FilePlay() override;
    FilePlay(const FilePlay&) = delete;
    FilePlay& operator=(const FilePlay&) = delete;

    int LoadTraceLevel() override;

    void Connect(AudioSink* sink);
    void Disconnect();
    int LoadFile(const char* path);
    int PlayInLoop();
    int SetVolume(int volume);
    int SetDestinationFormat(const WaveFormat& format);

    // 0; -35 no format (no file loaded), -40 the converter refuses the file's format, -50 the
    // volume transformer or -60 the converter did not start, -70 the source's thread did not
    // start (the play is back in STATE_STOPPED in each case); -10 a concurrent start ended
    // stopped, -20 the play is stopping, -30 an unknown state.
    int Start();
    // 0, or -10 while the play is starting.
    int StopImmediately();

    bool IsRunning();
    int GetState();
    int32_t GetPlayId() const { return playId; }
    bool GetTransmitMark() const { return transmitMark; }

    void FilePlayStarted(WaveFileSource* source, const char* fileName) override;
    void FilePlayStopped(WaveFileSource* source, const char* fileName) override;

    // The ids handed out so far (the id of the newest play).
    static int32_t LastPlayId();

    WaveFileSource* GetWaveFileSource() { return waveFileSource.get(); }
    ACMTransformer* GetACMTransformer() { return acmTransformer.get(); }
    PCMVolumeTransformer* GetPCMVolumeTransformer() { return pcmVolumeTransformer.get(); }

private:
    void Cleanup();
    void CleanupImmediately();
    void SetState(int state);
    // Waits until the state differs from `from`; call without stateMutex.
    int WaitWhileState(int from);

    std::unique_ptr<WaveFileSource> waveFileSource;
    std::unique_ptr<ACMTransformer> acmTransformer;
    std::unique_ptr<PCMVolumeTransformer> pcmVolumeTransformer;
    AudioSink* audioSink = nullptr;
    int32_t playId = 0;
    bool transmitMark = false;
    plat::CriticalSection stateMutex;
    plat::AutoResetEvent stateChangedEvent;
    int currentState = STATE_STOPPED;
};

} // namespace tamsor
