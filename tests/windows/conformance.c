/* Windows conformance host for microtune.dll.
 *
 * Loads the DLL the way a Windows host does, resolves every export by its
 * exported name and checks what a machine without MIDI hardware can show:
 * the device list against what winmm itself answers, opening failing
 * without devices, voices found through CharUpperA, scale text, real list
 * boxes and combo boxes, the listings on standard output, and the
 * companion route through a recording TembrelLib.dll.
 *
 * Not covered: real MIDI output devices and the MIDI mapper. Under Wine
 * without a sound driver winmm has neither, so opening a Windows device,
 * the bend-range sequence and short messages reaching a device are left to
 * the unit tests' fake back-end.
 *
 * Usage: conformance bare [DLL]       (no companion where the DLL looks)
 *        conformance companion [DLL]  (TembrelLib.dll and QTJavaNative.dll where
 *                                      the DLL looks for them)
 * DLL is microtune.dll's path; by default it is found beside the host.
 */
// The multimedia header builds on windows.h, so the order matters.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "../support/pitch_corpus.h"
#include "../support/tuning_files_sample.h"
#include "recording_companion.h"

/* ---- the exports ---------------------------------------------------- */

typedef int(WINAPI *FnInt)(void);
typedef int(WINAPI *FnIntI)(int);
typedef int(WINAPI *FnIntII)(int, int);
typedef void(WINAPI *FnVoid)(void);
typedef void(WINAPI *FnVoidI)(int);
typedef void(WINAPI *FnVoidD)(double);
typedef double(WINAPI *FnDouble)(void);
typedef char *(WINAPI *FnName)(int, char *, int);
typedef char *(WINAPI *FnText)(void);
typedef void(WINAPI *FnVoidText)(char *);
typedef void(WINAPI *FnScaleText)(double *, int *, char *, int);
typedef int(WINAPI *FnFindVoice)(char *, char *, int);
typedef int(__cdecl *FnCdeclI)(int);
typedef int(__cdecl *FnCdeclII)(int, int);
typedef int(WINAPI *FnHwnd)(HWND);
typedef int(WINAPI *FnHwndW)(HWND, WPARAM);
typedef int(WINAPI *FnHwndI)(HWND, int);

static struct {
    FnInt nNumOutDevices;
    FnName szNameForDevice;
    FnInt StartMidiOut;
    FnIntI StartMidiOutForiDev;
    FnInt StopMidiOut;
    FnIntI OpenMidiOut;
    FnInt CloseMidiOut;
    FnDouble dSecsSinceStartMidiOut;
    FnVoidD SleepSeconds;
    FnVoidI SetMidiVoice;
    FnInt nChannelsAvailable;
    FnInt CheckForQTLibrary;
    FnInt StartQT;
    FnVoid StopQT;
    FnVoidD Set1o1;
    FnInt GetnScaleNotes;
    FnScaleText GetScaleFromText;
    FnText GetszMostRecentScale;
    FnVoidText SetMidiScale;
    FnCdeclI StopAllNotesPlayed;
    FnCdeclII StopAllNotesPlayedInChannel;
    FnIntII PlayScaleDegree;
    FnIntII StopScaleDegree;
    FnIntI DoBendForScaleDegree;
    FnIntI DoBendForScaleDegreeInLoop;
    FnIntII PlayNonMelodicPercussion;
    FnIntII StopNonMelodicPercussion;
    FnInt PrintNotesInPlay;
    FnInt TestPitchBendRange;
    FnName GetMidiVoiceName;
    FnFindVoice FindMidiVoice;
    FnInt PrintVoices;
    FnHwnd FillListWithMidiOutDevices;
    FnHwnd FillComboWithMidiOutDevices;
    FnHwndW GetListSelMidiOutDevice;
    FnHwndW GetComboSelMidiOutDevice;
    FnHwndI SetListSelMidiOutDevice;
    FnHwndI SetComboSelMidiOutDevice;
    FnHwnd FillListWithMidiVoices;
    FnHwnd FillComboWithMidiVoices;
    FnHwndW GetListSelMidiVoice;
    FnHwndW GetComboSelMidiVoice;
    FnHwndI SetListSelMidiVoice;
    FnHwndI SetComboSelMidiVoice;
} mt;

static int failures;
static int checks;

static void Check(int ok, const char *what) {
    ++checks;
    if (!ok) {
        ++failures;
        printf("FAIL %s\n", what);
    }
}

static void CheckInt(int actual, int expected, const char *what) {
    char line[300];
    snprintf(line, sizeof line, "%s: got %d, expected %d", what, actual, expected);
    Check(actual == expected, line);
}

static void CheckText(const char *actual, const char *expected, const char *what) {
    char line[600];
    snprintf(line, sizeof line, "%s: got \"%.200s\", expected \"%.200s\"", what, actual, expected);
    Check(strcmp(actual, expected) == 0, line);
}

static void (*Lookup(HMODULE dll, const char *name))(void) {
    FARPROC entry = GetProcAddress(dll, name);
    if (!entry) printf("FAIL export missing: %s\n", name);
    return (void (*)(void))entry;
}

#define RESOLVE(field, type, exported)          \
    do {                                        \
        mt.field = (type)Lookup(dll, exported); \
        ++checks;                               \
        if (!mt.field) ++failures;              \
    } while (0)

static void ResolveExports(HMODULE dll) {
    RESOLVE(nNumOutDevices, FnInt, "_nNumOutDevices@0");
    RESOLVE(szNameForDevice, FnName, "_szNameForDevice@12");
    RESOLVE(StartMidiOut, FnInt, "_StartMidiOut@0");
    RESOLVE(StartMidiOutForiDev, FnIntI, "_StartMidiOutForiDev@4");
    RESOLVE(StopMidiOut, FnInt, "_StopMidiOut@0");
    RESOLVE(OpenMidiOut, FnIntI, "_OpenMidiOut@4");
    RESOLVE(CloseMidiOut, FnInt, "_CloseMidiOut@0");
    RESOLVE(dSecsSinceStartMidiOut, FnDouble, "_dSecsSinceStartMidiOut@0");
    RESOLVE(SleepSeconds, FnVoidD, "_SleepSeconds@8");
    RESOLVE(SetMidiVoice, FnVoidI, "_SetMidiVoice@4");
    RESOLVE(nChannelsAvailable, FnInt, "_nChannelsAvailable@0");
    RESOLVE(CheckForQTLibrary, FnInt, "_CheckForQTLibrary@0");
    RESOLVE(StartQT, FnInt, "_StartQT@0");
    RESOLVE(StopQT, FnVoid, "_StopQT@0");
    RESOLVE(Set1o1, FnVoidD, "_Set1o1@8");
    RESOLVE(GetnScaleNotes, FnInt, "_GetnScaleNotes@0");
    RESOLVE(GetScaleFromText, FnScaleText, "_GetScaleFromText@16");
    RESOLVE(GetszMostRecentScale, FnText, "_GetszMostRecentScale@0");
    RESOLVE(SetMidiScale, FnVoidText, "_SetMidiScale@4");
    RESOLVE(StopAllNotesPlayed, FnCdeclI, "StopAllNotesPlayed");
    RESOLVE(StopAllNotesPlayedInChannel, FnCdeclII, "StopAllNotesPlayedInChannel");
    RESOLVE(PlayScaleDegree, FnIntII, "_PlayScaleDegree@8");
    RESOLVE(StopScaleDegree, FnIntII, "_StopScaleDegree@8");
    RESOLVE(DoBendForScaleDegree, FnIntI, "_DoBendForScaleDegree@4");
    RESOLVE(DoBendForScaleDegreeInLoop, FnIntI, "_DoBendForScaleDegreeInLoop@4");
    RESOLVE(PlayNonMelodicPercussion, FnIntII, "_PlayNonMelodicPercussion@8");
    RESOLVE(StopNonMelodicPercussion, FnIntII, "_StopNonMelodicPercussion@8");
    RESOLVE(PrintNotesInPlay, FnInt, "_PrintNotesInPlay@0");
    RESOLVE(TestPitchBendRange, FnInt, "_TestPitchBendRange@0");
    RESOLVE(GetMidiVoiceName, FnName, "_GetMidiVoiceName@12");
    RESOLVE(FindMidiVoice, FnFindVoice, "_FindMidiVoice@12");
    RESOLVE(PrintVoices, FnInt, "_PrintVoices@0");
    RESOLVE(FillListWithMidiOutDevices, FnHwnd, "_FillListWithMidiOutDevices@4");
    RESOLVE(FillComboWithMidiOutDevices, FnHwnd, "_FillComboWithMidiOutDevices@4");
    RESOLVE(GetListSelMidiOutDevice, FnHwndW, "_GetListSelMidiOutDevice@8");
    RESOLVE(GetComboSelMidiOutDevice, FnHwndW, "_GetComboSelMidiOutDevice@8");
    RESOLVE(SetListSelMidiOutDevice, FnHwndI, "_SetListSelMidiOutDevice@8");
    RESOLVE(SetComboSelMidiOutDevice, FnHwndI, "_SetComboSelMidiOutDevice@8");
    RESOLVE(FillListWithMidiVoices, FnHwnd, "_FillListWithMidiVoices@4");
    RESOLVE(FillComboWithMidiVoices, FnHwnd, "_FillComboWithMidiVoices@4");
    RESOLVE(GetListSelMidiVoice, FnHwndW, "_GetListSelMidiVoice@8");
    RESOLVE(GetComboSelMidiVoice, FnHwndW, "_GetComboSelMidiVoice@8");
    RESOLVE(SetListSelMidiVoice, FnHwndI, "_SetListSelMidiVoice@8");
    RESOLVE(SetComboSelMidiVoice, FnHwndI, "_SetComboSelMidiVoice@8");

    /* Only the decorated names are exported. */
    Check(GetProcAddress(dll, "PlayScaleDegree") == NULL,
          "plain name PlayScaleDegree is not exported");
    Check(GetProcAddress(dll, "DllMain") == NULL, "DllMain is not exported");
}

/* ---- standard output and input --------------------------------------- */

/* Runs fn with standard output going to a file (and standard input read
 * from input, when given) and returns what it printed, carriage returns
 * dropped. The library shares the C run-time's streams with this host. */
static char *Capture(FnInt fn, int *result, const char *input) {
    static char text[16384];
    const char *outPath = "capture-out.txt";
    const char *inPath = "capture-in.txt";
    int savedIn = -1;

    fflush(stdout);
    int savedOut = _dup(1);
    int out = _open(outPath, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    _dup2(out, 1);
    _close(out);
    if (input) {
        FILE *f = fopen(inPath, "wb");
        fputs(input, f);
        fclose(f);
        savedIn = _dup(0);
        int in = _open(inPath, _O_RDONLY | _O_BINARY);
        _dup2(in, 0);
        _close(in);
    }

    *result = fn();

    fflush(stdout);
    _dup2(savedOut, 1);
    _close(savedOut);
    if (input) {
        _dup2(savedIn, 0);
        _close(savedIn);
        clearerr(stdin);
    }

    FILE *f = fopen(outPath, "rb");
    size_t n = f ? fread(text, 1, sizeof text - 1, f) : 0;
    if (f) fclose(f);
    size_t w = 0;
    for (size_t r = 0; r < n; ++r)
        if (text[r] != '\r') text[w++] = text[r];
    text[w] = '\0';
    return text;
}

static const char NOTES_HEADER[] =
    "These are the notes in play for each channel:\n\nEach note shows:\n"
    "Interval from 1/1 in cents (Scale degree) Midi note]\n";

/* ---- controls --------------------------------------------------------- */

static HWND parent, listBox, comboBox;

static void CreateControls(void) {
    HINSTANCE instance = GetModuleHandleA(NULL);
    /* A message-only parent needs no desktop. Items must stay in the order
     * added, so neither control sorts. */
    parent = CreateWindowExA(0, "STATIC", "conformance", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                             instance, NULL);
    listBox = CreateWindowExA(0, "LISTBOX", NULL, WS_CHILD | LBS_NOTIFY, 0, 0, 200, 200, parent,
                              (HMENU)1, instance, NULL);
    comboBox = CreateWindowExA(0, "COMBOBOX", NULL, WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 200, 200,
                               parent, (HMENU)2, instance, NULL);
    Check(parent && listBox && comboBox, "message-only parent, LISTBOX and COMBOBOX created");
}

static int ListCount(HWND list) { return (int)SendMessageA(list, LB_GETCOUNT, 0, 0); }
static int ComboCount(HWND combo) { return (int)SendMessageA(combo, CB_GETCOUNT, 0, 0); }
static int ListSel(HWND list) { return (int)SendMessageA(list, LB_GETCURSEL, 0, 0); }
static int ComboSel(HWND combo) { return (int)SendMessageA(combo, CB_GETCURSEL, 0, 0); }

static void ListItem(HWND list, int i, char *buf) {
    buf[0] = '\0';
    if (SendMessageA(list, LB_GETTEXTLEN, i, 0) < 1000)
        SendMessageA(list, LB_GETTEXT, i, (LPARAM)buf);
}

static void ComboItem(HWND combo, int i, char *buf) {
    buf[0] = '\0';
    if (SendMessageA(combo, CB_GETLBTEXTLEN, i, 0) < 1000)
        SendMessageA(combo, CB_GETLBTEXT, i, (LPARAM)buf);
}

/* Every item of both controls against the names the library gives. */
static void CheckControlItems(int count, char *(WINAPI *name)(int, char *, int), const char *what) {
    char expected[1024], item[1024], line[200];
    int listOk = ListCount(listBox) == count, comboOk = ComboCount(comboBox) == count;
    for (int i = 0; i < count && (listOk || comboOk); ++i) {
        name(i, expected, sizeof expected);
        ListItem(listBox, i, item);
        if (strcmp(item, expected) != 0) listOk = 0;
        ComboItem(comboBox, i, item);
        if (strcmp(item, expected) != 0) comboOk = 0;
    }
    snprintf(line, sizeof line, "list box holds the %d %s in order", count, what);
    Check(listOk, line);
    snprintf(line, sizeof line, "combo box holds the %d %s in order", count, what);
    Check(comboOk, line);
}

static WPARAM Notification(int id, int code) { return MAKEWPARAM(id, code); }

static void CheckVoiceControls(void) {
    mt.SetMidiVoice(40); /* no output is open: only remembered */
    CheckInt(mt.FillListWithMidiVoices(listBox), 40, "FillListWithMidiVoices");
    CheckInt(mt.FillComboWithMidiVoices(comboBox), 40, "FillComboWithMidiVoices");
    CheckControlItems(128, mt.GetMidiVoiceName, "voice names");
    CheckInt(ListSel(listBox), 40, "list box selection after the fill");
    CheckInt(ComboSel(comboBox), 40, "combo box selection after the fill");
    CheckInt(mt.FillListWithMidiVoices(NULL), 0, "FillListWithMidiVoices(NULL)");

    CheckInt(mt.SetComboSelMidiVoice(comboBox, 5), 5, "SetComboSelMidiVoice(5)");
    CheckInt(ComboSel(comboBox), 5, "combo box selection after SetComboSelMidiVoice(5)");

    /* The user picks item 7: only CBN_SELENDOK is read back. */
    SendMessageA(comboBox, CB_SETCURSEL, 7, 0);
    CheckInt(mt.GetComboSelMidiVoice(comboBox, Notification(2, CBN_SELCHANGE)), 5,
             "GetComboSelMidiVoice on CBN_SELCHANGE");
    CheckInt(mt.GetComboSelMidiVoice(comboBox, Notification(2, CBN_SELENDOK)), 7,
             "GetComboSelMidiVoice on CBN_SELENDOK");

    SendMessageA(listBox, LB_SETCURSEL, 12, 0);
    CheckInt(mt.GetListSelMidiVoice(listBox, Notification(1, LBN_DBLCLK)), 7,
             "GetListSelMidiVoice on LBN_DBLCLK");
    CheckInt(mt.GetListSelMidiVoice(listBox, Notification(1, LBN_SELCHANGE)), 12,
             "GetListSelMidiVoice on LBN_SELCHANGE");
    CheckInt(mt.FillComboWithMidiVoices(comboBox), 12, "FillComboWithMidiVoices re-selects");
    CheckInt(ComboSel(comboBox), 12, "combo box selection after the second fill");

    /* An index outside the items: the control refuses it and keeps its
     * selection; the refusal is what the library remembers. */
    CheckInt(mt.SetListSelMidiVoice(listBox, 200), -1, "SetListSelMidiVoice(200)");
    CheckInt(ListSel(listBox), 12, "list box keeps its selection");
    CheckInt(mt.FillListWithMidiVoices(listBox), -1, "FillListWithMidiVoices with voice -1");
    CheckInt(ListSel(listBox), -1, "list box filled with no selection");
    CheckInt(mt.GetListSelMidiVoice(listBox, Notification(1, LBN_SELCHANGE)), -1,
             "GetListSelMidiVoice without a selection");

    /* SendMessageA answers 0 for a null window. */
    CheckInt(mt.GetListSelMidiVoice(NULL, Notification(1, LBN_SELCHANGE)), 0,
             "GetListSelMidiVoice(NULL)");
    mt.SetMidiVoice(0);
}

static void CheckDeviceControls(int nDevices) {
    CheckInt(mt.FillListWithMidiOutDevices(listBox), 0, "FillListWithMidiOutDevices");
    CheckInt(mt.FillComboWithMidiOutDevices(comboBox), 0, "FillComboWithMidiOutDevices");
    CheckControlItems(nDevices, mt.szNameForDevice, "device names");
    CheckInt(ListSel(listBox), nDevices > 0 ? 0 : -1, "device list box selection");
    CheckInt(mt.FillComboWithMidiOutDevices(NULL), 0, "FillComboWithMidiOutDevices(NULL)");

    CheckInt(mt.SetListSelMidiOutDevice(listBox, nDevices - 1), nDevices - 1,
             "SetListSelMidiOutDevice(last)");
    CheckInt(mt.SetComboSelMidiOutDevice(comboBox, nDevices), -1,
             "SetComboSelMidiOutDevice(past the end)");
    CheckInt(mt.GetListSelMidiOutDevice(listBox, Notification(1, LBN_SELCANCEL)), 0,
             "GetListSelMidiOutDevice on LBN_SELCANCEL");
    CheckInt(mt.GetListSelMidiOutDevice(listBox, Notification(1, LBN_SELCHANGE)), nDevices - 1,
             "GetListSelMidiOutDevice on LBN_SELCHANGE");
    SendMessageA(comboBox, CB_SETCURSEL, (WPARAM)-1, 0);
    CheckInt(mt.GetComboSelMidiOutDevice(comboBox, Notification(2, CBN_SELENDOK)), -1,
             "GetComboSelMidiOutDevice without a selection");
    SendMessageA(comboBox, CB_SETCURSEL, 0, 0);
    CheckInt(mt.GetComboSelMidiOutDevice(comboBox, Notification(2, CBN_SELENDOK)), 0,
             "GetComboSelMidiOutDevice on CBN_SELENDOK");
}

/* ---- devices ----------------------------------------------------------- */

/* The device list expected from what winmm answers here. */
static int ExpectedDevices(int *mapper) {
    MIDIOUTCAPSA caps;
    memset(&caps, 0, sizeof caps);
    const MMRESULT probe = midiOutGetDevCapsA(MIDI_MAPPER, &caps, sizeof caps);
    const UINT n = midiOutGetNumDevs();
    printf("winmm answers: midiOutGetNumDevs %u, MIDI mapper probe %u\n", n, probe);
    *mapper = probe == MMSYSERR_NOERROR;
    return (int)n + *mapper;
}

static void CheckWindowsDevices(int mapper, int nWindows) {
    char name[64], line[100];
    for (int i = 0; i < nWindows; ++i) {
        MIDIOUTCAPSA caps;
        memset(&caps, 0, sizeof caps);
        const char *expected = "Standard Device - Midi Mapper";
        if (i > 0 || !mapper) {
            const MMRESULT r = midiOutGetDevCapsA((UINT_PTR)(i - mapper), &caps, sizeof caps);
            expected = r == MMSYSERR_NOERROR    ? caps.szPname
                       : r == MMSYSERR_NODRIVER ? "(driver not installed)"
                                                : "(not available)";
        }
        snprintf(line, sizeof line, "szNameForDevice(%d)", i);
        CheckText(mt.szNameForDevice(i, name, sizeof name), expected, line);
    }
}

/* ---- voices and scale text ---------------------------------------------- */

static void CheckVoices(void) {
    static const struct {
        const char *text;
        int len;
        int voice;
        const char *name;
    } cases[] = {
        {"trump", 64, 56, "Trumpet"},                 /* start of a word */
        {"tRuMp", 64, 56, "Trumpet"},                 /* case folded by CharUpperA */
        {"HORN", 64, 60, "French Horn"},              /* whole word */
        {"bell", 64, 112, "Tinkle Bell"},             /* whole word before start of word */
        {"NYLON", 64, 24, "Acoustic Guitar (nylon)"}, /* anywhere */
        {"SLAP BASS 2", 64, 37, "Slap Bass 2"},       /* exact */
        {"synth  bass", 64, 38, "Synth Bass 1"},      /* white space collapsed */
        {"  40 ", 64, 40, "Violin"},                  /* a number */
        {"500", 64, 127, "Gunshot"},                  /* clamped */
        {"xyz", 64, 0, "Acoustic Grand Piano"},       /* nothing matches */
        {"violin", 5, 40, "Viol"},                    /* name cut to the buffer */
    };
    char name[64], line[100];
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        char text[64];
        strcpy(text, cases[i].text);
        memset(name, 'x', sizeof name);
        snprintf(line, sizeof line, "FindMidiVoice(\"%s\")", cases[i].text);
        CheckInt(mt.FindMidiVoice(text, name, cases[i].len), cases[i].voice, line);
        CheckText(name, cases[i].name, line);
    }
    CheckText(mt.GetMidiVoiceName(69, name, 27), "Cor Anglais (English Horn)",
              "GetMidiVoiceName(69)");
    CheckText(mt.GetMidiVoiceName(4, name, 7), "Rhodes", "GetMidiVoiceName(4) in 7 bytes");
}

static void CheckScaleText(void) {
    static double ratios[1024];
    static const double expected[] = {1, 1.125, 1.25, 4.0 / 3, 1.5, 5.0 / 3, 1.875, 2};
    char text[] = "9/8 5/4 4/3 3/2 5/3 15/8 2/1";
    int count = -1;
    CheckInt(mt.GetnScaleNotes(), 0, "GetnScaleNotes before any scale");
    mt.GetScaleFromText(ratios, &count, text, 1024);
    CheckInt(count, 8, "GetScaleFromText count");
    int same = 1;
    for (int i = 0; i < 8; ++i)
        if (ratios[i] < expected[i] - 1e-12 || ratios[i] > expected[i] + 1e-12) same = 0;
    Check(same, "GetScaleFromText ratios");
    CheckText(mt.GetszMostRecentScale(), text, "GetszMostRecentScale");
    mt.SetMidiScale(text);
    CheckInt(mt.GetnScaleNotes(), 8, "GetnScaleNotes after SetMidiScale");
}

/* ---- tuning files ---------------------------------------------------------- */

typedef int(__cdecl *FnReadScaleFile)(const char *, int, MicrotuneScaleFile *, char *, int, char *,
                                      int);
typedef int(__cdecl *FnReadMapFile)(const char *, MicrotuneKeyboardMap *, char *, int);
typedef int(__cdecl *FnKeyTable)(const double *, int, const MicrotuneKeyboardMap *, const char *,
                                 double, MicrotuneKeyTable *, char *, int);

/* The UTF-16 form of a UTF-8 name, for the test's own wide calls. */
static const wchar_t *Wide(const char *name) {
    static wchar_t wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, MAX_PATH)) wide[0] = L'\0';
    return wide;
}

static void WriteSample(const char *name, const char *contents) {
    FILE *file = _wfopen(Wide(name), L"wb");
    Check(file && fwrite(contents, 1, strlen(contents), file) == strlen(contents) &&
              fclose(file) == 0,
          name);
}

/* A .scl and a .kbm read by path through the DLL: the same scale text and
 * key table as on Linux. */
static void CheckTuningFiles(HMODULE dll) {
    const FnReadScaleFile readScale =
        (FnReadScaleFile)(void (*)(void))GetProcAddress(dll, "MicrotuneReadScaleFile");
    const FnReadMapFile readMap =
        (FnReadMapFile)(void (*)(void))GetProcAddress(dll, "MicrotuneReadKeyboardMapFile");
    const FnKeyTable keyTable =
        (FnKeyTable)(void (*)(void))GetProcAddress(dll, "MicrotuneMakeKeyTable");
    Check(readScale && readMap && keyTable, "tuning-file exports found by their plain names");
    if (!readScale || !readMap || !keyTable) return;
    WriteSample("sample.scl", TUNING_SAMPLE_SCL);
    WriteSample("sample.kbm", TUNING_SAMPLE_KBM);
    static MicrotuneScaleFile scale;
    static MicrotuneKeyboardMap map;
    static MicrotuneKeyTable table;
    static char text[MICROTUNE_SCALE_TEXT_SIZE];
    static double ratios[1024];
    char error[MICROTUNE_MESSAGE_SIZE] = "";
    CheckInt(readScale("sample.scl", MICROTUNE_FORMAT_BY_NAME, &scale, text, sizeof text, error,
                       sizeof error),
             1, "MicrotuneReadScaleFile(sample.scl)");
    CheckText(text, TUNING_SAMPLE_TEXT, "the sample's scale text");
    CheckText(scale.description, "Just major, a quarter-comma E \xE2\x80\x94 test",
              "the sample's UTF-8 description");
    CheckInt(readMap("sample.kbm", &map, error, sizeof error), 1,
             "MicrotuneReadKeyboardMapFile(sample.kbm)");
    int count = 0;
    mt.GetScaleFromText(ratios, &count, text, 1024);
    CheckInt(keyTable(ratios, count, &map, "sample.kbm", 0.0, &table, error, sizeof error), 1,
             "MicrotuneMakeKeyTable");
    const uint64_t digest = TuningSampleDigest(&table);
    char line[160];
    snprintf(line, sizeof line, "key table digest 0x%08lx%08lx (expected 0x%08lx%08lx)",
             (unsigned long)(digest >> 32), (unsigned long)(digest & 0xFFFFFFFF),
             (unsigned long)(TUNING_SAMPLE_DIGEST >> 32),
             (unsigned long)(TUNING_SAMPLE_DIGEST & 0xFFFFFFFF));
    printf("%s\n", line);
    Check(digest == TUNING_SAMPLE_DIGEST, line);
    CheckInt(readScale("missing.scl", 0, &scale, text, sizeof text, error, sizeof error), 0,
             "a missing scale file");
    Check(strncmp(error, "cannot read missing.scl: ", 25) == 0, error);

    /* Names are UTF-8 whatever this program's code page, which cannot spell
     * these: a scale and a map, a folder, and a missing file. */
#define NON_ANSI "\xC5\xBB\xC3\xB3\xC5\x82\xC4\x87-\xE6\x97\xA5\xE6\x9C\xAC" /* Żółć-日本 */
    WriteSample(NON_ANSI ".scl", TUNING_SAMPLE_SCL);
    WriteSample(NON_ANSI ".kbm", TUNING_SAMPLE_KBM);
    Check(CreateDirectoryW(Wide(NON_ANSI ".d"), NULL) != 0, "a folder with a UTF-8 name");
    static const struct {
        const char *name;
        int result;
        const char *error; /* the whole message */
    } named[] = {
        {NON_ANSI ".scl", 1, ""},
        {NON_ANSI ".kbm", 1, ""},
        {NON_ANSI ".d", 0, "cannot read " NON_ANSI ".d: it is a directory"},
        {NON_ANSI "-missing.scl", 0,
         "cannot read " NON_ANSI "-missing.scl: No such file or directory"},
    };
    for (size_t i = 0; i < sizeof named / sizeof named[0]; ++i) {
        error[0] = '\0';
        const int isMap = strstr(named[i].name, ".kbm") != NULL;
        const int result =
            isMap ? readMap(named[i].name, &map, error, sizeof error)
                  : readScale(named[i].name, 0, &scale, text, sizeof text, error, sizeof error);
        CheckInt(result, named[i].result, named[i].name);
        CheckText(error, named[i].error, named[i].name);
        if (result && !isMap) CheckText(text, TUNING_SAMPLE_TEXT, "the scale text by a UTF-8 name");
    }
#undef NON_ANSI
}

/* ---- the companion route -------------------------------------------------- */

static int(WINAPI *RecordedCount)(void);
static const CompanionCall *(WINAPI *RecordedCalls)(void);
static void(WINAPI *ClearRecording)(void);
static void(WINAPI *SetInitialiseResult)(int);

static CompanionCall expectedCalls[MAX_COMPANION_CALLS];
static int nExpected;

static void Expect(int status, int channel, int data1, int data2) {
    CompanionCall c = {status, channel, data1, data2};
    if (nExpected < MAX_COMPANION_CALLS) expectedCalls[nExpected++] = c;
}

/* One message for each of the 32 companion channels but percussion. */
static void ExpectAllChannels(int status, int data1, int data2) {
    for (int channel = 0; channel < 32; ++channel)
        if (channel != 9) Expect(status, channel, data1, data2);
}

static void CheckRecording(const char *what) {
    const int n = RecordedCount();
    const CompanionCall *got = RecordedCalls();
    int first = -1;
    for (int i = 0; i < n && i < nExpected && first < 0; ++i)
        if (memcmp(&got[i], &expectedCalls[i], sizeof got[i]) != 0) first = i;
    if (first < 0 && n != nExpected) first = n < nExpected ? n : nExpected;
    char line[300];
    if (first < 0) {
        snprintf(line, sizeof line, "%s: %d companion calls as expected", what, n);
    } else {
        const CompanionCall *g = first < n ? &got[first] : NULL;
        const CompanionCall *e = first < nExpected ? &expectedCalls[first] : NULL;
        snprintf(line, sizeof line,
                 "%s: companion call %d is (%#x, %d, %d, %d), expected (%#x, %d, %d, %d); "
                 "%d calls, %d expected",
                 what, first, g ? g->status : 0, g ? g->channel : 0, g ? g->data1 : 0,
                 g ? g->data2 : 0, e ? e->status : 0, e ? e->channel : 0, e ? e->data1 : 0,
                 e ? e->data2 : 0, n, nExpected);
    }
    Check(first < 0, line);
    ClearRecording();
    nExpected = 0;
}

static int LoadRecorder(void) {
    /* The library's own search found the companion; the host only takes a
     * reference to it, so that the recording outlives StopQT. */
    HMODULE recorder = NULL;
    char path[MAX_PATH] = "";
    GetModuleHandleExA(0, "TembrelLib.dll", &recorder);
    Check(recorder != NULL, "the library loaded TembrelLib.dll");
    if (!recorder) return 0;
    GetModuleFileNameA(recorder, path, sizeof path);
    printf("TembrelLib.dll loaded from %s\n", path);
    RecordedCount = (int(WINAPI *)(void))(void (*)(void))GetProcAddress(recorder, "RecordedCount");
    RecordedCalls = (const CompanionCall *(WINAPI *)(void))(void (*)(void))GetProcAddress(
        recorder, "RecordedCalls");
    ClearRecording =
        (void(WINAPI *)(void))(void (*)(void))GetProcAddress(recorder, "ClearRecording");
    SetInitialiseResult =
        (void(WINAPI *)(int))(void (*)(void))GetProcAddress(recorder, "SetInitialiseResult");
    return RecordedCount && RecordedCalls && ClearRecording && SetInitialiseResult;
}

static void CheckCompanionRoute(int iQT) {
    char line[100];
    ClearRecording();

    /* Opening the companion entry: initialise, centre every bend, send the
     * remembered voice. */
    mt.SetMidiVoice(5); /* nothing open yet: remembered only */
    CheckInt(mt.StartMidiOutForiDev(iQT), 1, "StartMidiOutForiDev(QuickTime)");
    CheckInt(mt.nChannelsAvailable(), 32, "nChannelsAvailable while the companion is active");
    Expect(CALL_INITIALISE, 0, 0, 0);
    ExpectAllChannels(0xE0, 0, 64);
    ExpectAllChannels(0xC0, 5, 0);
    CheckRecording("open");

    mt.SetMidiVoice(300);
    ExpectAllChannels(0xC0, 300, 0);
    CheckRecording("SetMidiVoice(300)");

    /* Degree 4 from the default 1/1 fits channel 0's centred bend; degree
     * 0 from a 1/1 30 cents above A 440 needs bend 9420 on channel 1. */
    CheckInt(mt.PlayScaleDegree(4, 100), 1, "PlayScaleDegree(4, 100)");
    Expect(0x90, 0, 64, 100);
    mt.Set1o1(447.69106452518196);
    CheckInt(mt.PlayScaleDegree(0, 110), 2, "PlayScaleDegree(0, 110)");
    Expect(0xE0, 1, 9420 & 0x7F, 9420 >> 7);
    Expect(0x90, 1, 69, 110);
    CheckInt(mt.PlayNonMelodicPercussion(38, 100), 3, "PlayNonMelodicPercussion(38, 100)");
    Expect(0x90, 9, 38, 100);
    CheckRecording("PlayScaleDegree");

    int printed = 0;
    char expectedListing[1024];
    snprintf(expectedListing, sizeof expectedListing,
             "%s\nChann:, 0: pitch bend 0 cents, playing: 400 (4) [64]"
             "\nChann:, 1: pitch bend 29.9805 cents, playing: 0 (0) [69]"
             "\nChann:, 9: pitch bend -200.244 cents, playing: 0 (38) [38]\n",
             NOTES_HEADER);
    CheckText(Capture(mt.PrintNotesInPlay, &printed, NULL), expectedListing,
              "PrintNotesInPlay with three notes");
    CheckInt(printed, 1, "PrintNotesInPlay result");

    const DWORD before = timeGetTime();
    const int stamp = mt.StopScaleDegree(4, 64);
    snprintf(line, sizeof line, "StopScaleDegree(4, 64) returns the release time (%d)", stamp);
    Check((DWORD)stamp - before < 1000, line);
    Expect(0x80, 0, 64, 64);
    Check((DWORD)mt.StopScaleDegree(0, 0) - before < 1000,
          "StopScaleDegree(0, 0) returns the release time");
    Expect(0x80, 1, 69, 0);
    CheckInt(mt.StopNonMelodicPercussion(38, 0), 0, "StopNonMelodicPercussion(38, 0)");
    Expect(0x80, 9, 38, 127);
    CheckRecording("StopScaleDegree");

    /* Channel 0 is centred, channel 1 still bent to 9420. */
    const DWORD start = timeGetTime();
    CheckInt(mt.TestPitchBendRange(), 0, "TestPitchBendRange");
    snprintf(line, sizeof line, "TestPitchBendRange sleeps 3 seconds (%lu ms)",
             (unsigned long)(timeGetTime() - start));
    Check(timeGetTime() - start >= 2900 && timeGetTime() - start < 6000, line);
    Expect(0xE0, 0, 0, 0);
    Expect(0x90, 0, 62, 127);
    Expect(0x80, 0, 62, 127);
    Expect(0xE0, 1, 127, 127);
    Expect(0x90, 1, 58, 127);
    Expect(0x80, 1, 58, 127);
    CheckRecording("TestPitchBendRange");

    /* Already open: the backend is started again, nothing is opened. */
    CheckInt(mt.StartMidiOutForiDev(iQT), 2, "StartMidiOutForiDev while open");
    Expect(CALL_INITIALISE, 0, 0, 0);
    CheckRecording("second start");

    CheckInt(mt.StopMidiOut(), 1, "StopMidiOut");
    ExpectAllChannels(0xE0, 0, 64);
    mt.StopQT();
    Expect(CALL_CLEAN_UP, 0, 0, 0);
    CheckRecording("close and StopQT");
    CheckInt(mt.nChannelsAvailable(), 16, "nChannelsAvailable after StopQT");
    Check(GetModuleHandleA("QTJavaNative.dll") == NULL, "StopQT unloads QTJavaNative.dll");

    /* A companion that fails to initialise: the open fails, the backend
     * stays active until StopQT. */
    SetInitialiseResult(0);
    CheckInt(mt.StartMidiOutForiDev(iQT), 0, "StartMidiOutForiDev with a failing companion");
    CheckInt(mt.nChannelsAvailable(), 32, "backend active after a failed initialise");
    mt.StopQT();
    Expect(CALL_INITIALISE, 0, 0, 0);
    Expect(CALL_CLEAN_UP, 0, 0, 0);
    CheckRecording("failing initialise");
    CheckInt(mt.nChannelsAvailable(), 16, "nChannelsAvailable after the second StopQT");
    SetInitialiseResult(1);
}

/* The exports the first session did not use: the backend started by hand,
 * an open by device id, pre-bends and the two C-convention bulk stops. */
static void CheckSecondCompanionSession(void) {
    CheckInt(mt.StartQT(), 1, "StartQT");
    Expect(CALL_INITIALISE, 0, 0, 0);
    CheckInt(mt.OpenMidiOut(12345), 1, "OpenMidiOut while the companion is active");
    Check(mt.dSecsSinceStartMidiOut() < 0.5, "dSecsSinceStartMidiOut right after an open");
    ExpectAllChannels(0xE0, 0, 64);
    ExpectAllChannels(0xC0, 300, 0);
    CheckRecording("StartQT and OpenMidiOut");

    /* The 1/1 is still 30 cents above A 440: every degree needs bend 9420.
     * Straight after the open every stamp is equal, so the in-loop variant
     * finds no channel. */
    CheckInt(mt.DoBendForScaleDegreeInLoop(0), 0, "DoBendForScaleDegreeInLoop(0)");
    CheckInt(mt.DoBendForScaleDegree(0), 0, "DoBendForScaleDegree(0)");
    Expect(0xE0, 0, 9420 & 0x7F, 9420 >> 7);
    CheckInt(mt.PlayScaleDegree(0, 90), 1, "PlayScaleDegree(0, 90) on the pre-bent channel");
    Expect(0x90, 0, 69, 90);
    CheckInt(mt.PlayScaleDegree(12, 91), 2, "PlayScaleDegree(12, 91)");
    Expect(0x90, 0, 81, 91);
    mt.Set1o1(0.0); /* back to the default 1/1 */
    CheckInt(mt.PlayScaleDegree(0, 92), 3, "PlayScaleDegree(0, 92) from the default 1/1");
    Expect(0x90, 1, 60, 92);
    CheckInt(mt.StopAllNotesPlayedInChannel(50, 0), 1, "StopAllNotesPlayedInChannel(50, 0)");
    Expect(0x80, 0, 69, 50);
    Expect(0x80, 0, 81, 50);
    CheckInt(mt.StopAllNotesPlayed(40), 1, "StopAllNotesPlayed(40)");
    Expect(0x80, 1, 60, 40);
    CheckRecording("pre-bends and bulk stops");

    CheckInt(mt.CloseMidiOut(), 1, "CloseMidiOut");
    ExpectAllChannels(0xE0, 0, 64);
    mt.StopQT();
    Expect(CALL_CLEAN_UP, 0, 0, 0);
    CheckRecording("CloseMidiOut and StopQT");
}

/* ---- the two runs ------------------------------------------------------- */

static void RunBare(void) {
    int mapper = 0;
    const int nWindows = ExpectedDevices(&mapper);
    CheckInt(mt.nNumOutDevices(), nWindows, "nNumOutDevices without a companion");
    CheckWindowsDevices(mapper, nWindows);
    char name[64] = "junk";
    CheckText(mt.szNameForDevice(nWindows, name, sizeof name), "", "szNameForDevice(end of list)");
    CheckInt(mt.CheckForQTLibrary(), 0, "CheckForQTLibrary without a companion");
    CheckInt(mt.nChannelsAvailable(), 16, "nChannelsAvailable");
    if (nWindows == 0) {
        CheckInt(mt.StartMidiOut(), 0, "StartMidiOut without devices");
        CheckInt(mt.OpenMidiOut(-1), 0, "OpenMidiOut(MIDI mapper) without a mapper");
    } else {
        printf("note: MIDI outputs present, opening failure not checked\n");
    }
    CheckInt(mt.StopMidiOut(), 0, "StopMidiOut with nothing open");
    CheckInt(mt.CloseMidiOut(), 0, "CloseMidiOut with nothing open");

    /* Before any open the start time is 0: the seconds since Windows started. */
    const double since = mt.dSecsSinceStartMidiOut();
    Check(since - timeGetTime() * 0.001 < 0.5 && timeGetTime() * 0.001 - since < 0.5,
          "dSecsSinceStartMidiOut before any open follows timeGetTime");
    const DWORD start = timeGetTime();
    mt.SleepSeconds(0.05);
    Check(timeGetTime() - start >= 40 && timeGetTime() - start < 2000, "SleepSeconds(0.05)");

    CheckVoices();
    CheckScaleText();
    CheckTuningFiles(GetModuleHandleA("microtune.dll"));
    CreateControls();
    if (listBox && comboBox) CheckVoiceControls();

    int printed = 0;
    char expected[512];
    snprintf(expected, sizeof expected, "%s\n", NOTES_HEADER);
    CheckText(Capture(mt.PrintNotesInPlay, &printed, NULL), expected, "PrintNotesInPlay, no notes");
    CheckInt(printed, 1, "PrintNotesInPlay result");

    /* The listing breaks its lines after 50 characters, pauses after voice
     * 64 and at its end, reading a character each time; the last one read
     * is the result. */
    static char expectedVoices[8192];
    size_t used = 0;
    int column = 0;
    for (int k = 0; k < 128; ++k) {
        char voice[64];
        mt.GetMidiVoiceName(k, voice, sizeof voice);
        const int n =
            snprintf(expectedVoices + used, sizeof expectedVoices - used, "%s (%d), ", voice, k);
        used += (size_t)n;
        column += n;
        if (column >= 50) {
            used += (size_t)snprintf(expectedVoices + used, sizeof expectedVoices - used, "\n");
            column = 0;
        }
        if (k == 64)
            used += (size_t)snprintf(expectedVoices + used, sizeof expectedVoices - used,
                                     "\n(continues...)");
    }
    snprintf(expectedVoices + used, sizeof expectedVoices - used, "\n");
    const char *voices = Capture(mt.PrintVoices, &printed, "xy");
    CheckInt(printed, 'y', "PrintVoices returns the second character read");
    Check(strncmp(voices, "Acoustic Grand Piano (0), Bright Acoustic Piano (1), \n", 54) == 0,
          "PrintVoices first line");
    CheckText(voices, expectedVoices, "PrintVoices listing");
}

/* ---- the pitch corpus ------------------------------------------------------ */

/* The corpus that the unit tests play on 64-bit and 32-bit Linux: this DLL
 * must send exactly the same notes, bends and channels. */
static uint64_t corpusDigest;

static void FoldRecording(void) {
    const CompanionCall *calls = RecordedCalls();
    const int n = RecordedCount();
    for (int i = 0; i < n; ++i)
        corpusDigest = PitchCorpusFold(corpusDigest, calls[i].status, calls[i].channel,
                                       calls[i].data1, calls[i].data2);
    ClearRecording();
}

static void CorpusScale(double hz, char *text) {
    mt.Set1o1(hz);
    mt.SetMidiScale(text);
}

static void CorpusPitch(int degree) {
    mt.PlayScaleDegree(degree, 100);
    mt.StopAllNotesPlayed(64);
    if (RecordedCount() > MAX_COMPANION_CALLS - 64) FoldRecording();
}

static void CheckPitchCorpus(int iQT) {
    CheckInt(mt.StartMidiOutForiDev(iQT), 1, "StartMidiOutForiDev for the pitch corpus");
    ClearRecording();
    corpusDigest = PITCH_CORPUS_FNV_OFFSET;
    const PitchCorpusHost host = {CorpusScale, CorpusPitch, FoldRecording};
    const DWORD start = timeGetTime();
    const long pitches = PitchCorpusRun(&host);
    char line[200];
    snprintf(
        line, sizeof line,
        "pitch corpus: %ld pitches, digest 0x%08lx%08lx (expected %ld, 0x%08lx%08lx), %lu ms",
        pitches, (unsigned long)(corpusDigest >> 32), (unsigned long)(corpusDigest & 0xFFFFFFFF),
        PITCH_CORPUS_PITCHES, (unsigned long)(PITCH_CORPUS_DIGEST >> 32),
        (unsigned long)(PITCH_CORPUS_DIGEST & 0xFFFFFFFF), (unsigned long)(timeGetTime() - start));
    printf("%s\n", line);
    Check(pitches == PITCH_CORPUS_PITCHES && corpusDigest == PITCH_CORPUS_DIGEST, line);
    mt.CloseMidiOut();
    mt.StopQT();
    ClearRecording();
}

static void RunCompanion(void) {
    int mapper = 0;
    const int nWindows = ExpectedDevices(&mapper);
    const int nDevices = mt.nNumOutDevices();
    CheckInt(nDevices, nWindows + 1, "nNumOutDevices with the companion");
    Check(GetModuleHandleA("QTJavaNative.dll") != NULL, "counting loads QTJavaNative.dll");
    if (!LoadRecorder()) return;
    CheckWindowsDevices(mapper, nWindows);
    char name[64];
    CheckText(mt.szNameForDevice(nWindows, name, sizeof name), "QuickTime", "companion entry name");
    CheckInt(mt.CheckForQTLibrary(), 1, "CheckForQTLibrary with the companion");
    CheckInt(RecordedCount(), 0, "counting calls nothing in the companion");

    CreateControls();
    if (listBox && comboBox) CheckDeviceControls(nDevices);
    CheckCompanionRoute(nWindows);
    CheckSecondCompanionSession();
    CheckPitchCorpus(nWindows);
}

int main(int argc, char **argv) {
    const int companion = argc > 1 && strcmp(argv[1], "companion") == 0;
    setvbuf(stdout, NULL, _IONBF, 0);
    char dllPath[MAX_PATH] = "microtune.dll";
    if (argc > 2) GetFullPathNameA(argv[2], sizeof dllPath, dllPath, NULL);
    HMODULE dll = LoadLibraryA(dllPath);
    if (!dll) {
        printf("FAIL LoadLibraryA(\"%s\"): error %lu\n", dllPath, GetLastError());
        return 1;
    }
    ResolveExports(dll);
    if (failures == 0) {
        if (companion)
            RunCompanion();
        else
            RunBare();
    }
    printf("%s run: %d checks, %d failed\n", companion ? "companion" : "bare", checks, failures);
    return failures ? 1 : 0;
}
