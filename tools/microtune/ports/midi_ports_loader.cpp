#include <dlfcn.h>

#include <mutex>

#include "host_error.h"
#include "library/companion_module.h"
#include "ports/midi_ports.h"

namespace mthost {

const MidiPortsTable &MidiPorts() {
    static std::mutex mutex;
    static const MidiPortsTable *table = nullptr;
    std::lock_guard<std::mutex> hold(mutex);
    if (table) return *table;
    std::string why;
    void *module = OpenModuleBesideLibrary(MICROTUNE_PORTS_MODULE, why);
    if (!module) throw HostError("cannot load the MIDI ports module: " + why);
    const auto entry = reinterpret_cast<MidiPortsEntry>(dlsym(module, MICROTUNE_PORTS_ENTRY));
    const MidiPortsTable *found = entry ? entry() : nullptr;
    if (!found || found->version != MICROTUNE_PORTS_VERSION) {
        dlclose(module);
        throw HostError(std::string("cannot load the MIDI ports module: ") +
                        MICROTUNE_PORTS_MODULE + " is not this program's");
    }
    table = found;
    return *table;
}

}  // namespace mthost
