// The library's static state, defined once in state.cpp. Every subsystem
// reads and writes it directly, always under the library lock that each
// export takes (state/library_lock.h).
#ifndef MICROTUNE_STATE_H
#define MICROTUNE_STATE_H

#include <cmath>
#include <cstdint>

#include "platform/platform.h"

// The state never leaves the library: declared hidden, every read is one
// load rather than a look-up of its address first.
#pragma GCC visibility push(hidden)

namespace mt {

// Channels.
constexpr int MAX_CHANNELS = 32;
constexpr int PERCUSSION_CHANNEL = 9;
constexpr double BEND_CENTRE = 8192.0;
constexpr double BEND_UNASSIGNED = -10.0;

// ChannelState: parallel arrays, all zero at load.
extern int32_t nSounding[MAX_CHANNELS];
extern uint32_t dwReleaseTime[MAX_CHANNELS];
extern double dBend[MAX_CHANNELS];

// Output state.
extern MidiOutHandle hMidiOut;
extern int bMidiOutOpen;
extern int iSelectedDevice;
extern int iCurrentVoice;
extern uint32_t dwStartTime;

// DeviceList.
extern int nDevicesInList;
extern bool bMapperPresent;
extern bool bDevicesCounted;
extern int iQTDevice;

// Companion synthesizer backend: module handles, entry points, active flag.
typedef void(MT_STDCALL *TembrelCleanUpFn)(void);
typedef int(MT_STDCALL *TembrelInitialiseFn)(void);
typedef void(MT_STDCALL *TembrelDelayFn)(double seconds);
typedef void(MT_STDCALL *TembrelSendFn)(int status, int channel, int data1, int data2);

struct QTEntryPointTable {
    TembrelCleanUpFn CleanUp;
    TembrelInitialiseFn Initialise;
    TembrelDelayFn Delay;
    TembrelSendFn SendMidiEvent;
};

extern ModuleHandle hQTJavaNative;
extern ModuleHandle hTembrelLib;
extern QTEntryPointTable QTEntryPoints;
extern int bQTActive;

// The recorder route: no device, the companion's 32 channels, and every
// message handed to the message tap alone.
extern int bRecordingOutput;
// Its clock: the seconds SleepSeconds has let pass since it opened.
extern double dRecordingSeconds;

// The library's milliseconds (release stamps, the time since the open):
// the platform's clock, or the recorder's.
inline uint32_t LibraryMilliseconds() {
    if (!bRecordingOutput) return PlatformMilliseconds();
    // Wraps like the platform's 32-bit count; a clock past all reason reads 0.
    const double ms = std::fmod(std::floor(dRecordingSeconds * 1000.0 + 0.5), 4294967296.0);
    return ms >= 0.0 ? static_cast<uint32_t>(ms) : 0u;
}

// ScaleTable, the 1/1 and whether a scale has been installed.
constexpr int MAX_SCALE_ENTRIES = 1024;
struct ScaleTableData {
    double ratios[MAX_SCALE_ENTRIES];
    int nScaleNotes;
};
extern ScaleTableData ScaleTable;
extern double d1o1Hz;
extern int bScaleInstalled;

// DegreePitches: what the degrees nearest the 1/1 came to (ratio, MIDI note
// and bend), so that a degree played again skips the exp and the two logs.
// Entry i holds degree DEGREE_PITCH_LOWEST + i. An entry is good while its
// stamp equals nTuningVersion, which every change of the scale table
// renews, and d1o1Hz still has the bits of dDegreePitches1o1Hz. Stamp 0: empty.
constexpr int DEGREE_PITCH_LOWEST = -512;
constexpr int DEGREE_PITCH_COUNT = 1024;
struct DegreePitch {
    double ratio;
    double offset;  // semitones from the note to the pitch
    uint32_t stamp;
    int16_t note;
    int16_t bend;
};
extern DegreePitch DegreePitches[DEGREE_PITCH_COUNT];
extern uint32_t nTuningVersion;
extern double dDegreePitches1o1Hz;

// The text of the most recent scale parse.
constexpr int MOST_RECENT_SCALE_SIZE = 1024;
extern char szMostRecentScale[MOST_RECENT_SCALE_SIZE];

// NotesInPlay: parallel columns, oldest row first.
constexpr int MAX_NOTES_IN_PLAY = 2048;
extern int nNotesInPlay;
extern int iDegree[MAX_NOTES_IN_PLAY];
extern double dRatio[MAX_NOTES_IN_PLAY];
extern int iChannel[MAX_NOTES_IN_PLAY];
extern int iNote[MAX_NOTES_IN_PLAY];
// The part that plays the row, 0-15; 0 in every row until parts are in use.
extern int8_t iPart[MAX_NOTES_IN_PLAY];

// Frequency notes: the row of one carries FREQUENCY_ROW in its iPart byte
// and its handle in iDegree, so that no stop by degree ever matches it and
// the handle moves with the row. A handle goes stale with its row.
constexpr int8_t FREQUENCY_ROW = 0x10;
extern int nNextNoteHandle;  // the next handle to give, 1 at load
// The frequency note that has the channel to itself (no other note may
// join it), or 0; stale once that note's row is gone.
extern int iChannelAloneHandle[MAX_CHANNELS];

// Parts: instruments that play together, each with its program and the
// controllers that follow it, on channels of their own while they sound.
// Part 0 is the classic interface's; its voice is iCurrentVoice. Until a
// part function is first called, bPartsInUse is 0 and the classic channel
// rule alone runs, so such a host sends exactly what it always did.
constexpr int MAX_PARTS = 16;
constexpr int PART_CONTROLLERS = 6;  // modulation, volume, pan, expression, reverb, chorus
extern int bPartsInUse;
extern int iPartVoice[MAX_PARTS];  // entry 0 unused: part 0 plays iCurrentVoice
// The controllers a part has been given: a bit per entry of the part
// controllers, and their values.
extern uint8_t bmPartControllers[MAX_PARTS];
extern uint8_t iPartControllerValue[MAX_PARTS][PART_CONTROLLERS];
// Per channel: the part its program and controllers were last set for,
// whether that part has changed since (restated at the next note), and the
// controllers a part set on it (those another part must put back).
extern int iChannelPart[MAX_CHANNELS];
extern uint8_t bChannelPartStale[MAX_CHANNELS];
extern uint8_t bmChannelControllers[MAX_CHANNELS];

// The MPE zone: 0 members for the classic output; otherwise a lower zone
// with the manager on channel 0 and members 1..iMpeMembers, whose bend
// range is iMpeBendSemitones (the manager keeps 2). While a zone is set the
// zone lives on one port's 16 channels, whatever the route.
constexpr int MPE_MANAGER_CHANNEL = 0;
constexpr int MPE_MAX_MEMBERS = 15;
constexpr int MPE_MAX_BEND_SEMITONES = 96;
extern int iMpeMembers;
extern int iMpeBendSemitones;
// The order members were released in (0: not since the zone was set or the
// output opened): a count rather than a time, since many notes end within
// one millisecond when a file is retuned.
extern uint32_t nMpeReleases;
extern uint32_t iMpeReleaseOrder[MAX_CHANNELS];

// Returns every piece of state to its value at load. For test fixtures
// only; it neither closes outputs nor unloads modules.
void ResetStateForTests();

}  // namespace mt

#pragma GCC visibility pop

#endif
