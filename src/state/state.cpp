#include "state/state.h"

#include <cstring>

namespace mt {

int32_t nSounding[MAX_CHANNELS];
uint32_t dwReleaseTime[MAX_CHANNELS];
double dBend[MAX_CHANNELS];

MidiOutHandle hMidiOut;
int bMidiOutOpen;
int iSelectedDevice;
int iCurrentVoice;
uint32_t dwStartTime;

int nDevicesInList;
bool bMapperPresent;
bool bDevicesCounted;
int iQTDevice = -1;

ModuleHandle hQTJavaNative;
ModuleHandle hTembrelLib;
QTEntryPointTable QTEntryPoints;
int bQTActive;
int bRecordingOutput;
double dRecordingSeconds;

ScaleTableData ScaleTable;
double d1o1Hz;
int bScaleInstalled;

DegreePitch DegreePitches[DEGREE_PITCH_COUNT];
uint32_t nTuningVersion = 1;
double dDegreePitches1o1Hz;

char szMostRecentScale[MOST_RECENT_SCALE_SIZE];

int nNotesInPlay;
int iDegree[MAX_NOTES_IN_PLAY];
double dRatio[MAX_NOTES_IN_PLAY];
int iChannel[MAX_NOTES_IN_PLAY];
int iNote[MAX_NOTES_IN_PLAY];
int8_t iPart[MAX_NOTES_IN_PLAY];
int nNextNoteHandle = 1;
int iChannelAloneHandle[MAX_CHANNELS];

int bPartsInUse;
int iPartVoice[MAX_PARTS];
uint8_t bmPartControllers[MAX_PARTS];
uint8_t iPartControllerValue[MAX_PARTS][PART_CONTROLLERS];
int iChannelPart[MAX_CHANNELS];
uint8_t bChannelPartStale[MAX_CHANNELS];
uint8_t bmChannelControllers[MAX_CHANNELS];

int iMpeMembers;
int iMpeBendSemitones;
uint32_t nMpeReleases;
uint32_t iMpeReleaseOrder[MAX_CHANNELS];

void ResetStateForTests() {
    std::memset(nSounding, 0, sizeof nSounding);
    std::memset(dwReleaseTime, 0, sizeof dwReleaseTime);
    for (double &bend : dBend) bend = 0.0;

    hMidiOut = nullptr;
    bMidiOutOpen = 0;
    iSelectedDevice = 0;
    iCurrentVoice = 0;
    dwStartTime = 0;

    nDevicesInList = 0;
    bMapperPresent = false;
    bDevicesCounted = false;
    iQTDevice = -1;

    hQTJavaNative = nullptr;
    hTembrelLib = nullptr;
    QTEntryPoints = QTEntryPointTable{};
    bQTActive = 0;
    bRecordingOutput = 0;
    dRecordingSeconds = 0.0;

    for (double &ratio : ScaleTable.ratios) ratio = 0.0;
    ScaleTable.nScaleNotes = 0;
    d1o1Hz = 0.0;
    bScaleInstalled = 0;

    std::memset(DegreePitches, 0, sizeof DegreePitches);
    nTuningVersion = 1;
    dDegreePitches1o1Hz = 0.0;

    std::memset(szMostRecentScale, 0, sizeof szMostRecentScale);

    nNotesInPlay = 0;
    std::memset(iDegree, 0, sizeof iDegree);
    for (double &ratio : dRatio) ratio = 0.0;
    std::memset(iChannel, 0, sizeof iChannel);
    std::memset(iNote, 0, sizeof iNote);
    std::memset(iPart, 0, sizeof iPart);
    nNextNoteHandle = 1;
    std::memset(iChannelAloneHandle, 0, sizeof iChannelAloneHandle);

    bPartsInUse = 0;
    std::memset(iPartVoice, 0, sizeof iPartVoice);
    std::memset(bmPartControllers, 0, sizeof bmPartControllers);
    std::memset(iPartControllerValue, 0, sizeof iPartControllerValue);
    std::memset(iChannelPart, 0, sizeof iChannelPart);
    std::memset(bChannelPartStale, 0, sizeof bChannelPartStale);
    std::memset(bmChannelControllers, 0, sizeof bmChannelControllers);

    iMpeMembers = 0;
    iMpeBendSemitones = 0;
    nMpeReleases = 0;
    std::memset(iMpeReleaseOrder, 0, sizeof iMpeReleaseOrder);
}

}  // namespace mt
