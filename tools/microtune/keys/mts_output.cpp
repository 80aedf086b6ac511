#include "keys/mts_output.h"

#include "host_error.h"
#include "library/output.h"
#include "output_file/output_file.h"

namespace mthost {

void WriteSyxFile(const std::string &path, const std::vector<MidiMessage> &messages) {
    // Written as every output file is (output_file.h).
    mtio::OutputFile file(path);
    if (!file.Ok()) throw HostError(file.Error());
    for (const MidiMessage &m : messages)
        if (!file.Write(m.data(), m.size())) throw HostError(file.Error());
    if (!file.Commit()) throw HostError(file.Error());
}

std::string MidiPortOutput::CheckDevice(int device) {
    const std::vector<std::string> devices = ListDevices();
    const int count = static_cast<int>(devices.size());
    if (device < 0 || device >= count)
        throw HostError("device " + std::to_string(device) + " is out of range: there " +
                        (count == 1 ? "is 1 device" : "are " + std::to_string(count) + " devices") +
                        " (see: microtune devices)");
    if (device == BuiltInSynthesizer(devices))
        throw HostError("device " + std::to_string(device) +
                        " is the built-in software synthesizer, which is tuned by bends: MTS "
                        "needs a MIDI output port");
    return devices[device];
}

}  // namespace mthost
