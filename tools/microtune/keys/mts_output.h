// Where MIDI Tuning Standard messages go: a .syx file (the messages back to
// back, as librarian programs and `amidi -s` send them) or a MIDI output port
// of the library's device list, opened by the host itself because the
// library sends channel messages only.
#ifndef MICROTUNE_MTS_OUTPUT_H
#define MICROTUNE_MTS_OUTPUT_H

#include <memory>
#include <string>
#include <vector>

#include "keys/mts_tuning.h"

namespace mthost {

// Written to a temporary name beside the file and renamed; throws HostError.
void WriteSyxFile(const std::string &path, const std::vector<MidiMessage> &messages);

class MidiPortOutput {
public:
    // Device N of `microtune devices`. The built-in software synthesizer
    // takes no system-exclusive messages and is refused, like a device that
    // is out of range or cannot be opened (HostError).
    explicit MidiPortOutput(int device);
    ~MidiPortOutput();
    MidiPortOutput(const MidiPortOutput &) = delete;
    MidiPortOutput &operator=(const MidiPortOutput &) = delete;

    // The device's name, or HostError for a device the constructor refuses
    // by number.
    static std::string CheckDevice(int device);

    // One complete message; false when the port refused it.
    bool Send(const MidiMessage &message);
    const std::string &Name() const { return name_; }

private:
    struct Port;  // the system's port (mts_port_posix.cpp, mts_port_winmm.cpp)
    std::unique_ptr<Port> port_;
    std::string name_;
};

}  // namespace mthost

#endif
