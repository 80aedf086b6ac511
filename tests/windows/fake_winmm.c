/* A stand-in for winmm.dll under Wine (loaded in its place with
 * WINEDLLOVERRIDES=winmm=n), for microtune.exe and microtune.dll: one MIDI
 * output, "Fake Synth", that logs every message it is sent, and one MIDI
 * input, "Fake Keyboard", that plays a script through the input callback.
 *   FAKE_WINMM_LOG   the file the output appends to, a line per call:
 *                    "open", "close", "reset", "short 90 3c 64",
 *                    "long f0 7e ... f7"
 *   FAKE_WINMM_KEYS  the keyboard's script, once midiInStart is called, a
 *                    line each: "90 3c 64" (a short message), "wait MS",
 *                    "unplug" (the input leaves the device list),
 *                    "ctrl-c" (Ctrl-C to the console's processes). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int unplugged;
static DWORD_PTR inCallback, inInstance;
static HMIDIIN inHandle = (HMIDIIN)(INT_PTR)0x1d;
static HMIDIOUT outHandle = (HMIDIOUT)(INT_PTR)0x1e;
static int outOpen;

static void Log(const char *line) {
    const char *path = getenv("FAKE_WINMM_LOG");
    FILE *f = path ? fopen(path, "ab") : NULL;
    if (!f) return;
    fprintf(f, "%s\n", line);
    fclose(f);
}

DWORD WINAPI timeGetTime(void) { return GetTickCount(); }

/* Outputs. */
UINT WINAPI midiOutGetNumDevs(void) { return 1; }

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR id, LPMIDIOUTCAPSA caps, UINT size) {
    if (id != 0 || !caps || size < sizeof *caps) return MMSYSERR_BADDEVICEID;
    memset(caps, 0, size);
    strcpy(caps->szPname, "Fake Synth");
    caps->wTechnology = MOD_MIDIPORT;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT out, UINT id, DWORD_PTR callback, DWORD_PTR instance,
                            DWORD flags) {
    (void)callback, (void)instance, (void)flags;
    if (id != 0) return MMSYSERR_BADDEVICEID;
    if (outOpen) return MMSYSERR_ALLOCATED;
    outOpen = 1;
    *out = outHandle;
    Log("open");
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutClose(HMIDIOUT out) {
    if (out != outHandle || !outOpen) return MMSYSERR_INVALHANDLE;
    outOpen = 0;
    Log("close");
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutReset(HMIDIOUT out) {
    if (out != outHandle || !outOpen) return MMSYSERR_INVALHANDLE;
    Log("reset");
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT out, DWORD message) {
    char line[32];
    if (out != outHandle || !outOpen) return MMSYSERR_INVALHANDLE;
    const unsigned status = message & 0xFF;
    const int bytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
    if (bytes == 2)
        snprintf(line, sizeof line, "short %02x %02x", status, (unsigned)(message >> 8) & 0xFF);
    else
        snprintf(line, sizeof line, "short %02x %02x %02x", status,
                 (unsigned)(message >> 8) & 0xFF, (unsigned)(message >> 16) & 0xFF);
    Log(line);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT size) {
    if (out != outHandle || !header || size < sizeof *header) return MMSYSERR_INVALPARAM;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT size) {
    if (out != outHandle || !header || size < sizeof *header) return MMSYSERR_INVALPARAM;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT out, LPMIDIHDR header, UINT size) {
    if (out != outHandle || !outOpen) return MMSYSERR_INVALHANDLE;
    if (!header || size < sizeof *header || !(header->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    char *line = malloc(8 + 3 * (size_t)header->dwBufferLength);
    if (!line) return MMSYSERR_NOMEM;
    strcpy(line, "long");
    for (DWORD i = 0; i < header->dwBufferLength; ++i)
        sprintf(line + strlen(line), " %02x", (unsigned char)header->lpData[i]);
    Log(line);
    free(line);
    header->dwFlags |= MHDR_DONE;
    return MMSYSERR_NOERROR;
}

/* The input. */
UINT WINAPI midiInGetNumDevs(void) { return unplugged ? 0 : 1; }

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR id, LPMIDIINCAPSA caps, UINT size) {
    if (id != 0 || unplugged || !caps || size < sizeof *caps) return MMSYSERR_BADDEVICEID;
    memset(caps, 0, size);
    strcpy(caps->szPname, "Fake Keyboard");
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN in, UINT id, DWORD_PTR callback, DWORD_PTR instance,
                           DWORD flags) {
    if (id != 0 || unplugged) return MMSYSERR_BADDEVICEID;
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;
    inCallback = callback;
    inInstance = instance;
    *in = inHandle;
    return MMSYSERR_NOERROR;
}

static void Deliver(UINT kind, DWORD_PTR data) {
    if (inCallback) ((DRVCALLBACK *)inCallback)((HDRVR)inHandle, kind, inInstance, data, 0);
}

static DWORD WINAPI PlayScript(void *unused) {
    (void)unused;
    const char *path = getenv("FAKE_WINMM_KEYS");
    FILE *f = path ? fopen(path, "r") : NULL;
    char line[256];
    while (f && fgets(line, sizeof line, f)) {
        unsigned a, b, c;
        int n;
        if (sscanf(line, "wait %u", &a) == 1) {
            Sleep(a);
        } else if (strncmp(line, "unplug", 6) == 0) {
            unplugged = 1;
        } else if (strncmp(line, "ctrl-c", 6) == 0) {
            GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        } else if ((n = sscanf(line, "%x %x %x", &a, &b, &c)) >= 1) {
            DWORD message = a & 0xFF;
            if (n >= 2) message |= (b & 0xFF) << 8;
            if (n >= 3) message |= (c & 0xFF) << 16;
            Deliver(MIM_DATA, message);
        }
    }
    if (f) fclose(f);
    return 0;
}

MMRESULT WINAPI midiInStart(HMIDIIN in) {
    if (in != inHandle) return MMSYSERR_INVALHANDLE;
    HANDLE thread = CreateThread(NULL, 0, PlayScript, NULL, 0, NULL);
    if (thread) CloseHandle(thread);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInStop(HMIDIIN in) { return in == inHandle ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE; }

MMRESULT WINAPI midiInReset(HMIDIIN in) { return in == inHandle ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE; }

MMRESULT WINAPI midiInClose(HMIDIIN in) {
    if (in != inHandle) return MMSYSERR_INVALHANDLE;
    inCallback = 0;
    return MMSYSERR_NOERROR;
}
