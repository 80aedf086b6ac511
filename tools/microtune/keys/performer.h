// MIDI key messages become scale degrees started and stopped through the
// library: note on and off, the sustain pedal, program changes, all notes
// off and the drum channel. The relay drives it from a keyboard, retune from
// a MIDI file's events. It keeps no clock and does no I/O, so every message
// costs a few comparisons and at most a handful of library calls.
#ifndef MICROTUNE_KEYS_PERFORMER_H
#define MICROTUNE_KEYS_PERFORMER_H

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "keys/key_layout.h"

namespace mthost {

// The library calls the performer makes. Commands bind them to the exports;
// tests bind them to recorders.
struct PerformerLibrary {
    int (*play)(int degree, int velocity);
    int (*stop)(int degree, int velocity);
    int (*stopAll)(int velocity);
    void (*setVoice)(int voice);
    // Null: the drum channel plays degrees like any other.
    int (*playDrum)(int note, int velocity);
    int (*stopDrum)(int note, int velocity);
    // The part forms, for a performer whose input channels are parts.
    int (*playPart)(int part, int degree, int velocity);
    int (*stopPart)(int part, int degree, int velocity);
    int (*setPartVoice)(int part, int voice);
    int (*setPartController)(int part, int controller, int value);
};

// The library's own exports.
PerformerLibrary LibraryExports();

// What one message did, for the verbose listing and the latency figures.
struct KeyEvent {
    enum Kind {
        IGNORED,     // not a message the performer acts on
        KEY_DOWN,    // a degree started (possibly after stopping it first)
        KEY_UP,      // a degree stopped
        KEY_HELD,    // a release held back by the sustain pedal
        KEY_UNUSED,  // a release with nothing to stop
        KEY_SILENT,  // a press of a key the keyboard map leaves unmapped
        DRUM,        // a percussion note started or stopped
        PEDAL_DOWN,
        PEDAL_UP,  // held releases sent
        VOICE,     // program change passed on
        CONTROL,   // a controller that follows a part passed on
        ALL_OFF,   // every note of the keyboard (or of the file's channel) stopped
    };
    Kind kind = IGNORED;
    int inputChannel = 0;  // 0-based, as on the wire
    int key = 0;
    int degree = 0;
    int value = 0;     // velocity, voice number or controller value
    int released = 0;  // degrees stopped, including held releases and restrikes
    // Notes the library silenced to free a channel for this key: more
    // differently bent notes were held than there are channels.
    int cut = 0;
};

// Releases without a note-off velocity of their own (note-on with velocity 0,
// all-notes-off, a restruck degree) use this one, the MIDI default.
constexpr int DEFAULT_RELEASE_VELOCITY = 64;
constexpr int SUSTAIN_CONTROLLER = 64;
constexpr int PEDAL_DOWN_VALUE = 64;  // and above
constexpr int ALL_SOUND_OFF_CONTROLLER = 120;
constexpr int ALL_NOTES_OFF_CONTROLLER = 123;
constexpr int DRUM_CHANNEL = 9;  // channel 10 on the wire
constexpr int MIDI_CHANNELS = 16;

struct PerformerOptions {
    // A live keyboard (the relay): a key is one note whichever channel
    // strikes it, and striking a sounding key stops it before it starts
    // again; one sustain pedal and one all-notes-off for the whole keyboard;
    // program changes pick the voice.
    // Otherwise (a MIDI file's parts): every note-on is a note of its own, a
    // note-off stops the oldest of its key's repeats; each channel has its
    // own pedal and all-notes-off; channel 10 plays the library's percussion;
    // program changes are left alone (the voice is chosen once).
    bool restrike = false;
    // Each input channel is a part of its own (the library's parts): its
    // notes, program changes and the controllers that follow a part
    // (modulation, volume, pan, expression, reverb, chorus) are that part's;
    // keys, pedal and all-notes-off are the channel's; a restruck key is
    // restruck on its own channel. A layered keyboard sounds a key once per
    // channel, each on its instrument.
    bool parts = false;
    // With parts: program changes are ignored (every part keeps the voice
    // the command set).
    bool fixedVoice = false;
};

// What a performance came to, for the command's summary.
struct PerformerCounts {
    int notes = 0;        // degrees started
    int drums = 0;        // percussion notes started
    int unmapped = 0;     // presses of unmapped keys
    int pitchWheels = 0;  // pitch-wheel messages, which the library's bends replace
};

class Performer {
public:
    Performer(const PerformerLibrary &library, const KeyDegrees &degrees,
              const PerformerOptions &options);

    // One complete MIDI message as the input delivers it.
    KeyEvent Handle(const unsigned char *message, std::size_t size);

    // Stops whatever the performer started and forgets held releases.
    void StopEverything();

    bool PedalDown(int channel = 0) const { return pedal_[Slot(channel)]; }
    // Whether a note of the key sounds, on any channel.
    bool Sounding(int key) const;
    std::optional<int> DegreeOfKey(int key) const {
        return key >= 0 && key < KEYS ? degrees_[key] : std::nullopt;
    }
    const PerformerCounts &Counts() const { return counts_; }

private:
    static constexpr int KEYS = 128;
    struct KeyState {
        int down = 0;       // presses not yet released
        int sounding = 0;   // notes started and not stopped (at most 1 when restruck)
        bool held = false;  // restrike: released while the pedal was down
    };
    struct Release {
        int key, velocity;
    };

    // Keys and pedals are the keyboard's (slot 0) or each channel's.
    int Slot(int channel) const { return options_.restrike && !options_.parts ? 0 : channel; }
    bool DrumChannel(int channel) const {
        return !options_.restrike && library_.playDrum && channel == DRUM_CHANNEL;
    }
    KeyEvent KeyDown(int channel, int key, int velocity);
    KeyEvent KeyUp(int channel, int key, int velocity);
    KeyEvent Control(int channel, int controller, int value);
    KeyEvent Pedal(int channel, int value);
    KeyEvent Program(int channel, int voice);
    int Play(int slot, int degree, int velocity);
    void StopChannel(int slot);
    void StopNote(int slot, int key, int velocity);
    int Unhold(int slot, int key);

    PerformerLibrary library_;
    KeyDegrees degrees_;
    PerformerOptions options_;
    std::array<std::array<KeyState, KEYS>, MIDI_CHANNELS> keys_{};
    std::array<bool, MIDI_CHANNELS> pedal_{};
    // Held releases in the order they happened; sent in that order.
    std::array<std::vector<Release>, MIDI_CHANNELS> held_;
    int inPlay_ = 0;  // notes in play: the last play's answer, less the stops since
    PerformerCounts counts_;
};

}  // namespace mthost

#endif
