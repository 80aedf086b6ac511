#include "keys/performer.h"

#include "microtune.h"
#include "microtune_ext.h"

namespace mthost {
namespace {

int ExportStopAll(int velocity) { return StopAllNotesPlayed(velocity); }

// The controllers that the library keeps for each part.
bool PartController(int controller) {
    return controller == 1 || controller == 7 || controller == 10 || controller == 11 ||
           controller == 91 || controller == 93;
}

// A live keyboard holds at most one release per key; growing past that
// would allocate on the input's thread.
constexpr std::size_t HELD_RESERVE = 128;

KeyEvent KeyEventOf(KeyEvent::Kind kind, int channel, int key, int velocity) {
    KeyEvent event;
    event.kind = kind;
    event.inputChannel = channel;
    event.key = key;
    event.value = velocity;
    return event;
}

}  // namespace

PerformerLibrary LibraryExports() {
    PerformerLibrary library;
    // Through plain functions: the exports have the standard calling
    // convention on 32-bit Windows (the bulk stop the C one).
    library.play = [](int degree, int velocity) { return PlayScaleDegree(degree, velocity); };
    library.stop = [](int degree, int velocity) { return StopScaleDegree(degree, velocity); };
    library.stopAll = &ExportStopAll;
    library.setVoice = [](int voice) { SetMidiVoice(voice); };
    library.playDrum = [](int note, int velocity) {
        return PlayNonMelodicPercussion(note, velocity);
    };
    library.stopDrum = [](int note, int velocity) {
        return StopNonMelodicPercussion(note, velocity);
    };
    library.playPart = &MicrotunePlayPartDegree;
    library.stopPart = &MicrotuneStopPartDegree;
    library.setPartVoice = &MicrotuneSetPartVoice;
    library.setPartController = &MicrotuneSetPartController;
    return library;
}

Performer::Performer(const PerformerLibrary &library, const KeyDegrees &degrees,
                     const PerformerOptions &options)
    : library_(library), degrees_(degrees), options_(options) {
    for (std::vector<Release> &held : held_) held.reserve(HELD_RESERVE);
}

bool Performer::Sounding(int key) const {
    if (key < 0 || key >= KEYS) return false;
    for (const auto &slot : keys_)
        if (slot[key].sounding > 0) return true;
    return false;
}

KeyEvent Performer::Handle(const unsigned char *message, std::size_t size) {
    KeyEvent ignored;
    if (!message || size == 0) return ignored;
    const int status = message[0];
    // System messages and stray data bytes carry no keys.
    if (status < 0x80 || status >= 0xF0) return ignored;
    const int channel = status & 0x0F;
    ignored.inputChannel = channel;
    const int data1 = size > 1 ? message[1] & 0x7F : 0;
    const int data2 = size > 2 ? message[2] & 0x7F : 0;

    switch (status & 0xF0) {
        case 0x90:
            if (size < 3) return ignored;
            if (data2 == 0) return KeyUp(channel, data1, DEFAULT_RELEASE_VELOCITY);
            return KeyDown(channel, data1, data2);
        case 0x80:
            if (size < 3) return ignored;
            return KeyUp(channel, data1, data2);
        case 0xB0:
            if (size < 3) return ignored;
            return Control(channel, data1, data2);
        case 0xC0:
            if (size < 2) return ignored;
            return Program(channel, data1);
        case 0xE0:
            ++counts_.pitchWheels;
            return ignored;
        default:
            return ignored;
    }
}

KeyEvent Performer::KeyDown(int channel, int key, int velocity) {
    KeyEvent event = KeyEventOf(KeyEvent::KEY_DOWN, channel, key, velocity);
    if (DrumChannel(channel)) {
        library_.playDrum(key, velocity);
        ++counts_.drums;
        event.kind = KeyEvent::DRUM;
        return event;
    }
    if (!degrees_[key]) {
        ++counts_.unmapped;
        event.kind = KeyEvent::KEY_SILENT;
        return event;
    }
    event.degree = *degrees_[key];
    const int slot = Slot(channel);
    KeyState &state = keys_[slot][key];
    // Restruck: a degree still sounding (held by the pedal, or struck again
    // on another channel) ends before it starts again.
    if (options_.restrike && state.sounding) {
        StopNote(slot, key, state.held ? Unhold(slot, key) : DEFAULT_RELEASE_VELOCITY);
        event.released = 1;
    }
    // The library answers with its count of notes in play: fewer than one
    // more means that it silenced a channel to make room.
    const int before = inPlay_;
    inPlay_ = Play(slot, event.degree, velocity);
    if (inPlay_ < before + 1) event.cut = before + 1 - inPlay_;
    ++state.sounding;
    ++state.down;
    ++counts_.notes;
    return event;
}

KeyEvent Performer::KeyUp(int channel, int key, int velocity) {
    KeyEvent event = KeyEventOf(KeyEvent::KEY_UNUSED, channel, key, velocity);
    if (DrumChannel(channel)) {
        library_.stopDrum(key, velocity);
        event.kind = KeyEvent::DRUM;
        return event;
    }
    if (!degrees_[key]) return event;  // a silent key: nothing to stop
    event.degree = *degrees_[key];
    const int slot = Slot(channel);
    KeyState &state = keys_[slot][key];
    // Nothing to stop: a stray note-off, or a note already stopped by
    // all-notes-off or a restrike.
    if (state.down == 0 && !options_.restrike) return event;
    if (state.down > 0) --state.down;
    // Restruck keys sound until every channel that holds them lets go.
    if (options_.restrike && (state.down > 0 || !state.sounding || state.held)) return event;
    if (pedal_[slot]) {
        state.held = options_.restrike;
        held_[slot].push_back({key, velocity});
        event.kind = KeyEvent::KEY_HELD;
        return event;
    }
    StopNote(slot, key, velocity);
    event.kind = KeyEvent::KEY_UP;
    event.released = 1;
    return event;
}

KeyEvent Performer::Control(int channel, int controller, int value) {
    KeyEvent event;
    event.inputChannel = channel;
    event.value = value;
    if (DrumChannel(channel)) return event;
    if (options_.parts && PartController(controller)) {
        library_.setPartController(channel, controller, value);
        event.kind = KeyEvent::CONTROL;
        event.key = controller;
        return event;
    }
    if (controller == SUSTAIN_CONTROLLER) return Pedal(channel, value);
    if (controller != ALL_NOTES_OFF_CONTROLLER && controller != ALL_SOUND_OFF_CONTROLLER)
        return event;
    event.kind = KeyEvent::ALL_OFF;
    event.value = controller;
    const int slot = Slot(channel);
    for (const KeyState &state : keys_[slot]) event.released += state.sounding;
    if (options_.restrike && !options_.parts)
        StopEverything();
    else
        StopChannel(slot);
    return event;
}

// A keyboard's program change picks the voice (of its part, with parts); a
// file's is its part's, or left to the voice chosen for the file.
KeyEvent Performer::Program(int channel, int voice) {
    KeyEvent event;
    event.inputChannel = channel;
    if (DrumChannel(channel) || options_.fixedVoice) return event;
    if (options_.parts)
        library_.setPartVoice(channel, voice);
    else if (options_.restrike)
        library_.setVoice(voice);
    else
        return event;
    event.kind = KeyEvent::VOICE;
    event.value = voice;
    return event;
}

int Performer::Play(int slot, int degree, int velocity) {
    return options_.parts ? library_.playPart(slot, degree, velocity)
                          : library_.play(degree, velocity);
}

KeyEvent Performer::Pedal(int channel, int value) {
    KeyEvent event;
    event.inputChannel = channel;
    event.value = value;
    const int slot = Slot(channel);
    if (value >= PEDAL_DOWN_VALUE) {
        pedal_[slot] = true;
        event.kind = KeyEvent::PEDAL_DOWN;
        return event;
    }
    pedal_[slot] = false;
    event.kind = KeyEvent::PEDAL_UP;
    // In the order the keys were let go, each with its own velocity.
    for (const Release &release : held_[slot]) {
        keys_[slot][release.key].held = false;
        StopNote(slot, release.key, release.velocity);
        ++event.released;
    }
    held_[slot].clear();
    return event;
}

// All notes off on one channel: whatever it started ends (a restruck key
// sounds once, however often it is down).
void Performer::StopChannel(int slot) {
    Pedal(slot, 0);
    for (int key = 0; key < KEYS; ++key) {
        KeyState &state = keys_[slot][key];
        for (int stops = options_.restrike ? state.sounding : state.down; stops > 0; --stops)
            StopNote(slot, key, DEFAULT_RELEASE_VELOCITY);
        state.down = 0;
    }
}

void Performer::StopNote(int slot, int key, int velocity) {
    // The stop answers with a release time, not a count: a note fewer, as
    // far as the performer knows (the next play's answer corrects it when
    // the note had already been cut).
    if (options_.parts)
        library_.stopPart(slot, *degrees_[key], velocity);
    else
        library_.stop(*degrees_[key], velocity);
    if (inPlay_ > 0) --inPlay_;
    KeyState &state = keys_[slot][key];
    if (state.sounding > 0) --state.sounding;
}

// Takes a restruck key's held release off the list; its velocity.
int Performer::Unhold(int slot, int key) {
    keys_[slot][key].held = false;
    std::vector<Release> &held = held_[slot];
    int velocity = DEFAULT_RELEASE_VELOCITY;
    std::size_t to = 0;
    for (const Release &release : held) {
        if (release.key == key)
            velocity = release.velocity;
        else
            held[to++] = release;
    }
    held.resize(to);
    return velocity;
}

void Performer::StopEverything() {
    library_.stopAll(DEFAULT_RELEASE_VELOCITY);  // answers with the notes it stopped
    inPlay_ = 0;
    for (auto &slot : keys_) slot.fill(KeyState());
    for (std::vector<Release> &held : held_) held.clear();
}

}  // namespace mthost
