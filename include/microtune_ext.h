/* microtune extensions: functions beyond the classic interface of
 * microtune.h, for hosts that need to know what the library sent.
 *
 * Every function here has C linkage and the C calling convention, and is
 * exported undecorated on Windows, so a host that loads the library at run
 * time finds it by its plain name. Like every function of microtune.h,
 * each may be called from any thread.
 */
#ifndef MICROTUNE_EXT_H
#define MICROTUNE_EXT_H

#include "microtune.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Receives each channel message the library sends. channel is the
 * library's channel (0-15, or 0-31 while the companion synthesizer is
 * active); status is the status byte with the low four bits of that
 * channel (0x90 | (channel & 15) for a note-on); data1 and data2 are the
 * data bytes as sent: the low 8 bits of each on a MIDI output, the values
 * unchanged to the companion synthesizer, and 0 as the second byte of a
 * program change. */
typedef void(MICROTUNE_CAPI *MicrotuneMessageTap)(void *context, int channel, int status, int data1,
                                                  int data2);

/* Installs the tap; a null tap removes it. From then on every message that
 * leaves the library, to whichever device or synthesizer is in use, is
 * passed to the tap first, on the thread of the call that sends it, in the
 * order sent. Messages that go nowhere (no output open and the companion
 * synthesizer inactive) are not passed: the tap sees exactly what leaves.
 *
 * The library lock is held while the tap runs, so the tap must be quick
 * and must not wait on another thread that calls the library. A call into
 * the library from inside the tap does nothing and returns at once: 0 (a
 * null pointer from the functions that return a text, 0.0 from
 * dSecsSinceStartMidiOut), and -1 from the functions of this header.
 *
 * Returns 1, or -1 when called from inside the tap. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneSetMessageTap(MicrotuneMessageTap tap, void *context);

/* The MIDI note (0-127) and 14-bit bend (0-16383, 8192 is none) that
 * PlayScaleDegree would send for the degree with the current scale and
 * 1/1 (on the MPE zone's range while one is set), computed the same way, without playing anything
 * or changing any state (before any scale is installed: those of the default scale that
 * PlayScaleDegree would install). Either pointer may be null.
 *
 * Returns 1. 0 would mean a degree without a pitch, which the present
 * rules never give (a ratio that is not positive and finite falls back to
 * the 1/1). -1 when called from inside the message tap, with nothing
 * written. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneDegreePitch(int degree, int *note, int *bend);

/* The ratio of a degree by the rule PlayScaleDegree plays it by, in any
 * table of count ratios: the installed one, or one that GetScaleFromText
 * read (entry 0 the 1/1, or the step of a series when it is not 1; the last
 * entry the period). *ratio receives the rule's value. Returns 1 when that
 * is a pitch (positive and finite), 0 when it is not (PlayScaleDegree plays
 * such a degree of a series at the 1/1) or when ratio, or ratios with a
 * count above 0, is null; -1 from inside the message tap, with nothing
 * written. At most as many entries as a scale holds are read. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneRatioForScaleDegree(const double *ratios, int count,
                                                                 int degree, double *ratio);

/* Opens the output as a recorder: no device, the 32 channels of the
 * companion synthesizer's route (whose 2-semitone bend range needs no
 * message), and every message handed to the message tap alone, with its
 * values unchanged. A host that writes what the library plays into a file
 * needs no synthesizer this way. Closed by CloseMidiOut or StopMidiOut like
 * any output. Its time is the recording's: SleepSeconds moves the library's
 * clock on at once, without sleeping, and release stamps and
 * dSecsSinceStartMidiOut follow it, so the same calls make the same channel
 * choices however fast the host runs.
 *
 * Returns 1; 2 when an output is already open; 0 while the companion
 * synthesizer is active (its route takes every message); -1 from inside the
 * message tap. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneOpenRecordingOutput(void);

/* The library's version, "major.minor.patch"; a constant text. May be
 * called at any time, also from inside the message tap. */
MICROTUNE_EXPORT const char *MICROTUNE_CAPI MicrotuneVersion(void);

/* Why the last failing call of the calling thread failed, as one line of
 * text: a MIDI output that did not open (OpenMidiOut, StartMidiOut,
 * StartMidiOutForiDev), the companion synthesizer that could not be loaded
 * or did not start (CheckForQTLibrary, StartQT, StartMidiOutForiDev), its
 * sound font. "" while no such call of this thread has failed. A call that
 * succeeds leaves the text as it is, so read it right after the failure.
 * The text belongs to the thread and stays valid until its next failing
 * call; nothing is allocated. May be called at any time, also from inside
 * the message tap. */
MICROTUNE_EXPORT const char *MICROTUNE_CAPI MicrotuneLastError(void);

/* Parts: several instruments at once. A part is an instrument (a General
 * MIDI program and the controllers that follow it) that has channels of its
 * own while it sounds: a channel holds notes of one part and one bend at a
 * time. Parts are numbered 0-15; part 0 is the classic interface's
 * (PlayScaleDegree and StopScaleDegree play part 0, and its voice is the
 * one SetMidiVoice sets).
 *
 * Until one of these four functions is first called, nothing changes: the
 * library sends exactly what it sent before parts existed. From then on a
 * note of a part goes, in order of preference, to
 *   1. a channel sounding that part at the note's bend (notes share it);
 *   2. a silent channel set for that part and bend;
 *   3. a silent channel set for that part;
 *   4. any silent channel;
 * among silent channels of one kind, the one released longest ago (ties to
 * the lowest channel), so that a note's release tail is the last to be
 * re-bent. When every channel sounds, the channel released longest ago is
 * silenced (note-offs of velocity 127 for its notes, whatever their part)
 * and taken, as PlayScaleDegree always did: it has sounded longest, and a
 * note asked for must sound. When a channel passes to another part, the
 * part's program change, then the controllers it was given (in the order
 * modulation, volume, pan, expression, reverb, chorus), then General MIDI
 * values for the controllers another part left on the channel (0, 100, 64,
 * 127, 40, 0) go out before the bend and the note-on, so every note starts
 * on its own instrument, volume and pan. Percussion (channel 9) is as
 * before.
 *
 * SetMidiVoice sends its program change to every channel, and so sets the
 * voice of every part (parts play voice 0 until it or
 * MicrotuneSetPartVoice is called); opening the output
 * still sends part 0's voice to every channel, and each channel restates
 * its part's program and controllers at its next note. StopScaleDegree
 * stops only part 0's notes; StopAllNotesPlayed and
 * StopAllNotesPlayedInChannel stop every part's. DoBendForScaleDegree and
 * DoBendForScaleDegreeInLoop (and so SetMidiScale's pre-bending) bend
 * channels by the classic rule, whatever part they are set for.
 *
 * Invalid arguments return 0 and change nothing; from inside the message
 * tap, -1. */

/* The part's General MIDI program (0-127). Sent at once to the channels
 * holding the part's notes, and remembered. Returns 1. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneSetPartVoice(int part, int voice);

/* The part's value (0-127) of a controller that follows a part: modulation
 * (1), volume (7), pan (10), expression (11), reverb (91) or chorus (93).
 * Sent at once to the channels holding the part's notes, and remembered.
 * Returns 1. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneSetPartController(int part, int controller, int value);

/* PlayScaleDegree for the part: the same pitch, velocity clamping and
 * result (the number of notes in play). */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotunePlayPartDegree(int part, int degree, int velocity);

/* StopScaleDegree for the part: stops the part's oldest note of the degree,
 * never another part's, with the same result (the release stamp, or the
 * number of notes in play when the part plays no such note). */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneStopPartDegree(int part, int degree, int velocity);

/* MPE output: an MPE (MIDI Polyphonic Expression) zone, for the synthesizers
 * that bend each note alone on a wide range but take no 2-semitone channel
 * bends or tuning tables reliably.
 *
 * memberChannels 0 is the classic output, exactly as without this function
 * (bendSemitones is then ignored). 1-15 sets a lower zone: the manager on
 * channel 0 (MIDI channel 1), members on channels 1 to memberChannels, whose
 * bend range is bendSemitones (1-96; MPE's default is 48); the manager
 * keeps 2. A zone lives on one port's 16 channels on every route
 * (nChannelsAvailable says 16 while one is set).
 *
 * The open output (and every later StartMidiOut..., and
 * MicrotuneOpenRecordingOutput) first hears the MPE configuration message
 * (registered parameter 6 on the manager with the member count, then the
 * null parameter), then registered parameter 0 with the bend range on every
 * member and 2 on the manager (each followed by the null parameter), then
 * the voice and part 0's controllers on the manager, then centred bends.
 *
 * A note goes to the silent member released longest ago (ties to the
 * lowest), so that a release tail is the last re-bent; only when every
 * member sounds does it join a member already at its bend that does not
 * sound its key, and failing that the member released longest ago is
 * silenced (note-offs of velocity 127) and taken. Notes never go to the
 * manager. The bend goes before every note-on, also when the member has
 * it already (some synthesizers centre a member's bend at its note-off).
 *
 * The bend: the nearest key as always, and the rest, at most half a
 * semitone, on the zone's range: 8192 / bendSemitones steps per semitone,
 * rounded to the nearest step. A step is 100 * bendSemitones / 8192 cents
 * and the worst error half a step: 0.146 cents at 24 semitones, 0.293 at
 * 48, 0.586 at 96 (on the classic 2-semitone bends, under 0.025). A pitch
 * beyond keys 0-127 gets as much of the distance as the range carries.
 *
 * One zone, one instrument: part 0 is the zone. Its voice (SetMidiVoice,
 * MicrotuneSetPartVoice(0, ...)) and controllers
 * (MicrotuneSetPartController(0, ...)) go to the manager channel alone, as
 * MPE synthesizers apply them to the whole zone; the part functions for
 * parts 1-15 return 0 and change nothing. Percussion: channel 9 is the drum
 * channel only outside the zone. With 9 members or more (MIDI channel 10
 * is then a member) PlayNonMelodicPercussion and StopNonMelodicPercussion
 * send nothing and return the number of notes in play; with fewer, drums
 * play on channel 9 as always.
 *
 * DoBendForScaleDegree, DoBendForScaleDegreeInLoop and SetMidiScale send no
 * bends ahead in a zone (each note carries its own). TestPitchBendRange
 * tests the zone's range: member 1 plays key 60 + s bent s semitones down,
 * then member 2 key 60 - s bent s up, s the bend range or 12 if less; both
 * sound as key 60 only when the synthesizer bends the members by the zone's
 * range. StopAllNotesPlayed and closing the output end every member's note
 * and send every member a centred bend.
 *
 * Changing the zone ends every note sounding (and centres the old members'
 * bends); while the output is open, a new zone is configured at once, and
 * channels that leave it get the 2-semitone range back. Returning to 0
 * sends the configuration message with 0 members (the synthesizer leaves
 * MPE), the 2-semitone range on all 16 channels and the voice on every
 * channel but 9, as an open does. Setting the zone that is set changes
 * nothing.
 *
 * Returns 1; 0 for invalid arguments (nothing changes); -1 from inside the
 * message tap. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneSetMpeZone(int memberChannels, int bendSemitones);

/* Frequency notes: any pitch, not only a degree of the scale, for a part.
 * A frequency note is placed exactly as a degree of that frequency would be
 * (the nearest MIDI note and the bend that reaches the frequency from it,
 * by the channel rule above), and its pitch is absolute: a later change of
 * the scale or the 1/1 does not move it. Like the part functions, the
 * first call puts parts in use.
 *
 * The handle names the note until it ends. It goes stale when the note is
 * stopped, and also when StopAllNotesPlayed, StopAllNotesPlayedInChannel
 * or the channel rule (a channel silenced for a new note) ends it; a stale
 * handle does nothing and gets 0. Handles count up from 1 and are not
 * given again while any note holds them. StopScaleDegree and
 * MicrotuneStopPartDegree never stop a frequency note; PrintNotesInPlay
 * lists one with its handle where a degree stands.
 *
 * MICROTUNE_OWN_CHANNEL asks for a channel of the note's own: a silent
 * channel (or, when every channel sounds, one silenced for it) that no
 * later note joins while this one sounds. A note that is to glide needs
 * one, so that its glide never bends another note. While an MPE zone is
 * set, frequency notes are refused (0): a zone plays degrees. */
#define MICROTUNE_OWN_CHANNEL 1

/* Starts a note of the part at hz (above 0 and finite) with the velocity
 * (clamped to 0-127 as PlayScaleDegree does); flags is 0 or
 * MICROTUNE_OWN_CHANNEL. A frequency beyond what MIDI notes reach (about
 * 7.28 Hz to 14080 Hz with the bend) plays at the nearest pitch they do.
 * Returns the note's handle (above 0); 0 for an invalid part, frequency or
 * flag, or when the notes in play are full (nothing is sent then); -1 from
 * inside the message tap. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotunePlayPartFrequency(int part, double hz, int velocity,
                                                               int flags);

/* Stops the note with a note-off of the velocity (clamped to 0-127).
 * Returns 1; 0 for a stale handle; -1 from inside the message tap. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneStopNote(int handle, int velocity);

/* Moves the sounding note to hz by its channel's bend alone, from the same
 * MIDI note. Returns 1 when done (or when the channel already had that
 * bend); 0, with nothing sent, for a stale handle, a frequency that is not
 * above 0 and finite, one beyond the 2-semitone bend range from the note,
 * or while another note sounds on the channel (a note played without
 * MICROTUNE_OWN_CHANNEL may share one); -1 from inside the message tap. */
MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneGlideNote(int handle, double hz);

#ifdef __cplusplus
}
#endif

#endif /* MICROTUNE_EXT_H */
