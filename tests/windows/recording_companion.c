/* A stand-in for the companion synthesizer library, TembrelLib.dll, for the
 * conformance host: it plays nothing and records every call it receives, in
 * order, for the host to read back through the Recorded* exports. */
#include "recording_companion.h"

#include <windows.h>

static CompanionCall calls[MAX_COMPANION_CALLS];
static int nCalls;
static int initialiseResult = 1;

static void Record(int status, int channel, int data1, int data2) {
    if (nCalls >= MAX_COMPANION_CALLS) return;
    calls[nCalls].status = status;
    calls[nCalls].channel = channel;
    calls[nCalls].data1 = data1;
    calls[nCalls].data2 = data2;
    ++nCalls;
}

int WINAPI Initialise(void) {
    Record(CALL_INITIALISE, 0, 0, 0);
    return initialiseResult;
}

void WINAPI CleanUp(void) { Record(CALL_CLEAN_UP, 0, 0, 0); }

void WINAPI Delay(double seconds) {
    (void)seconds;
    Record(CALL_DELAY, 0, 0, 0);
}

void WINAPI SendMidiEvent(int status, int channel, int data1, int data2) {
    Record(status, channel, data1, data2);
}

int WINAPI RecordedCount(void) { return nCalls; }

const CompanionCall *WINAPI RecordedCalls(void) { return calls; }

void WINAPI ClearRecording(void) { nCalls = 0; }

void WINAPI SetInitialiseResult(int result) { initialiseResult = result; }
