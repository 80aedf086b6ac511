// The ports module's one entry: its table.
#include "ports/alsa_jack_ports.h"
#include "ports/midi_ports.h"

namespace {

const mthost::MidiPortsTable TABLE = {MICROTUNE_PORTS_VERSION,
                                      &mthost::ports::ListInputs,
                                      &mthost::ports::NoInputsReason,
                                      &mthost::ports::ApiName,
                                      &mthost::ports::OpenWatch,
                                      &mthost::ports::WatchProblem,
                                      &mthost::ports::WatchServerStopped,
                                      &mthost::ports::CloseWatch,
                                      &mthost::ports::OpenInput,
                                      &mthost::ports::CloseInput,
                                      &mthost::ports::OpenOutput,
                                      &mthost::ports::Send,
                                      &mthost::ports::CloseOutput};

}  // namespace

extern "C" __attribute__((visibility("default"))) const mthost::MidiPortsTable *
MicrotuneHostPorts() {
    return &TABLE;
}
