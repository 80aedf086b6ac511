/* microtune: play music in any tuning on General MIDI synthesizers.
 *
 * A flat C interface. A host installs a scale, sets the frequency of the
 * 1/1, opens an output device, picks a General MIDI voice, and starts and
 * stops scale degrees by number. Every function runs to completion on the
 * calling thread.
 *
 * Threads: every function may be called from any thread. Each call is
 * atomic with respect to the others: it holds the library's one lock from
 * start to end, so it sees and leaves a consistent state, and calls from
 * several threads are serialized. The order between threads is the host's
 * business. SleepSeconds, TestPitchBendRange (between its steps) and
 * PrintVoices (while it waits for input) do not hold the lock while they
 * wait. A text returned by GetszMostRecentScale stays where it is, but
 * another thread's scale may rewrite it: copy it where that matters.
 * Extensions beyond these functions (a message tap, a degree's note and
 * bend, the version) are in microtune_ext.h.
 *
 * On Windows every function uses the standard calling convention except
 * StopAllNotesPlayed and StopAllNotesPlayedInChannel, which use the C
 * convention. On POSIX systems the list-box helpers take a
 * MicrotuneListControl instead of a window handle.
 */
#ifndef MICROTUNE_H
#define MICROTUNE_H

#ifdef _WIN32
#include <windows.h>
#define MICROTUNE_API __stdcall
#define MICROTUNE_CAPI __cdecl
#ifdef MICROTUNE_BUILDING
#define MICROTUNE_EXPORT
#else
#define MICROTUNE_EXPORT __declspec(dllimport)
#endif
typedef HWND MicrotuneControl;
typedef WPARAM MicrotuneWParam;
#else
#define MICROTUNE_API
#define MICROTUNE_CAPI
#define MICROTUNE_EXPORT __attribute__((visibility("default")))

/* Binds the five list-control operations of the host helpers to any
 * toolkit. A null callback answers -1 where an answer is used. */
typedef struct MicrotuneListControl {
    void *context;
    void (*set_redraw)(void *context, int on);
    void (*reset_content)(void *context);
    void (*add_string)(void *context, const char *text);
    int (*set_cur_sel)(void *context, int index); /* index selected, or -1 */
    int (*get_cur_sel)(void *context);            /* selected index, or -1 */
} MicrotuneListControl;

typedef MicrotuneListControl *MicrotuneControl;
typedef unsigned int MicrotuneWParam;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Devices, opening and closing */
MICROTUNE_EXPORT int MICROTUNE_API nNumOutDevices(void);
MICROTUNE_EXPORT char *MICROTUNE_API szNameForDevice(int iDev, char *buffer, int nLen);
MICROTUNE_EXPORT int MICROTUNE_API StartMidiOut(void);
MICROTUNE_EXPORT int MICROTUNE_API StartMidiOutForiDev(int iDev);
MICROTUNE_EXPORT int MICROTUNE_API StopMidiOut(void);
MICROTUNE_EXPORT int MICROTUNE_API OpenMidiOut(int deviceId);
MICROTUNE_EXPORT int MICROTUNE_API CloseMidiOut(void);
MICROTUNE_EXPORT double MICROTUNE_API dSecsSinceStartMidiOut(void);
MICROTUNE_EXPORT void MICROTUNE_API SleepSeconds(double seconds);

/* Channels and voice */
MICROTUNE_EXPORT void MICROTUNE_API SetMidiVoice(int voice);
MICROTUNE_EXPORT int MICROTUNE_API nChannelsAvailable(void);

/* Companion synthesizer backend */
MICROTUNE_EXPORT int MICROTUNE_API CheckForQTLibrary(void);
MICROTUNE_EXPORT int MICROTUNE_API StartQT(void);
MICROTUNE_EXPORT void MICROTUNE_API StopQT(void);

/* Tuning */
MICROTUNE_EXPORT void MICROTUNE_API Set1o1(double hz);
MICROTUNE_EXPORT int MICROTUNE_API GetnScaleNotes(void);
MICROTUNE_EXPORT void MICROTUNE_API GetScaleFromText(double *ratios, int *count, char *text,
                                                     int maxEntries);
MICROTUNE_EXPORT char *MICROTUNE_API GetszMostRecentScale(void);
MICROTUNE_EXPORT void MICROTUNE_API SetMidiScale(char *text);

/* Bulk stops (C calling convention) */
MICROTUNE_EXPORT int MICROTUNE_CAPI StopAllNotesPlayed(int velocity);
MICROTUNE_EXPORT int MICROTUNE_CAPI StopAllNotesPlayedInChannel(int velocity, int channel);

/* Notes */
MICROTUNE_EXPORT int MICROTUNE_API PlayScaleDegree(int degree, int velocity);
MICROTUNE_EXPORT int MICROTUNE_API StopScaleDegree(int degree, int velocity);
MICROTUNE_EXPORT int MICROTUNE_API DoBendForScaleDegree(int degree);
MICROTUNE_EXPORT int MICROTUNE_API DoBendForScaleDegreeInLoop(int degree);
MICROTUNE_EXPORT int MICROTUNE_API PlayNonMelodicPercussion(int note, int velocity);
MICROTUNE_EXPORT int MICROTUNE_API StopNonMelodicPercussion(int note, int unused);

/* Diagnostics */
MICROTUNE_EXPORT int MICROTUNE_API PrintNotesInPlay(void);
MICROTUNE_EXPORT int MICROTUNE_API TestPitchBendRange(void);

/* Voices */
MICROTUNE_EXPORT char *MICROTUNE_API GetMidiVoiceName(int index, char *buf, int len);
MICROTUNE_EXPORT int MICROTUNE_API FindMidiVoice(char *text, char *nameOut, int len);
MICROTUNE_EXPORT int MICROTUNE_API PrintVoices(void);

/* Host controls */
MICROTUNE_EXPORT int MICROTUNE_API FillListWithMidiOutDevices(MicrotuneControl hwnd);
MICROTUNE_EXPORT int MICROTUNE_API FillComboWithMidiOutDevices(MicrotuneControl hwnd);
MICROTUNE_EXPORT int MICROTUNE_API GetListSelMidiOutDevice(MicrotuneControl hwnd,
                                                           MicrotuneWParam wParam);
MICROTUNE_EXPORT int MICROTUNE_API GetComboSelMidiOutDevice(MicrotuneControl hwnd,
                                                            MicrotuneWParam wParam);
MICROTUNE_EXPORT int MICROTUNE_API SetListSelMidiOutDevice(MicrotuneControl hwnd, int index);
MICROTUNE_EXPORT int MICROTUNE_API SetComboSelMidiOutDevice(MicrotuneControl hwnd, int index);
MICROTUNE_EXPORT int MICROTUNE_API FillListWithMidiVoices(MicrotuneControl hwnd);
MICROTUNE_EXPORT int MICROTUNE_API FillComboWithMidiVoices(MicrotuneControl hwnd);
MICROTUNE_EXPORT int MICROTUNE_API GetListSelMidiVoice(MicrotuneControl hwnd,
                                                       MicrotuneWParam wParam);
MICROTUNE_EXPORT int MICROTUNE_API GetComboSelMidiVoice(MicrotuneControl hwnd,
                                                        MicrotuneWParam wParam);
MICROTUNE_EXPORT int MICROTUNE_API SetListSelMidiVoice(MicrotuneControl hwnd, int index);
MICROTUNE_EXPORT int MICROTUNE_API SetComboSelMidiVoice(MicrotuneControl hwnd, int index);

#ifdef __cplusplus
}
#endif

#endif /* MICROTUNE_H */
