// libFuzzer target: arbitrary bytes as a wave file through the RIFF reader, the wave-file
// source (open, frames, looping) and the converter. Any read outside a buffer is a finding.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/files/WaveFileSource.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"
#include "platform/audio/AudioConverter.h"
#include "platform/audio/RiffReader.h"
#include "platform/store/Registry.h"
#include "tests/fuzz/FuzzSandbox.h"

using namespace tamsor;

namespace {

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzSandbox sandbox;
    static const std::string file = sandbox.dir + "/input.wav";
    if (!WriteFile(file, data, size)) {
        return 0;
    }

    WaveFileSource source;
    if (source.OpenWaveFile(file.c_str()) != 0) {
        return 0;
    }
    if (size > 0 && (data[size - 1] & 1) != 0) {
        source.PlayInLoop();
    }
    std::vector<uint8_t> block;
    source.GetFormatBlock(&block);
    plat::AudioConverter converter;
    bool convert = converter.Open(block.data(), block.size()) == plat::ConverterError::None;

    source.SourceStarted();
    std::vector<uint8_t> out;
    for (int i = 0; i < 64; ++i) {
        AudioSample* sample = nullptr;
        if (source.GenerateData(&sample) != 0 || sample == nullptr) {
            break;
        }
        if (convert) {
            out.clear();
            converter.Convert(sample->GetData(), static_cast<size_t>(sample->GetDataSize()), &out);
        }
        sample->Release(nullptr);
    }
    source.SourceStopped();
    return 0;
}
