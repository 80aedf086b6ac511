#include "recorder.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "tembrel_abi.h"

#define TEMBREL_EXPORT extern "C" __attribute__((visibility("default")))

namespace tembrel {
namespace {

TembrelRecordCallback recorder = nullptr;
void *recorderContext = nullptr;

}  // namespace

void RecordMidiEvent(int status, int channel, int data1, int data2) {
    if (recorder) recorder(recorderContext, status, channel, data1, data2);
}

bool NullOutputRequested() {
    const char *output = std::getenv(TEMBREL_OUTPUT_ENV);
    return output && std::strcmp(output, TEMBREL_OUTPUT_NONE) == 0;
}

}  // namespace tembrel

// Registers the callback that receives every message of the send entry, on
// the caller's thread, in the order sent; a null callback ends recording.
TEMBREL_EXPORT void Tembrel_SetRecorder(TembrelRecordCallback record, void *context) {
    tembrel::recorder = record;
    tembrel::recorderContext = record ? context : nullptr;
}

static_assert(std::is_same<decltype(&Tembrel_SetRecorder), TembrelSetRecorderEntry>::value,
              "the entry as the contract declares it");
