#pragma once
#include <cstdint>
#include <utility>
#include <vector>

namespace plat {
class Thread;
}

namespace tamsor {

class AudioSample;
class AudioSource;
class AudioSink;

// One entry of the set a sink renders: a sample (holding one reference) and the source it
// came from.
using AudioSampleEntry = std::pair<AudioSample*, AudioSource*>;
using AudioSampleList = std::vector<AudioSampleEntry>;

// The thread a node runs, as handed to the start and stop hooks (null when there is none).
using AudioThreadHandle = plat::Thread*;

// Links a source to a sink in both directions. Returns 0.
int Connect(AudioSource* source, AudioSink* sink);
// Unlinks them in both directions; a pair that is not linked is left as it is. Returns 0.
int Disconnect(AudioSource* source, AudioSink* sink);

// The node's thread ids are small numbers handed out in order, never 0.
uint32_t NextAudioThreadId();

} // namespace tamsor
