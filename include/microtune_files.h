/* microtune tuning files: reading and writing the files musicians keep
 * their tunings in, and the table of what each MIDI key plays.
 *
 *   .scl   Scala scale: a description, a note count, one pitch per line
 *   .ascl  Ableton Live's Scala with "! @ABL" directives (the reference
 *          pitch becomes the 1/1; note names are kept for listings)
 *   .tun   AnaMark tuning: the frequency of each of the 128 MIDI keys
 *          ([Tuning], or [Exact Tuning] with its basefreq)
 *   .kbm   Scala keyboard map: which key plays which degree, and which key
 *          sounds at which frequency
 *   .syx   MIDI Tuning Standard messages for synthesizers that retune
 *          their own keys
 *
 * A scale is read into a scale text that SetMidiScale installs exactly
 * (each value as the file writes it), so that nothing here changes the
 * classic interface. Every buffer belongs to the caller; nothing is kept
 * between calls, and any function may be called from any thread. Nothing
 * is printed: a file that cannot be read gives a one-line message
 * "file:line: what is wrong" (the file name with control characters and
 * the backslash escaped, so that the message is safe to show).
 *
 * Text buffers are (char *, int size): at most size - 1 bytes and a NUL
 * are written. Functions that write a file's contents return the length of
 * the whole contents, which did not fit when it is size or more: call again
 * with a larger buffer. Texts are UTF-8 (the bytes of the file), and so
 * are file names, on Windows whatever the program's code page (there a
 * name that is not UTF-8 is taken in the ANSI code page, as programs
 * written for it spell names).
 *
 * All functions use the C calling convention and are exported undecorated.
 */
#ifndef MICROTUNE_FILES_H
#define MICROTUNE_FILES_H

#include "microtune.h"

#ifdef __cplusplus
extern "C" {
#endif

/* File formats, for the format arguments and MicrotuneScaleFile.format. */
#define MICROTUNE_FORMAT_BY_NAME 0 /* from the file name's extension */
#define MICROTUNE_FORMAT_SCL 1
#define MICROTUNE_FORMAT_KBM 2
#define MICROTUNE_FORMAT_TUN 3
#define MICROTUNE_FORMAT_ASCL 4
#define MICROTUNE_FORMAT_SYX 5

/* The format an extension names (".scl", ".KBM", ...; the last '.' of
 * name counts), or MICROTUNE_FORMAT_BY_NAME (0) for none of them. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneFileFormat(const char *name);

/* Room for any scale text a file gives (1022 values of up to 100
 * characters each), and for a message. */
#define MICROTUNE_SCALE_TEXT_SIZE 104448
#define MICROTUNE_MESSAGE_SIZE 1024
#define MICROTUNE_DESCRIPTION_SIZE 1024
#define MICROTUNE_NOTE_NAMES_SIZE 4096
#define MICROTUNE_KEYS 128

/* What a scale file gives besides its scale text. */
typedef struct MicrotuneScaleFile {
    int format;  /* MICROTUNE_FORMAT_SCL, _ASCL or _TUN: how the file was read */
    int pitches; /* values in the scale text: the 1/1 is not among them */
    /* The description line, cut at a character boundary when longer. */
    char description[MICROTUNE_DESCRIPTION_SIZE];
    /* The 1/1 in Hz that the file sets (.ascl's reference pitch; a .tun's
     * key 0), or 0 when the file leaves it to the caller (.scl). */
    double one_one_hz;
    /* .ascl's REFERENCE_PITCH as written: its octave, scale degree and Hz
     * (reference_hz 0: the file has none). */
    int reference_octave, reference_degree;
    double reference_hz;
    /* .ascl NOTE_NAMES, one name per degree, each ended by '\n' (as many
     * whole names as fit); empty when the file names none. */
    char note_names[MICROTUNE_NOTE_NAMES_SIZE];
    /* A .tun is a whole keyboard: 1, and key k plays degree k of the scale
     * text from the 1/1 one_one_hz, sounding at key_hz[k]. 0 otherwise. */
    int full_keyboard;
    double key_hz[MICROTUNE_KEYS];
} MicrotuneScaleFile;

/* Reads a scale from a .scl, .ascl or .tun file: the format by the name's
 * extension (anything but .ascl and .tun is read as Scala), or as given.
 * text receives the scale text. Files over 1 MiB are refused. Returns 1,
 * or 0 with the message in error (scale and text then carry no meaning). */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneReadScaleFile(const char *path, int format,
                                                           MicrotuneScaleFile *scale, char *text,
                                                           int text_size, char *error,
                                                           int error_size);

/* The same from the contents of a file in memory; name is the file name
 * the messages give (and whose extension picks the format). */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneReadScaleMemory(const char *data, int size,
                                                             const char *name, int format,
                                                             MicrotuneScaleFile *scale, char *text,
                                                             int text_size, char *error,
                                                             int error_size);

/* Checks a scale text before SetMidiScale reads it: the parser skips what
 * it cannot use (a word, a 0, a division by zero) and takes a negative
 * ratio as it is, which a user who typed them never meant. Returns 1 when
 * every word is a pitch value, a lone "h" or the keyword "cents" following
 * a value; otherwise 0 with "word N, 'WORD': what" in problem. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneCheckScaleText(const char *text, char *problem,
                                                            int problem_size);

/* A keyboard map: which MIDI key plays which scale degree. For a key k in
 * [first_key, last_key] with i = k - middle_key: size 0 plays degree i;
 * otherwise block = floor(i / size), j = i - block * size, and the key
 * plays block * octave_degree + mapping[j] (octave_degree 0: the scale's
 * size), or nothing when mapping[j] is MICROTUNE_UNMAPPED. Keys outside
 * the range are silent. A map entry may name any degree, also one beyond
 * the octave degree: it is taken as written. */
#define MICROTUNE_MAX_MAP_SIZE 1024
#define MICROTUNE_UNMAPPED (-2147483647 - 1)

typedef struct MicrotuneKeyboardMap {
    int size;
    int first_key, last_key; /* 0-127 */
    int middle_key;
    int reference_key;   /* the key that sounds at reference_hz */
    double reference_hz; /* 0: none, the 1/1 is given apart */
    int octave_degree;
    int reference_line; /* the reference key's line in its file, for messages (0: none) */
    int mapping[MICROTUNE_MAX_MAP_SIZE];
} MicrotuneKeyboardMap;

/* Key k plays degree k - root_key on every key; no reference. */
MICROTUNE_EXPORT void MICROTUNE_CAPI MicrotuneLinearKeyboardMap(int root_key,
                                                                MicrotuneKeyboardMap *map);

/* Reads a .kbm file: one value per line (comments start with '!'), the
 * size, first, last, middle and reference keys, the reference frequency
 * (a decimal number of Hz from 8.1758, MIDI key 0, to 13289.66, the top of
 * what MIDI keys can be tuned to), the formal octave degree, then the map
 * entries (a degree or x). Missing entries at the end are unmapped; a blank
 * line before the last value is refused. Returns 1, or 0 with the message. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneReadKeyboardMapFile(const char *path,
                                                                 MicrotuneKeyboardMap *map,
                                                                 char *error, int error_size);
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneReadKeyboardMapMemory(const char *data, int size,
                                                                   const char *name,
                                                                   MicrotuneKeyboardMap *map,
                                                                   char *error, int error_size);

/* The scale's size for a table as GetScaleFromText reads it (entry 0 the
 * 1/1, the last entry the period): the degrees per period, count - 1. A
 * single step that divides 2/1 evenly (the default {1, 2^(1/12)}, or
 * "63.158") counts its steps per 2/1 (12, 19). A table with no period (the
 * 1/1 alone, or a series) has size 0. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneScaleSize(const double *ratios, int count);

/* The degree key plays under map for a scale of scale_size, or
 * MICROTUNE_UNMAPPED when the key is silent. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneKeyDegree(const MicrotuneKeyboardMap *map, int key,
                                                       int scale_size);

/* MIDI Tuning Standard frequency data: the key at or below, and the
 * fraction above it in 1/16384 semitone, rounded to nearest. Frequencies
 * beyond what MTS reaches (key 0 in 12-TET to 7F 7F 7E) are sent as the
 * nearest end; 7F 7F 7F ("no change") is never given. Returns 0 inside
 * the range, -1 below (no pitch included), 1 above. */
#define MICROTUNE_MTS_LOWEST_HZ 8.175798915643707
#define MICROTUNE_MTS_HIGHEST_HZ 13289.65661609167
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneMtsFrequency(double hz, unsigned char data[3]);

/* What one key plays. */
typedef struct MicrotuneKey {
    int degree; /* MICROTUNE_UNMAPPED: silent under the map */
    double hz;  /* the frequency; an unmapped key keeps its 12-TET pitch (as MTS does) */
    /* The MIDI note and 14-bit bend that PlayScaleDegree sends for the
     * degree on a 2-semitone bend range; -1 for an unmapped key. */
    int note, bend;
    unsigned char mts[3]; /* MTS frequency data for hz */
    int mts_range;        /* as MicrotuneMtsFrequency returns */
} MicrotuneKey;

typedef struct MicrotuneKeyTable {
    double one_one_hz; /* the 1/1 the keys were worked out from */
    int scale_size;
    int unmapped; /* keys the map leaves silent */
    MicrotuneKey keys[MICROTUNE_KEYS];
} MicrotuneKeyTable;

/* The key table of a scale (count ratios as GetScaleFromText reads them;
 * count 0: the library's default 12-TET) under a keyboard map (null:
 * linear from key 60). A map with a reference sets the 1/1 so that the
 * reference key sounds at its frequency; otherwise the 1/1 is one_one_hz
 * (0: the library's default, 261.6256 Hz). map_name names the map in
 * messages. Returns 1; 0 with the message when the reference key is
 * silent or has no usable ratio, when the map moves by the scale's size
 * and the scale has none, or when a key's frequency is out of range; -1
 * when called from inside the message tap. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneMakeKeyTable(const double *ratios, int count,
                                                          const MicrotuneKeyboardMap *map,
                                                          const char *map_name, double one_one_hz,
                                                          MicrotuneKeyTable *table, char *error,
                                                          int error_size);

/* Writers. Each returns the length of the whole contents (see above), or
 * -1 with the message in error when the tuning has no form in that format.
 *
 * .scl (and .ascl) from a scale text that MicrotuneCheckScaleText accepts:
 * ratios and cents as written, other values as cents with nine decimals;
 * a series (h) has no Scala form. The description's control characters
 * become '?'. For .ascl, one_one_hz (0: none) is written as the reference
 * pitch of degree 0 in octave reference_octave, and note_names (null or
 * "": none; one name per line) as NOTE_NAMES. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteScala(const char *scale_text,
                                                        const char *description, char *out,
                                                        int out_size, char *error, int error_size);
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteAscl(const char *scale_text,
                                                       const char *description, double one_one_hz,
                                                       int reference_octave, const char *note_names,
                                                       char *out, int out_size, char *error,
                                                       int error_size);

/* .kbm from a map; a map without a reference gets one: the first key from
 * the middle key outwards that plays a degree within reach, at its
 * frequency in table (which must be the map's). */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteKeyboardMap(const MicrotuneKeyboardMap *map,
                                                              const MicrotuneKeyTable *table,
                                                              char *out, int out_size, char *error,
                                                              int error_size);

/* .tun: [Tuning] (whole cents, for old readers) and [Exact Tuning] (cents
 * with six decimals from basefreq, MIDI key 0 in 12-TET) for the 128 keys
 * of table; unmapped keys keep 12-TET. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteTun(const MicrotuneKeyTable *table,
                                                      const char *description, char *out,
                                                      int out_size);

/* MIDI Tuning Standard messages for the 128 keys of table, to device
 * (0-127, 127 all) and tuning program (0-127). The bulk dump
 * (non-real-time, 408 bytes) carries a 16-character ASCII name (other
 * characters become '?'); the single-note tuning change (real-time) comes
 * as two messages of 64 keys, 264 bytes each. */
#define MICROTUNE_MTS_BULK_DUMP_SIZE 408
#define MICROTUNE_MTS_SINGLE_NOTE_SIZE 528
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteMtsBulkDump(const MicrotuneKeyTable *table,
                                                              const char *name, int device,
                                                              int program, unsigned char *out,
                                                              int out_size);
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteMtsSingleNote(const MicrotuneKeyTable *table,
                                                                int device, int program,
                                                                unsigned char *out, int out_size);

/* A keyboard of 128 frequencies (a .tun's) as a scale and a map: when the
 * keys repeat at a period of n keys (n at most 64, each key the same
 * interval above the key n below it, within 0.00001 cents; a period of
 * 1200 cents first, else the shortest), text receives
 * the n steps from key 60 in cents and map a linear map with key 60 at its
 * frequency, and n is returned. Otherwise text receives the 127 steps from
 * key 0 (a linear map with key 0 at its frequency) and 0 is returned. -1
 * when a frequency is not positive and finite or text is too small. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneScaleOfKeys(const double key_hz[MICROTUNE_KEYS],
                                                         char *text, int text_size,
                                                         MicrotuneKeyboardMap *map);

#ifdef __cplusplus
}
#endif

#endif /* MICROTUNE_FILES_H */
