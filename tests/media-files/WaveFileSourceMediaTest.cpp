#include "media/files/WaveFileSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <string>
#include <thread>

#include "media/graph/AudioGraph.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "media/graph/AudioSink.h"
#include "platform/audio/testing/WavFixture.h"
#include "tests/support/RegistrySandbox.h"

using namespace tamsor;

using namespace wavtest;

namespace {

class CountingListener : public WaveFileSourceListener {
public:
    void FilePlayStarted(WaveFileSource*, const char*) override { ++started; }
    void FilePlayStopped(WaveFileSource*, const char*) override { ++stopped; }
    std::atomic<int> started{0};
    std::atomic<int> stopped{0};
};

class WaveFileSourceTest : public ::testing::Test {
protected:
    void SetUp() override { AudioSampleManager::Init(); }
    void TearDown() override { AudioSampleManager::Shutdown(); }

    // Frames until the first failure: their sizes, their bytes, and the failure's code.
    struct Frames {
        std::vector<int> sizes;
        std::vector<uint8_t> bytes;
        int endCode = 0;
    };
    Frames Collect(WaveFileSource& source, int maxFrames) {
        Frames f;
        for (int i = 0; i < maxFrames; ++i) {
            AudioSample* s = nullptr;
            int r = source.GenerateData(&s);
            if (r != 0) {
                EXPECT_EQ(nullptr, s);
                f.endCode = r;
                break;
            }
            f.sizes.push_back(s->GetDataSize());
            f.bytes.insert(f.bytes.end(), s->GetData(), s->GetData() + s->GetDataSize());
            s->Release(nullptr);
        }
        return f;
    }
    std::string Write(const std::vector<uint8_t>& bytes) { return dir.Write("t.wav", bytes); }

    RegistrySandbox registry;
    TempDir dir;
};

TEST_F(WaveFileSourceTest, MalformedFilesAreRefusedWithTheirCodes) {
    std::vector<uint8_t> fmt = FmtBlock(1, 1, 8000, 16);
    std::vector<uint8_t> notWave = Wav(fmt, Pattern(100));
    notWave[8] = 'X';
    std::vector<uint8_t> fmtPastEnd = Riff({{"fmt ", fmt, 40u}});
    struct Case {
        std::vector<uint8_t> bytes;
        int expected;
    };
    const std::vector<Case> cases = {
        {notWave, -20},
        {{'R', 'I', 'F', 'F'}, -20},
        {Riff({{"data", Pattern(10), {}}}), -30},
        {Riff({{"fmt ", std::vector<uint8_t>(fmt.begin(), fmt.begin() + 14), {}},
               {"data", Pattern(10), {}}}),
         -40}, // short fmt
        {Wav(FmtBlock(1, 1, 8000, 16, true, std::vector<uint8_t>(4090)), Pattern(10)),
         -40},                                                       // > 4 KiB
        {Riff({{"fmt ", fmt, 0x7FFFFFF0u}}), -40},                   // huge fmt
        {fmtPastEnd, -40},                                           // past the end
        {Riff({{"data", Pattern(10), {}}, {"fmt ", fmt, {}}}), -50}, // data first
        {Riff({{"fmt ", fmt, {}}}), -50},                            // no data
        {Wav(fmt, {}), -60},                                         // empty data
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        WaveFileSource source;
        EXPECT_EQ(cases[i].expected, source.OpenWaveFile(Write(cases[i].bytes).c_str()))
            << "case " << i;
        WaveFormat f;
        EXPECT_EQ(-10, source.GetFormat(&f)) << "no file stays open after case " << i;
    }
    WaveFileSource source;
    EXPECT_EQ(-10, source.OpenWaveFile((dir.Path() + "/missing.wav").c_str()));
    EXPECT_EQ(-10, source.OpenWaveFile(dir.Path().c_str()));
    EXPECT_EQ(-80, source.OpenWaveFile(nullptr));
    // A fmt block of exactly 4 KiB is still a format block.
    EXPECT_EQ(
        0, source.OpenWaveFile(
               Write(Wav(FmtBlock(1, 1, 8000, 16, true, std::vector<uint8_t>(4078)), Pattern(10)))
                   .c_str()));
}

TEST_F(WaveFileSourceTest, PathLengthLimitIsThePlatformsAndRunningRefusesOpen) {
    std::string file = Write(Wav(FmtBlock(1, 1, 8000, 16), Pattern(320)));
    // A long path that exists: pad it with "./" components.
    std::string longPath = dir.Path() + "/";
    while (longPath.size() + std::string("t.wav").size() < 300) {
        longPath += "./";
    }
    longPath += "t.wav";
    WaveFileSource source;
    EXPECT_EQ(0, source.OpenWaveFile(longPath.c_str()));
    EXPECT_STREQ(longPath.c_str(), source.GetFileName());
    std::string tooLong(WaveFileSource::kMaxPathLength + 1, 'a');
    EXPECT_EQ(-80, source.OpenWaveFile(tooLong.c_str()));
    std::string atLimit = "/" + std::string(WaveFileSource::kMaxPathLength - 1, 'a');
    EXPECT_EQ(-10, source.OpenWaveFile(atLimit.c_str())); // accepted length, no such file
    ASSERT_EQ(0, source.OpenWaveFile(file.c_str()));
    ASSERT_EQ(0, source.SourceStarted());
    EXPECT_EQ(-10, source.SourceStarted());
    EXPECT_EQ(-70, source.OpenWaveFile(file.c_str()));
    EXPECT_EQ(-70, source.OpenWaveFile(tooLong.c_str()));
    EXPECT_EQ(0, source.SourceStopped());
    EXPECT_EQ(-10, source.SourceStopped());
    EXPECT_EQ(-20, source.SourceStarted()); // the stop closed the file
}

TEST_F(WaveFileSourceTest, FrameSizesFollowTheFormat) {
    struct Case {
        std::vector<uint8_t> fmt;
        int frame;
    };
    const std::vector<Case> cases = {
        {FmtBlock(1, 1, 8000, 16), 320},          {FmtBlock(1, 1, 11025, 16), 441},
        {FmtBlock(1, 1, 8000, 8), 160},           {FmtBlock(7, 1, 8000, 8), 160},
        {FmtBlock(6, 1, 8000, 8), 160},           {FmtBlock(1, 2, 22050, 16), 1764},
        {FmtBlock(1, 1, 44100, 16, false), 1764},
    };
    for (const Case& c : cases) {
        WaveFileSource source;
        ASSERT_EQ(0, source.OpenWaveFile(Write(Wav(c.fmt, Pattern(5000))).c_str()));
        ASSERT_EQ(0, source.SourceStarted());
        Frames f = Collect(source, 1);
        ASSERT_EQ(1u, f.sizes.size());
        EXPECT_EQ(c.frame, f.sizes[0]);
    }
    // 16-bit stereo at 48 kHz needs 3840 bytes per frame, more than a sample holds.
    WaveFileSource big;
    ASSERT_EQ(0, big.OpenWaveFile(Write(Wav(FmtBlock(1, 2, 48000, 16), Pattern(8000))).c_str()));
    ASSERT_EQ(0, big.SourceStarted());
    EXPECT_EQ(-20, Collect(big, 1).endCode);
    EXPECT_EQ(-20, Collect(big, 1).endCode);
}

TEST_F(WaveFileSourceTest, FramesStopAtTheEndOfTheDataChunk) {
    // 1000 bytes at 16000 bytes/s, followed by a LIST chunk that must never be played.
    std::vector<uint8_t> list(600, 0xEE);
    WaveFileSource source;
    ASSERT_EQ(
        0, source.OpenWaveFile(
               Write(Wav(FmtBlock(1, 1, 8000, 16), Pattern(1000), {{"LIST", list, {}}})).c_str()));
    EXPECT_EQ(1000u, source.GetDataLength());
    ASSERT_EQ(0, source.SourceStarted());
    Frames f = Collect(source, 10);
    EXPECT_EQ((std::vector<int>{320, 320, 320, 40}), f.sizes);
    EXPECT_EQ(Pattern(1000), f.bytes);
    EXPECT_EQ(-30, f.endCode);
    EXPECT_EQ(-30, Collect(source, 1).endCode);
    EXPECT_EQ(-30, Collect(source, 1).endCode);

    // A data chunk that claims more than the file holds plays what is there.
    WaveFileSource cut;
    std::vector<uint8_t> bytes =
        Riff({{"fmt ", FmtBlock(1, 1, 8000, 16), {}}, {"data", Pattern(500), 100000u}});
    ASSERT_EQ(0, cut.OpenWaveFile(Write(bytes).c_str()));
    EXPECT_EQ(500u, cut.GetDataLength());
    ASSERT_EQ(0, cut.SourceStarted());
    Frames g = Collect(cut, 10);
    EXPECT_EQ((std::vector<int>{320, 180}), g.sizes);
}

TEST_F(WaveFileSourceTest, LoopWrapsAtTheEndOfTheData) {
    std::vector<uint8_t> list(600, 0xEE);
    WaveFileSource source;
    ASSERT_EQ(
        0, source.OpenWaveFile(
               Write(Wav(FmtBlock(1, 1, 8000, 16), Pattern(1000), {{"LIST", list, {}}})).c_str()));
    EXPECT_EQ(0, source.PlayInLoop());
    ASSERT_EQ(0, source.SourceStarted());
    Frames f = Collect(source, 7);
    EXPECT_EQ((std::vector<int>{320, 320, 320, 320, 320, 320, 320}), f.sizes);
    // The stream is the data repeated: byte k of the stream is byte k mod 1000 of the data.
    std::vector<uint8_t> data = Pattern(1000);
    for (size_t k = 0; k < f.bytes.size(); ++k) {
        ASSERT_EQ(data[k % 1000], f.bytes[k]) << k;
    }
    // Opening again clears the loop flag.
    source.SourceStopped();
    ASSERT_EQ(0, source.OpenWaveFile(Write(Wav(FmtBlock(1, 1, 8000, 16), Pattern(100))).c_str()));
    EXPECT_FALSE(source.IsLooping());

    // Data shorter than one frame wraps once per frame.
    WaveFileSource tiny;
    ASSERT_EQ(0, tiny.OpenWaveFile(Write(Wav(FmtBlock(1, 1, 8000, 16), Pattern(100))).c_str()));
    tiny.PlayInLoop();
    ASSERT_EQ(0, tiny.SourceStarted());
    EXPECT_EQ((std::vector<int>{200, 100, 100}), Collect(tiny, 3).sizes);
}

TEST_F(WaveFileSourceTest, SilenceBeforeRunningAndFormatOfA16ByteBlock) {
    WaveFileSource source;
    ASSERT_EQ(0, source.OpenWaveFile(
                     Write(Wav(FmtBlock(1, 1, 11025, 16, false), Pattern(1000))).c_str()));
    AudioSample* s = nullptr;
    ASSERT_EQ(0, source.GenerateData(&s));
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(0, s->GetDataSize());
    EXPECT_EQ(20, s->GetSilenceMs());
    s->Release(nullptr);

    WaveFormat f;
    f.cbSize = 77;
    ASSERT_EQ(0, source.GetFormat(&f));
    EXPECT_EQ(11025u, f.nSamplesPerSec);
    EXPECT_EQ(22050u, f.nAvgBytesPerSec);
    EXPECT_EQ(0u, f.cbSize);
    std::vector<uint8_t> block;
    ASSERT_EQ(0, source.GetFormatBlock(&block));
    EXPECT_EQ(16u, block.size());
    EXPECT_EQ(0, source.CloseMMIO());
    EXPECT_EQ(-10, source.GetFormatBlock(&block));
}

TEST_F(WaveFileSourceTest, ThreadEndsByItselfAfterTheLastFrameOfAOneShotFile) {
    WaveFileSource source;
    CountingListener listener;
    source.AddListener(&listener);
    source.AddListener(&listener); // registered once
    ASSERT_EQ(0, source.OpenWaveFile(Write(Wav(FmtBlock(1, 1, 8000, 16), Pattern(700))).c_str()));
    ASSERT_EQ(0, source.StartSourceThread());
    EXPECT_EQ(1, listener.started.load());
    for (int i = 0; i < 500 && listener.stopped.load() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(1, listener.stopped.load());
    EXPECT_FALSE(source.IsSourceThreadRunning());
    WaveFormat f;
    EXPECT_EQ(-10, source.GetFormat(&f)); // the ended thread closed the file
    EXPECT_EQ(0, source.StopSourceThread());
    EXPECT_EQ(1, listener.stopped.load());
}

TEST_F(WaveFileSourceTest, DestroyingASourceWhoseThreadIsStillEndingWaitsForIt) {
    // A listener that is slow to hear of the end: the source is destroyed meanwhile.
    class SlowListener : public WaveFileSourceListener {
    public:
        void FilePlayStarted(WaveFileSource*, const char*) override {}
        void FilePlayStopped(WaveFileSource* source, const char*) override {
            entered = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            lastName = source->GetFileName();
            ++stopped;
        }
        std::atomic<bool> entered{false};
        std::atomic<int> stopped{0};
        std::string lastName;
    } listener;
    const std::string path = Write(Wav(FmtBlock(1, 1, 8000, 16), Pattern(100)));
    auto source = std::make_unique<WaveFileSource>();
    source->AddListener(&listener);
    ASSERT_EQ(0, source->OpenWaveFile(path.c_str()));
    ASSERT_EQ(0, source->StartSourceThread());
    for (int i = 0; i < 2000 && !listener.entered; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(listener.entered.load());
    source.reset();
    EXPECT_EQ(1, listener.stopped.load());
    EXPECT_EQ(path, listener.lastName);
}

TEST_F(WaveFileSourceTest, AThreadWhoseFramesNeverFitEndsByItselfLoopingOrNot) {
    // 16-bit stereo at 48 kHz: 3840 bytes per frame, more than a sample holds.
    for (bool loop : {false, true}) {
        WaveFileSource source;
        CountingListener listener;
        source.AddListener(&listener);
        ASSERT_EQ(
            0, source.OpenWaveFile(Write(Wav(FmtBlock(1, 2, 48000, 16), Pattern(8000))).c_str()));
        if (loop) {
            source.PlayInLoop();
        }
        ASSERT_EQ(0, source.StartSourceThread());
        for (int i = 0; i < 400 && listener.stopped.load() == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(1, listener.stopped.load()) << "loop " << loop;
        EXPECT_FALSE(source.IsSourceThreadRunning());
        EXPECT_EQ(0, source.StopSourceThread());
    }
}

TEST_F(WaveFileSourceTest, StartWithoutAFileIsRefusedAndNotReportedAsStarted) {
    WaveFileSource source;
    CountingListener listener;
    source.AddListener(&listener);
    EXPECT_EQ(-30, source.StartSourceThread());
    source.StopSourceThread();
    EXPECT_EQ(0, listener.started.load());
    EXPECT_EQ(1, listener.stopped.load());
}

TEST_F(WaveFileSourceTest, LoopingThreadRunsUntilStopped) {
    // Counts the bytes the source's thread pushes.
    class ByteCountingSink : public AudioSink {
    public:
        int RenderAudioSamples(AudioSampleList& samples) override {
            for (auto& entry : samples) {
                if (entry.first) {
                    bytes += entry.first->GetDataSize();
                }
            }
            return 0;
        }
        std::atomic<int> bytes{0};
    } sink;
    WaveFileSource source;
    CountingListener listener;
    source.AddListener(&listener);
    ASSERT_EQ(0, source.OpenWaveFile(Write(Wav(FmtBlock(1, 1, 8000, 16), Pattern(100))).c_str()));
    source.PlayInLoop();
    ASSERT_EQ(0, Connect(&source, &sink));
    ASSERT_EQ(0, source.StartSourceThread());
    // Three times the file's 100 bytes: the thread went past the end twice and kept running.
    for (int i = 0; i < 2000 && sink.bytes.load() <= 300; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GT(sink.bytes.load(), 300);
    EXPECT_TRUE(source.IsSourceThreadRunning());
    EXPECT_EQ(0, listener.stopped.load());
    EXPECT_EQ(0, source.StopSourceThread());
    EXPECT_FALSE(source.IsSourceThreadRunning());
    EXPECT_EQ(1, listener.stopped.load());
    Disconnect(&source, &sink);
}

} // namespace
