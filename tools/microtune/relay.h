// The relay's key logic: MIDI messages from a keyboard become scale degrees
// started and stopped through the library, with the sustain pedal, program
// changes and all-notes-off. It keeps no clock and does no I/O, so every
// message costs a few comparisons and at most a handful of library calls.
#ifndef MICROTUNE_RELAY_H
#define MICROTUNE_RELAY_H

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace mthost {

// The library calls the relay makes. The command binds them to the exports;
// tests bind them to recorders.
struct RelayLibrary {
    int (*play)(int degree, int velocity);
    int (*stop)(int degree, int velocity);
    int (*stopAll)(int velocity);
    void (*setVoice)(int voice);
};

// The library's own exports.
RelayLibrary LibraryExports();

// What one message did, for the verbose listing and the latency figures.
struct RelayEvent {
    enum Kind {
        IGNORED,     // not a message the relay acts on
        KEY_DOWN,    // a degree started (possibly after stopping it first)
        KEY_UP,      // a degree stopped
        KEY_HELD,    // a release held back by the sustain pedal
        KEY_UNUSED,  // a release with nothing to stop
        KEY_SILENT,  // a press of a key the keyboard map leaves unmapped
        PEDAL_DOWN,
        PEDAL_UP,  // held releases sent
        VOICE,     // program change passed on
        ALL_OFF,   // every note stopped
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
constexpr int ALL_SOUND_OFF_CONTROLLER = 120;
constexpr int ALL_NOTES_OFF_CONTROLLER = 123;

// The degree each MIDI key plays; nullopt: the key is silent.
using KeyDegrees = std::array<std::optional<int>, 128>;

class KeyRelay {
public:
    // Key k plays degree k - rootKey.
    KeyRelay(const RelayLibrary &library, int rootKey);
    KeyRelay(const RelayLibrary &library, const KeyDegrees &degrees);

    // One complete MIDI message as the input port delivers it.
    RelayEvent Handle(const unsigned char *message, std::size_t size);

    // Stops whatever the relay started and forgets held releases.
    void StopEverything();

    bool PedalDown() const { return pedal_; }
    bool Sounding(int key) const { return key >= 0 && key < KEYS && keys_[key].sounding; }
    std::optional<int> DegreeOfKey(int key) const {
        return key >= 0 && key < KEYS ? degrees_[key] : std::nullopt;
    }

private:
    static constexpr int KEYS = 128;
    struct KeyState {
        int down = 0;  // presses not yet released, over all input channels
        bool sounding = false;
        bool held = false;  // released while the pedal was down
        int releaseVelocity = DEFAULT_RELEASE_VELOCITY;
    };

    RelayEvent KeyDown(int channel, int key, int velocity);
    RelayEvent KeyUp(int channel, int key, int velocity);
    RelayEvent Pedal(int channel, int value);
    void StopKey(int key, int velocity);
    void Unhold(int key);

    RelayLibrary library_;
    KeyDegrees degrees_;
    bool pedal_ = false;
    std::array<KeyState, KEYS> keys_{};
    // Held releases in the order they happened; sent in that order.
    std::array<int, KEYS> heldOrder_{};
    int heldCount_ = 0;
    int inPlay_ = 0;  // notes in play: the last play's answer, less the stops since
};

}  // namespace mthost

#endif
