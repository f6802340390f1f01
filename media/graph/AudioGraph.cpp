#include "media/graph/AudioGraph.h"

#include <atomic>

#include "media/graph/AudioSink.h"
#include "media/graph/AudioSource.h"

namespace tamsor {

int Connect(AudioSource* source, AudioSink* sink) {
    source->AddAudioSink(sink);
    sink->AddAudioSource(source);
    return 0;
}

int Disconnect(AudioSource* source, AudioSink* sink) {
    source->RemoveAudioSink(sink);
    sink->RemoveAudioSource(source);
    return 0;
}

uint32_t NextAudioThreadId() {
    static std::atomic<uint32_t> next{0};
    uint32_t id = next.fetch_add(1) + 1;
    if (id == 0) {
        id = next.fetch_add(1) + 1;
    }
    return id;
}

} // namespace tamsor
