#include "media/files/FilePlay.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "media/files/EndOfFileNotifier.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/graph/AudioSink.h"
#include "platform/audio/testing/WavFixture.h"
#include "tests/support/RegistrySandbox.h"

using namespace tamsor;

using namespace wavtest;

namespace {

// Stands in for the transmit mixer: its own thread pulls one frame from each source every
// couple of milliseconds and records the bytes.
class RecordingSink : public AudioSink {
public:
    ~RecordingSink() override { StopSinkThread(); }
    int RenderAudioSamples(AudioSampleList& samples) override {
        {
            std::lock_guard<std::mutex> guard(lock);
            renderThreads.insert(std::this_thread::get_id());
            for (auto& entry : samples) {
                AudioSample* s = entry.first;
                bytes.insert(bytes.end(), s->GetData(), s->GetData() + s->GetDataSize());
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return 0;
    }
    std::vector<uint8_t> Bytes() {
        std::lock_guard<std::mutex> guard(lock);
        return bytes;
    }
    // The threads that rendered: the sink's own only, never a file's.
    size_t RenderThreadCount() {
        std::lock_guard<std::mutex> guard(lock);
        return renderThreads.size();
    }
    size_t SourceCount() {
        std::lock_guard<plat::CriticalSection> guard(audioSourcesMutex);
        return audioSources.size();
    }

private:
    std::mutex lock;
    std::vector<uint8_t> bytes;
    std::set<std::thread::id> renderThreads;
};

class CountingTarget : public EndOfFileTarget {
public:
    void FireEndOfFileTX(int32_t id) override { Record(id, true); }
    void FireEndOfFileRX(int32_t id) override { Record(id, false); }
    std::atomic<int> tx{0}, rx{0};
    std::atomic<int32_t> lastId{0};
    std::thread::id lastThread;

private:
    void Record(int32_t id, bool transmit) {
        std::lock_guard<std::mutex> guard(lock);
        (transmit ? tx : rx)++;
        lastId = id;
        lastThread = std::this_thread::get_id();
    }
    std::mutex lock;
};

class FailingSource : public WaveFileSource {
public:
    int StartSourceThread() override { return -20; }
};

int ThreadCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) {
            n += e->d_name[0] != '.';
        }
        closedir(d);
    }
    return n;
}

template <typename F> bool WaitFor(F condition, int ms = 3000) {
    for (int i = 0; i < ms / 2; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

class FilePlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        AudioSampleManager::Init();
        EndOfFileNotifier::Initialise(&target);
    }
    void TearDown() override {
        sink.StopSinkThread();
        EndOfFileNotifier::Shutdown();
        AudioSampleManager::Shutdown();
    }
    std::unique_ptr<FilePlay> MakePlay(const std::vector<uint8_t>& wav, bool loop = false) {
        auto play = std::make_unique<FilePlay>(&sink, 20, true);
        EXPECT_EQ(0,
                  play->LoadFile(dir.Write("p" + std::to_string(++files) + ".wav", wav).c_str()));
        if (loop) {
            play->PlayInLoop();
        }
        play->SetVolume(100);
        play->SetDestinationFormat(MakeWaveFormat(FORMAT_PCM16));
        return play;
    }

    RegistrySandbox registry;
    TempDir dir;
    RecordingSink sink;
    CountingTarget target;
    int files = 0;
};

TEST_F(FilePlayTest, OneShotPlayEndsByItselfAfterTheConsumerTookItsAudio) {
    std::vector<uint8_t> pcm = Sine16(400, 8000, 800, 9000); // 100 ms, five frames
    auto play = MakePlay(Wav(FmtBlock(1, 1, 8000, 16), pcm));
    ASSERT_EQ(0, sink.StartSinkThread());
    EXPECT_EQ(FilePlay::STATE_STOPPED, play->GetState());
    ASSERT_EQ(0, play->Start());
    EXPECT_NE(FilePlay::STATE_STOPPED, play->GetState());
    EXPECT_EQ(0, play->Start()); // running (or already ending): a second start changes nothing
    ASSERT_TRUE(WaitFor([&] { return !play->IsRunning(); }));
    EXPECT_EQ(pcm, sink.Bytes());
    EXPECT_EQ(1u, sink.RenderThreadCount());
    EXPECT_EQ(0u, sink.SourceCount()); // the play left the sink
    ASSERT_TRUE(WaitFor([] { return EndOfFileNotifier::PendingCount() == 0; }));
    ASSERT_TRUE(WaitFor([&] { return target.tx.load() == 1; }));
    EXPECT_EQ(0, target.rx.load());
    EXPECT_EQ(play->GetPlayId(), target.lastId.load());
    EXPECT_NE(std::this_thread::get_id(), target.lastThread);
    EXPECT_EQ(-35, play->Start()); // the file was closed with its thread
    EXPECT_EQ(0, play->StopImmediately());
}

TEST_F(FilePlayTest, StopImmediatelyEndsALoopOnTheCallersThread) {
    auto play = MakePlay(Wav(FmtBlock(1, 1, 11025, 16), Sine16(700, 11025, 400, 9000)), true);
    ASSERT_EQ(0, sink.StartSinkThread());
    ASSERT_EQ(0, play->Start());
    EXPECT_EQ(FilePlay::STATE_RUNNING, play->GetState());
    ASSERT_TRUE(WaitFor([&] { return sink.Bytes().size() >= 3200; }));
    EXPECT_EQ(0, play->StopImmediately());
    EXPECT_EQ(FilePlay::STATE_STOPPED, play->GetState());
    EXPECT_EQ(1, target.tx.load());
    EXPECT_EQ(std::this_thread::get_id(), target.lastThread);
    EXPECT_EQ(0, EndOfFileNotifier::PendingCount());
    EXPECT_EQ(0u, sink.SourceCount());
    EXPECT_EQ(1u, sink.RenderThreadCount());
    EXPECT_FALSE(play->GetWaveFileSource()->IsSourceThreadRunning());
    EXPECT_FALSE(play->GetACMTransformer()->IsRunning());
    EXPECT_EQ(0, play->StopImmediately());
    EXPECT_EQ(1, target.tx.load());
}

TEST_F(FilePlayTest, FailedStartsReturnToStopped) {
    FilePlay noFile(&sink, 20, true);
    EXPECT_EQ(-35, noFile.Start());
    EXPECT_FALSE(noFile.IsRunning());

    // Three channels: the source reads it, the converter refuses it.
    auto threeChannels = MakePlay(Wav(FmtBlock(1, 3, 8000, 16), Pattern(960)));
    EXPECT_EQ(-40, threeChannels->Start());
    EXPECT_EQ(FilePlay::STATE_STOPPED, threeChannels->GetState());

    // An output the converter cannot produce.
    auto badOutput = MakePlay(Wav(FmtBlock(1, 1, 8000, 16), Pattern(960)));
    WaveFormat stereo = MakeWaveFormat(FORMAT_PCM16);
    stereo.nChannels = 2;
    badOutput->SetDestinationFormat(stereo);
    EXPECT_EQ(-60, badOutput->Start());
    EXPECT_FALSE(badOutput->IsRunning());

    // The source's thread does not start: the play does not stay starting.
    FilePlay failing(&sink, 20, true, std::make_unique<FailingSource>());
    ASSERT_EQ(0, failing.LoadFile(
                     dir.Write("f.wav", Wav(FmtBlock(1, 1, 8000, 16), Pattern(960))).c_str()));
    EXPECT_EQ(-70, failing.Start());
    EXPECT_EQ(FilePlay::STATE_STOPPED, failing.GetState());
    EXPECT_FALSE(failing.GetACMTransformer()->IsRunning());
    EXPECT_EQ(0, failing.StopImmediately());
    EXPECT_EQ(0, target.tx.load() + target.rx.load());
}

TEST_F(FilePlayTest, IdsCountUpAndVolumeIsClamped) {
    FilePlay a(&sink, 20, true);
    FilePlay b(nullptr, 20, false);
    EXPECT_EQ(a.GetPlayId() + 1, b.GetPlayId());
    EXPECT_EQ(b.GetPlayId(), FilePlay::LastPlayId());
    EXPECT_TRUE(a.GetTransmitMark());
    EXPECT_FALSE(b.GetTransmitMark());
    a.SetVolume(150);
    EXPECT_EQ(100, a.GetPCMVolumeTransformer()->GetVolume());
    a.SetVolume(-5);
    EXPECT_EQ(0, a.GetPCMVolumeTransformer()->GetVolume());
    EXPECT_EQ(1u, sink.SourceCount());
    a.Disconnect();
    EXPECT_EQ(0u, sink.SourceCount());
}

TEST_F(FilePlayTest, StopWhileTheNaturalEndIsCleanedUpWaitsForIt) {
    // Nobody pulls, so the natural end waits in the converter's drain (STATE_STOPPING); the
    // stop empties the queue and waits until the chain is down.
    auto play = MakePlay(Wav(FmtBlock(1, 1, 8000, 16), Pattern(1600)));
    ASSERT_EQ(0, play->Start());
    ASSERT_TRUE(WaitFor([&] { return play->GetState() == FilePlay::STATE_STOPPING; }));
    EXPECT_EQ(-20, play->Start());
    EXPECT_EQ(0, play->StopImmediately());
    EXPECT_EQ(FilePlay::STATE_STOPPED, play->GetState());
    EXPECT_EQ(0, play->StopImmediately());
    ASSERT_TRUE(WaitFor([] { return EndOfFileNotifier::PendingCount() == 0; }));
    ASSERT_TRUE(WaitFor([&] { return target.tx.load() == 1; }));
    EXPECT_EQ(0u, sink.SourceCount());
    play.reset(); // joins the source's thread
}

TEST_F(FilePlayTest, FiftyKeyTonesLeaveNoThreadsBehind) {
    ASSERT_EQ(0, sink.StartSinkThread());
    std::vector<uint8_t> tone = Wav(FmtBlock(7, 1, 8000, 8), Pattern(320)); // 40 ms of mu-law
    const int before = ThreadCount();
    for (int i = 0; i < 50; ++i) {
        auto play = MakePlay(tone);
        ASSERT_EQ(0, play->Start()) << i;
        ASSERT_TRUE(WaitFor([&] { return !play->IsRunning(); })) << i;
    }
    ASSERT_TRUE(WaitFor([] { return EndOfFileNotifier::PendingCount() == 0; }));
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= before; }))
        << ThreadCount() << " > " << before;
    EXPECT_TRUE(WaitFor([&] { return target.tx.load() == 50; }));
    EXPECT_EQ(50u * 640u, sink.Bytes().size());
}

// A target whose transmit hook waits until it is released.
class BlockingTarget : public EndOfFileTarget {
public:
    void FireEndOfFileTX(int32_t) override {
        entered = true;
        while (!released) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void FireEndOfFileRX(int32_t) override { ++rx; }
    std::atomic<bool> entered{false}, released{false};
    std::atomic<int> rx{0};
};

TEST(EndOfFileNotifierTest, ShutdownWaitsForRunningNoticesAndRefusesNewOnes) {
    EXPECT_FALSE(EndOfFileNotifier::Notify(1, true)); // no media object
    BlockingTarget target;
    EndOfFileNotifier::Initialise(&target);
    EXPECT_TRUE(EndOfFileNotifier::Notify(7, true)); // receive mark: RX
    ASSERT_TRUE(WaitFor([&] { return target.rx.load() == 1; }));
    EXPECT_TRUE(EndOfFileNotifier::Notify(8, false)); // transmit: blocks in the hook
    ASSERT_TRUE(WaitFor([&] { return target.entered.load(); }));
    EXPECT_EQ(1, EndOfFileNotifier::PendingCount());
    std::atomic<bool> shutDown{false};
    std::thread shutter([&] {
        EndOfFileNotifier::Shutdown();
        shutDown = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(shutDown.load());
    EXPECT_FALSE(EndOfFileNotifier::Notify(9, true)); // shutting down
    target.released = true;
    shutter.join();
    EXPECT_EQ(0, EndOfFileNotifier::PendingCount());
    EndOfFileNotifier::FireNow(10, false); // unbound: nothing is called
    EXPECT_EQ(1, target.rx.load());
}

} // namespace
