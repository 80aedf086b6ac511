#include "recorder.h"

#include <cstdlib>
#include <cstring>

#define TEMBREL_EXPORT extern "C" __attribute__((visibility("default")))

namespace tembrel {
namespace {

using Recorder = void (*)(void *context, int status, int channel, int data1, int data2);
Recorder recorder = nullptr;
void *recorderContext = nullptr;

}  // namespace

void RecordMidiEvent(int status, int channel, int data1, int data2) {
    if (recorder) recorder(recorderContext, status, channel, data1, data2);
}

bool NullOutputRequested() {
    const char *output = std::getenv("MICROTUNE_SYNTH_OUTPUT");
    return output && std::strcmp(output, "none") == 0;
}

}  // namespace tembrel

// Registers the callback that receives every message of the send entry, on
// the caller's thread, in the order sent; a null callback ends recording.
TEMBREL_EXPORT void Tembrel_SetRecorder(void (*record)(void *, int, int, int, int), void *context) {
    tembrel::recorder = record;
    tembrel::recorderContext = record ? context : nullptr;
}
