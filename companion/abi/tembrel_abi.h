/* The companion module's contract (libTembrelLib.so): the entries the
 * library and the host look up by name, their signatures, the settings the
 * companion reads from the environment and their defaults. The companion,
 * the host and the calibration code all include this one header, so that a
 * name or a signature cannot drift between them. Plain C, C linkage. */
#ifndef TEMBREL_ABI_H
#define TEMBREL_ABI_H

#ifdef __cplusplus
extern "C" {
#endif

/* The module's file name as the dynamic loader finds it. */
#define TEMBREL_MODULE_FILE "libTembrelLib.so"

/* ---- The four entries the library calls (the library looks them up by
 * their decorated Windows names, "_Tembrel_Initialise_SME@0" and so on,
 * which name these). */
#define TEMBREL_INITIALISE_ENTRY "Tembrel_Initialise_SME"
#define TEMBREL_SEND_MIDI_EVENT_ENTRY "Tembrel_SendMidiEvent"
#define TEMBREL_DELAY_ENTRY "Tembrel_Delay"
#define TEMBREL_CLEAN_UP_ENTRY "Tembrel_CleanUp_SME"
/* 1 when the synthesizer plays (or already played), 0 when the font or the
 * output cannot be opened. */
typedef int (*TembrelInitialiseEntry)(void);
/* One channel message: status (the channel bits are ignored), channel 0..31. */
typedef void (*TembrelSendMidiEventEntry)(int status, int channel, int data1, int data2);
/* Sleeps when live; advances the clock of a rendering without sleeping. */
typedef void (*TembrelDelayEntry)(double seconds);
typedef void (*TembrelCleanUpEntry)(void);

/* Why the initialise entry last returned 0 ("" after a start), for
 * MicrotuneLastError: the library looks it up as "_Tembrel_StartError@0". */
#define TEMBREL_START_ERROR_ENTRY "Tembrel_StartError"
typedef const char *(*TembrelStartErrorEntry)(void);

/* ---- Entries the host adds. */

/* Recording: every message of the send entry, in order, on the caller's
 * thread, before it is played; a null callback ends recording. */
#define TEMBREL_SET_RECORDER_ENTRY "Tembrel_SetRecorder"
typedef void (*TembrelRecordCallback)(void *context, int status, int channel, int data1, int data2);
typedef void (*TembrelSetRecorderEntry)(TembrelRecordCallback record, void *context);

/* Calibration: measuring every key of a font's programs, in a private
 * synthesizer, and keeping the results in the calibration cache. */
#define TEMBREL_KEYS 128
/* A key's state in a TembrelProgramCalibration. */
#define TEMBREL_KEY_CORRECTED 'c' /* measured; corrected by `correction` */
#define TEMBREL_KEY_UNPITCHED 'u' /* sounds, without a stable pitch: left alone */
#define TEMBREL_KEY_WILD 'w'      /* measured too far off to be believed: left alone */
#define TEMBREL_KEY_SILENT 's'    /* the preset has nothing on this key */
typedef struct TembrelProgramCalibration {
    char state[TEMBREL_KEYS];
    double cents[TEMBREL_KEYS];      /* what the key sounds, from 100*key cents */
    double correction[TEMBREL_KEYS]; /* cents added to the key */
    double seconds;                  /* time the measuring took */
} TembrelProgramCalibration;

/* Opens a calibrator for the font: null when FluidSynth cannot load it. */
#define TEMBREL_CALIBRATOR_OPEN_ENTRY "Tembrel_CalibratorOpen"
typedef void *(*TembrelCalibratorOpenEntry)(const char *fontPath);
/* The font's content hash (16 hex digits) and the cache folder ("" when
 * there is no home), valid while the calibrator is open. */
#define TEMBREL_CALIBRATOR_FONT_HASH_ENTRY "Tembrel_CalibratorFontHash"
typedef const char *(*TembrelCalibratorFontHashEntry)(void *calibrator);
#define TEMBREL_CALIBRATOR_CACHE_ENTRY "Tembrel_CalibratorCacheDirectory"
typedef const char *(*TembrelCalibratorCacheEntry)(void *calibrator);
/* Measures a program and stores it in the cache: TEMBREL_CALIBRATED, or
 * TEMBREL_NOT_IN_FONT, or TEMBREL_NOT_SAVED (measured, the cache cannot be
 * written). */
#define TEMBREL_CALIBRATE_PROGRAM_ENTRY "Tembrel_CalibrateProgram"
#define TEMBREL_CALIBRATED 1
#define TEMBREL_NOT_IN_FONT 0
#define TEMBREL_NOT_SAVED 2
typedef int (*TembrelCalibrateProgramEntry)(void *calibrator, int bank, int program,
                                            TembrelProgramCalibration *out);
#define TEMBREL_CALIBRATOR_CLOSE_ENTRY "Tembrel_CalibratorClose"
typedef void (*TembrelCalibratorCloseEntry)(void *calibrator);

/* ---- Settings, read from the environment when the synthesizer starts. */
#define TEMBREL_SOUNDFONT_ENV "MICROTUNE_SOUNDFONT"
#define TEMBREL_DEFAULT_SOUNDFONT "/usr/share/sounds/sf2/default-GM.sf2"
/* Render into this WAV file instead of playing live. A file that outgrows
 * what a WAV header can count (4 GiB) goes on as RF64, the WAV of any length. */
#define TEMBREL_WAV_ENV "MICROTUNE_SYNTH_WAV"
/* The WAV file's samples: "float" (32-bit floating point, the default: no
 * chord can clip), "pcm16" or "pcm24" (integers, clipped at full scale). */
#define TEMBREL_WAV_FORMAT_ENV "MICROTUNE_SYNTH_WAV_FORMAT"
#define TEMBREL_WAV_FORMAT_DEFAULT "float"
/* The size in bytes at which the WAV file goes on as RF64: 4 GiB, or less
 * (for tests: the move to RF64 without writing gigabytes). */
#define TEMBREL_WAV_LIMIT_ENV "MICROTUNE_SYNTH_WAV_LIMIT"
/* Why the WAV file is not sound ("" while it is), kept past clean-up. */
#define TEMBREL_WAV_ERROR_ENTRY "Tembrel_WavError"
typedef const char *(*TembrelWavErrorEntry)(void);
/* Decibels added to all the synthesizer plays, live or rendered (default 0). */
#define TEMBREL_GAIN_ENV "MICROTUNE_SYNTH_GAIN"
#define TEMBREL_GAIN_MIN_DB (-60.0)
#define TEMBREL_GAIN_MAX_DB 30.0
/* TEMBREL_CLOCK_DELAY: only the delay entry moves the WAV clock. */
#define TEMBREL_CLOCK_ENV "MICROTUNE_SYNTH_CLOCK"
#define TEMBREL_CLOCK_DELAY "delay"
/* "1" or "0": chorus and reverb; default on live, off when rendering. */
#define TEMBREL_EFFECTS_ENV "MICROTUNE_SYNTH_EFFECTS"
/* TEMBREL_OUTPUT_NONE: no sound at all, only the recorder hears. */
#define TEMBREL_OUTPUT_ENV "MICROTUNE_SYNTH_OUTPUT"
#define TEMBREL_OUTPUT_NONE "none"
/* "0": play the font's keys as they are, uncorrected. */
#define TEMBREL_CALIBRATE_ENV "MICROTUNE_SYNTH_CALIBRATE"

/* FluidSynth turns pitch into frequency at whole cents, rounding down; half
 * a cent more on every channel makes that the nearest cent. */
#define TEMBREL_CHANNEL_FINE_TUNE_CENTS 0.5f

#ifdef __cplusplus
}
#endif

#endif
