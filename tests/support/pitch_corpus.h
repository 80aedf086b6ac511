/* A fixed corpus of pitches played through the exports, and the digest of
 * the messages that every build must send for it. Shared by the unit tests
 * (C++, fake back-end) and the Windows conformance host (C, recording
 * companion), so both play exactly the same calls and compare with the same
 * number.
 *
 * The corpus: scales x degrees x 1/1s.
 * - Equal divisions of the octave 1..120 (tokens n(k/N)), two periods down
 *   and up, from seven 1/1s: 12-TET notes (the default 1/1, A 440, MIDI
 *   notes 0 and 127, A 55), one 30 cents off and one off any grid. 24 and
 *   its multiples give exact quarter tones, which sit on the rounding edge
 *   between two MIDI notes.
 * - A grid of cents at every half bend unit across a semitone (100/8192
 *   cents apart, written as exact decimals), so that both the exact bend
 *   units, where truncation flips, and the points halfway between them are
 *   played; three periods down and up from five 1/1s, which reaches below
 *   MIDI note 0 and above note 127.
 * - Just ratios a/b for every b up to 64, two periods down and up.
 *
 * Every pitch is a PlayScaleDegree followed by StopAllNotesPlayed: the bulk
 * stop writes no release stamp, so the channel choice never depends on the
 * host's clock. The inputs are built with integer arithmetic and compile-time
 * constants only, so every host hands the library the same bits.
 */
#ifndef MICROTUNE_PITCH_CORPUS_H
#define MICROTUNE_PITCH_CORPUS_H

#include <stdint.h>
#include <stdio.h>

/* What every build sends for the corpus, and its size in pitches. */
#define PITCH_CORPUS_DIGEST UINT64_C(0x3098350d0e42fc28)
#define PITCH_CORPUS_PITCHES 508848L

#define PITCH_CORPUS_TEXT_SIZE 20000
#define PITCH_CORPUS_FNV_OFFSET UINT64_C(0xcbf29ce484222325)

/* FNV-1a over one message: status, channel, data1, data2, a byte each. */
static inline uint64_t PitchCorpusFold(uint64_t digest, int status, int channel, int data1,
                                       int data2) {
    const int bytes[4] = {status, channel, data1, data2};
    for (int i = 0; i < 4; ++i) {
        digest ^= (uint64_t)(bytes[i] & 0xFF);
        digest *= UINT64_C(0x100000001b3);
    }
    return digest;
}

/* The calls a host makes for the corpus. */
typedef struct PitchCorpusHost {
    void (*scale)(double oneOverOneHz, char *text); /* Set1o1, then SetMidiScale */
    void (*pitch)(int degree);                      /* PlayScaleDegree, StopAllNotesPlayed */
    void (*scaleDone)(void);                        /* fold what was sent */
} PitchCorpusHost;

/* Plays one scale from one 1/1 over the given number of periods either side;
 * returns the number of pitches. */
static inline long PitchCorpusPlay(const PitchCorpusHost *host, double hz, char *text,
                                   int stepsPerPeriod, int periods) {
    host->scale(hz, text);
    const int reach = stepsPerPeriod * periods;
    for (int degree = -reach; degree <= reach; ++degree) host->pitch(degree);
    host->scaleDone();
    return 2L * reach + 1;
}

/* Runs the whole corpus; returns the number of pitches played. */
static inline long PitchCorpusRun(const PitchCorpusHost *host) {
    static const double oneOverOnes[] = {
        261.6255653005986,  /* the default 1/1, MIDI note 60 */
        440.0,              /* MIDI note 69 */
        8.175798915643707,  /* MIDI note 0 */
        12543.853951415975, /* MIDI note 127 */
        55.0,               /* MIDI note 33 */
        447.69106452518196, /* 30 cents above A 440 */
        3000.0,             /* on no grid */
    };
    const int nOneOverOnes = (int)(sizeof oneOverOnes / sizeof oneOverOnes[0]);
    static char text[PITCH_CORPUS_TEXT_SIZE];
    long pitches = 0;

    for (int n = 1; n <= 120; ++n) {
        int used = 0;
        for (int k = 1; k < n; ++k)
            used += snprintf(text + used, sizeof text - (size_t)used, "n(%d/%d) ", k, n);
        snprintf(text + used, sizeof text - (size_t)used, "2/1");
        for (int i = 0; i < nOneOverOnes; ++i)
            pitches += PitchCorpusPlay(host, oneOverOnes[i], text, n, 2);
    }

    /* Half bend units: 8192 per semitone, each 25/2048 cents, an exact
     * decimal of 11 places. */
    const int perScale = 1020;
    for (int first = 1; first <= 8192; first += perScale) {
        int used = 0;
        int last = first + perScale - 1 < 8192 ? first + perScale - 1 : 8192;
        for (int h = first; h <= last; ++h) {
            int rest = 25 * h % 2048;
            used += snprintf(text + used, sizeof text - (size_t)used, "%d.", 25 * h / 2048);
            for (int place = 0; place < 11; ++place, rest %= 2048) {
                rest *= 10;
                text[used++] = (char)('0' + rest / 2048);
            }
            text[used++] = ' ';
        }
        snprintf(text + used, sizeof text - (size_t)used, "2/1");
        for (int i = 0; i < 5; ++i)
            pitches += PitchCorpusPlay(host, oneOverOnes[i], text, last - first + 2, 3);
    }

    for (int b = 2; b <= 64; ++b) {
        int used = 0;
        for (int a = b + 1; a <= 2 * b; ++a)
            used += snprintf(text + used, sizeof text - (size_t)used, "%d/%d ", a, b);
        for (int i = 0; i < nOneOverOnes; ++i)
            pitches += PitchCorpusPlay(host, oneOverOnes[i], text, b, 2);
    }
    return pitches;
}

#endif
