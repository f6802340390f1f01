#include "media/dsp/FIRTransformer.h"

#include "media/base/RegistryValues.h"
#include "media/graph/AudioSample.h"
#include "media/graph/AudioSampleManager.h"

namespace tamsor {

FIRTransformer::FIRTransformer() {
    SetComponentNameFor("FIRTransformer", this);
    LoadTraceLevel();
}

FIRTransformer::~FIRTransformer() {
    StopSourceThread();
    StopSinkThread();
}

int FIRTransformer::LoadTraceLevel() {
    return LoadTraceLevelFrom(kRegTraceFIRTransformer);
}

void FIRTransformer::DestroyCore() {
    core8.reset();
    core16.reset();
    core32.reset();
}

int FIRTransformer::SetCoefficients(std::span<const double> table, int taps, uint32_t newWidth) {
    DestroyCore();
    switch (newWidth) {
    case 8:
        core8 = std::make_unique<FIRFilterCore8>(table, taps);
        break;
    case 16:
        core16 = std::make_unique<FIRFilterCore16>(table, taps);
        break;
    case 32:
        core32 = std::make_unique<FIRFilterCore32>(table, taps);
        break;
    default:
        Trace(TRACE_FAILURE, "SetCoefficients : no core for width %u\n", newWidth);
        break;
    }
    width = newWidth;
    return 0;
}

int FIRTransformer::TransformAudioSamples(AudioSampleList& samples, AudioSample** out) {
    *out = nullptr;
    AudioSample* in = samples.empty() ? nullptr : samples.front().first;
    if (!in) {
        return 0;
    }
    const int size = in->GetDataSize();
    if (size <= 0) {
        in->AddRef(this);
        *out = in;
        return 0;
    }
    // The core must be made for the sample's width; otherwise nothing is taken from the pool.
    const bool haveCore = core8 || core16 || core32;
    if (!haveCore || in->Format().wBitsPerSample != width) {
        Trace(TRACE_FAILURE, "TransformAudioSamples : width %u, sample width %u\n", width,
              static_cast<unsigned>(in->Format().wBitsPerSample));
        return -20;
    }
    AudioSample* filtered = nullptr;
    AudioSampleManager::GetInstance()->GetAudioSample(&filtered, this);
    filtered->SetFormat(in->Format());
    filtered->SetDataSize(size);
    const int bytesPerValue = static_cast<int>(width / 8);
    const int n = size / bytesPerValue;
    const uint8_t* source = in->GetData();
    uint8_t* target = filtered->GetData();
    if (core8) {
        core8->Process(source, target, n);
    } else if (core16) {
        core16->Process(source, target, n);
    } else {
        core32->Process(source, target, n);
    }
    // A trailing part of a value is copied as it is.
    for (int i = n * bytesPerValue; i < size; ++i) {
        target[i] = source[i];
    }
    *out = filtered;
    return 0;
}

} // namespace tamsor
