#include "relay.h"

#include "microtune.h"

namespace mthost {
namespace {

int ExportStopAll(int velocity) { return StopAllNotesPlayed(velocity); }

}  // namespace

RelayLibrary LibraryExports() {
    RelayLibrary library;
    library.play = &PlayScaleDegree;
    library.stop = &StopScaleDegree;
    // The bulk stop has the C calling convention on Windows.
    library.stopAll = &ExportStopAll;
    library.setVoice = &SetMidiVoice;
    return library;
}

namespace {

KeyDegrees LinearDegrees(int rootKey) {
    KeyDegrees degrees;
    for (int key = 0; key < static_cast<int>(degrees.size()); ++key) degrees[key] = key - rootKey;
    return degrees;
}

}  // namespace

KeyRelay::KeyRelay(const RelayLibrary &library, int rootKey)
    : KeyRelay(library, LinearDegrees(rootKey)) {}

KeyRelay::KeyRelay(const RelayLibrary &library, const KeyDegrees &degrees)
    : library_(library), degrees_(degrees) {}

RelayEvent KeyRelay::Handle(const unsigned char *message, std::size_t size) {
    RelayEvent ignored;
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
        case 0xB0: {
            if (size < 3) return ignored;
            if (data1 == SUSTAIN_CONTROLLER) return Pedal(channel, data2);
            if (data1 != ALL_NOTES_OFF_CONTROLLER && data1 != ALL_SOUND_OFF_CONTROLLER)
                return ignored;
            RelayEvent event;
            event.kind = RelayEvent::ALL_OFF;
            event.inputChannel = channel;
            event.value = data1;
            for (const KeyState &state : keys_) event.released += state.sounding ? 1 : 0;
            StopEverything();
            return event;
        }
        case 0xC0: {
            if (size < 2) return ignored;
            library_.setVoice(data1);
            RelayEvent event;
            event.kind = RelayEvent::VOICE;
            event.inputChannel = channel;
            event.value = data1;
            return event;
        }
        default:
            return ignored;
    }
}

RelayEvent KeyRelay::KeyDown(int channel, int key, int velocity) {
    RelayEvent event;
    event.kind = RelayEvent::KEY_DOWN;
    event.inputChannel = channel;
    event.key = key;
    event.value = velocity;
    if (!degrees_[key]) {
        event.kind = RelayEvent::KEY_SILENT;
        return event;
    }
    event.degree = *degrees_[key];
    KeyState &state = keys_[key];
    // One note per degree: a degree still sounding (held by the pedal, or
    // struck again on another channel) ends before it starts again.
    if (state.sounding) {
        StopKey(key, state.held ? state.releaseVelocity : DEFAULT_RELEASE_VELOCITY);
        event.released = 1;
    }
    // The library answers with its count of notes in play: fewer than one
    // more means that it silenced a channel to make room.
    const int before = inPlay_;
    inPlay_ = library_.play(event.degree, velocity);
    if (inPlay_ < before + 1) event.cut = before + 1 - inPlay_;
    state.sounding = true;
    ++state.down;
    return event;
}

RelayEvent KeyRelay::KeyUp(int channel, int key, int velocity) {
    RelayEvent event;
    event.kind = RelayEvent::KEY_UNUSED;
    event.inputChannel = channel;
    event.key = key;
    event.value = velocity;
    if (!degrees_[key]) return event;  // a silent key: nothing to stop
    event.degree = *degrees_[key];
    KeyState &state = keys_[key];
    if (state.down > 0) --state.down;
    // Another channel still holds the key down, or the note was already
    // stopped by all-notes-off or a restrike.
    if (state.down > 0 || !state.sounding || state.held) return event;
    if (pedal_) {
        state.held = true;
        state.releaseVelocity = velocity;
        heldOrder_[heldCount_++] = key;
        event.kind = RelayEvent::KEY_HELD;
        return event;
    }
    StopKey(key, velocity);
    event.kind = RelayEvent::KEY_UP;
    event.released = 1;
    return event;
}

RelayEvent KeyRelay::Pedal(int channel, int value) {
    RelayEvent event;
    event.inputChannel = channel;
    event.value = value;
    if (value >= 64) {
        pedal_ = true;
        event.kind = RelayEvent::PEDAL_DOWN;
        return event;
    }
    pedal_ = false;
    event.kind = RelayEvent::PEDAL_UP;
    // StopKey takes keys off the list; send them in the order they were let go.
    while (heldCount_ > 0) {
        const int key = heldOrder_[0];
        StopKey(key, keys_[key].releaseVelocity);
        ++event.released;
    }
    return event;
}

void KeyRelay::StopKey(int key, int velocity) {
    KeyState &state = keys_[key];
    // The stop answers with a release time, not a count: a row fewer, as
    // far as the relay knows (the next play's answer corrects it when the
    // note had already been cut).
    library_.stop(*degrees_[key], velocity);
    if (inPlay_ > 0) --inPlay_;
    state.sounding = false;
    if (state.held) Unhold(key);
}

void KeyRelay::Unhold(int key) {
    keys_[key].held = false;
    keys_[key].releaseVelocity = DEFAULT_RELEASE_VELOCITY;
    int to = 0;
    for (int from = 0; from < heldCount_; ++from)
        if (heldOrder_[from] != key) heldOrder_[to++] = heldOrder_[from];
    heldCount_ = to;
}

void KeyRelay::StopEverything() {
    library_.stopAll(DEFAULT_RELEASE_VELOCITY);  // answers with the notes it stopped
    inPlay_ = 0;
    for (KeyState &state : keys_) state = KeyState();
    heldCount_ = 0;
}

}  // namespace mthost
