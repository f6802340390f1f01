#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/MixerDevice.h"

namespace plat {

// A mixer held in memory: the mixer of the null and file backends, and the fake that tests
// shape line by line. Values persist for the object's life, like a system mixer's.
//
// Threads: any; lock_ guards every field.
class MemoryMixer final : public MixerDevice {
public:
    enum class Op { GetDestination, GetSource, GetControl, GetValue, SetValue, Count };

    // An empty mixer; WithMicrophone() gives the usual one.
    MemoryMixer() = default;
    // A wave-in destination with one microphone source that has a volume and a mute control.
    static MemoryMixer* WithMicrophone(MemoryMixer* mixer);

    // Adds lines and controls; each returns the new line id or control id.
    uint32_t AddDestination(uint32_t componentType, const std::string& name);
    uint32_t AddSource(uint32_t destinationLineId, uint32_t componentType, const std::string& name);
    uint32_t AddControl(uint32_t lineId, uint32_t controlType, uint32_t initialValue = 0);
    // Makes the next `count` calls of op fail with code (count < 0: every call).
    void InjectFailure(Op op, MMRESULT code, int count = 1);

    // What a test inspects: the value of a line's control of a type (false when missing), and
    // every write in order as (line id, control type, value).
    bool ValueOf(uint32_t lineId, uint32_t controlType, uint32_t* value);
    struct Write {
        uint32_t lineId;
        uint32_t controlType;
        uint32_t value;
    };
    std::vector<Write> Writes();

    MMRESULT GetDestinationByType(uint32_t componentType, MixerLineInfo* line) override;
    MMRESULT GetSource(uint32_t destination, uint32_t source, MixerLineInfo* line) override;
    MMRESULT GetControlByType(uint32_t lineId, uint32_t controlType,
                              MixerControlInfo* control) override;
    MMRESULT GetControlValue(uint32_t controlId, uint32_t* value) override;
    MMRESULT SetControlValue(uint32_t controlId, uint32_t value) override;

private:
    struct Line {
        MixerLineInfo info;
        uint32_t parent = 0; // destination line id of a source; 0 for a destination
    };
    struct Control {
        MixerControlInfo info;
        uint32_t lineId = 0;
        uint32_t value = 0;
    };
    struct Failure {
        MMRESULT code = 0;
        int count = 0;
    };
    MMRESULT TakeFailure(Op op);
    Line* FindLine(uint32_t lineId);
    Control* FindControl(uint32_t controlId);

    std::mutex lock_;
    std::vector<Line> lines_;
    std::vector<Control> controls_;
    std::vector<Write> writes_;
    Failure failures_[static_cast<int>(Op::Count)] = {};
};

} // namespace plat
