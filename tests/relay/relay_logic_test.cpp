// The relay's key logic against a recording stand-in for the library: which
// degrees start and stop, in what order and with which velocities.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keys/performer.h"
#include "library/sent_notes.h"
#include "microtune.h"
#include "microtune_ext.h"

namespace {

using mthost::KeyEvent;
using mthost::Performer;
using mthost::PerformerLibrary;

// Every library call as text, e.g. "play 4 100", "stop 4 64", "all 64", "voice 5".
std::vector<std::string> calls;

// The library's count of notes in play, as its calls answer; the next play
// silences this many notes first, as when the channels run out.
int inPlay = 0;
int silencedByNextPlay = 0;

int RecordPlay(int degree, int velocity) {
    calls.push_back("play " + std::to_string(degree) + " " + std::to_string(velocity));
    inPlay += 1 - silencedByNextPlay;
    silencedByNextPlay = 0;
    return inPlay;
}
int RecordStop(int degree, int velocity) {
    calls.push_back("stop " + std::to_string(degree) + " " + std::to_string(velocity));
    inPlay = inPlay > 0 ? inPlay - 1 : 0;
    return 7270693;  // as the library: the channel's release time stamp
}
int RecordStopAll(int velocity) {
    calls.push_back("all " + std::to_string(velocity));
    const int stopped = inPlay;  // as the library: the notes it stopped
    inPlay = 0;
    return stopped;
}
void RecordVoice(int voice) { calls.push_back("voice " + std::to_string(voice)); }
// The part forms, "part 3 play 4 100" and so on.
std::string Part(int part) { return "part " + std::to_string(part) + " "; }
int RecordPartPlay(int part, int degree, int velocity) {
    RecordPlay(degree, velocity);
    calls.back() = Part(part) + calls.back();
    return inPlay;
}
int RecordPartStop(int part, int degree, int velocity) {
    RecordStop(degree, velocity);
    calls.back() = Part(part) + calls.back();
    return 7270693;
}
int RecordPartVoice(int part, int voice) {
    RecordVoice(voice);
    calls.back() = Part(part) + calls.back();
    return 1;
}
int RecordPartController(int part, int controller, int value) {
    calls.push_back(Part(part) + "control " + std::to_string(controller) + " " +
                    std::to_string(value));
    return 1;
}

const PerformerLibrary RECORDER = {
    &RecordPlay, &RecordStop,     &RecordStopAll,  &RecordVoice,     nullptr,
    nullptr,     &RecordPartPlay, &RecordPartStop, &RecordPartVoice, &RecordPartController};

// The relay's keyboard: key k plays degree k - root, restruck keys.
class KeyRelay : public Performer {
public:
    KeyRelay(const PerformerLibrary &library, int root)
        : KeyRelay(library, mthost::LinearKeyDegrees(root)) {}
    KeyRelay(const PerformerLibrary &library, const mthost::KeyDegrees &degrees)
        : Performer(library, degrees, mthost::PerformerOptions{true}) {}
};

using Message = std::vector<unsigned char>;

class KeyRelayTest : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        inPlay = silencedByNextPlay = 0;
    }

    // Sends messages and returns the calls they caused.
    std::vector<std::string> Send(KeyRelay &relay, const std::vector<Message> &messages) {
        calls.clear();
        for (const Message &m : messages) relay.Handle(m.data(), m.size());
        return calls;
    }
};

Message On(int key, int velocity, int channel = 0) {
    return {static_cast<unsigned char>(0x90 | channel), static_cast<unsigned char>(key),
            static_cast<unsigned char>(velocity)};
}
Message Off(int key, int velocity, int channel = 0) {
    return {static_cast<unsigned char>(0x80 | channel), static_cast<unsigned char>(key),
            static_cast<unsigned char>(velocity)};
}
Message Control(int controller, int value, int channel = 0) {
    return {static_cast<unsigned char>(0xB0 | channel), static_cast<unsigned char>(controller),
            static_cast<unsigned char>(value)};
}

TEST_F(KeyRelayTest, KeysPlayDegreesFromTheRootOnAnyChannel) {
    struct Case {
        int root;
        std::vector<Message> messages;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {60,
         {On(60, 100), On(64, 90), On(67, 80, 5), On(70, 1, 15)},
         {"play 0 100", "play 4 90", "play 7 80", "play 10 1"}},
        {60, {On(48, 100), Off(48, 20)}, {"play -12 100", "stop -12 20"}},
        {0, {On(0, 127), On(127, 64)}, {"play 0 127", "play 127 64"}},
        {127, {On(0, 127)}, {"play -127 127"}},
        // Note-on with velocity 0 is a release at the default velocity.
        {60, {On(62, 100), On(62, 0)}, {"play 2 100", "stop 2 64"}},
        // A release on another channel than the press still stops the key.
        {60, {On(61, 100, 2), Off(61, 10, 7)}, {"play 1 100", "stop 1 10"}},
        // A release of a key that never sounded calls nothing.
        {60, {Off(60, 64), On(61, 0)}, {}},
    };
    for (const Case &c : cases) {
        KeyRelay relay(RECORDER, c.root);
        EXPECT_EQ(Send(relay, c.messages), c.expected) << "root " << c.root;
    }
}

TEST_F(KeyRelayTest, UnmappedKeysAreSilentThroughPedalAndRestrike) {
    mthost::KeyDegrees degrees;
    degrees[60] = 0;
    degrees[62] = 7;
    degrees[63] = 7;  // two keys, one degree
    KeyRelay relay(RECORDER, degrees);
    EXPECT_EQ(Send(relay, {On(61, 100), On(60, 90), Off(61, 10), Control(64, 127), On(61, 80),
                           Off(61, 5), Off(60, 20), Control(64, 0)}),
              (std::vector<std::string>{"play 0 90", "stop 0 20"}));
    EXPECT_FALSE(relay.Sounding(61));
    EXPECT_EQ(relay.DegreeOfKey(61), std::nullopt);
    EXPECT_EQ(Send(relay, {On(62, 100), On(63, 90), Off(62, 1), Off(63, 2)}),
              (std::vector<std::string>{"play 7 100", "play 7 90", "stop 7 1", "stop 7 2"}));
}

TEST_F(KeyRelayTest, MessagesWithoutKeysAreIgnored) {
    KeyRelay relay(RECORDER, 60);
    const std::vector<Message> ignored = {
        {},                  // empty
        {0x90, 60},          // truncated note-on
        {0x80},              // truncated note-off
        {0xC0},              // program change without its voice
        {0xB0, 64},          // truncated controller
        {0xE0, 0, 64},       // pitch wheel
        {0xA0, 60, 10},      // key pressure
        {0xD0, 10},          // channel pressure
        {0xB0, 1, 100},      // modulation wheel
        {0xB0, 121, 0},      // reset all controllers
        {0xF8},              // clock
        {0xF0, 1, 2, 0xF7},  // system exclusive
        {0x3C, 0x40},        // data bytes without a status
    };
    for (const Message &m : ignored) {
        EXPECT_EQ(relay.Handle(m.data(), m.size()).kind, KeyEvent::IGNORED);
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(KeyRelayTest, SustainPedalHoldsReleasesUntilItComesUp) {
    KeyRelay relay(RECORDER, 60);
    Send(relay, {On(60, 100), On(64, 90), On(67, 80)});
    // Releases under the pedal call nothing.
    EXPECT_EQ(Send(relay, {Control(64, 127), Off(64, 30), On(60, 0), Off(67, 5)}),
              std::vector<std::string>{});
    EXPECT_TRUE(relay.PedalDown());
    // Pedal up: held releases in the order the keys were let go, each with
    // its own release velocity.
    EXPECT_EQ(Send(relay, {Control(64, 63)}),
              (std::vector<std::string>{"stop 4 30", "stop 0 64", "stop 7 5"}));
    // Nothing is left to send a second time.
    EXPECT_EQ(Send(relay, {Control(64, 127), Control(64, 0), Off(60, 64)}),
              std::vector<std::string>{});
}

TEST_F(KeyRelayTest, DegreePressedAgainWhileHeldIsStoppedFirst) {
    KeyRelay relay(RECORDER, 60);
    Send(relay, {On(60, 100), On(64, 90), Control(64, 100), Off(60, 40), Off(64, 30)});
    EXPECT_EQ(Send(relay, {On(60, 110)}), (std::vector<std::string>{"stop 0 40", "play 0 110"}));
    // Still down at pedal up: only the other held key stops.
    EXPECT_EQ(Send(relay, {Control(64, 0)}), std::vector<std::string>{"stop 4 30"});
    EXPECT_EQ(Send(relay, {Off(60, 20)}), std::vector<std::string>{"stop 0 20"});
    // Pressed while the pedal is down and let go after it came up: stops at once.
    EXPECT_EQ(Send(relay, {Control(64, 127), On(62, 70), Control(64, 0), Off(62, 50)}),
              (std::vector<std::string>{"play 2 70", "stop 2 50"}));
}

TEST_F(KeyRelayTest, KeyHeldOnTwoChannelsSoundsOnceUntilBothLetGo) {
    KeyRelay relay(RECORDER, 60);
    EXPECT_EQ(Send(relay, {On(60, 100, 0), On(60, 80, 1)}),
              (std::vector<std::string>{"play 0 100", "stop 0 64", "play 0 80"}));
    EXPECT_EQ(Send(relay, {Off(60, 10, 0)}), std::vector<std::string>{});
    EXPECT_EQ(Send(relay, {Off(60, 20, 1)}), std::vector<std::string>{"stop 0 20"});
    EXPECT_FALSE(relay.Sounding(60));
}

TEST_F(KeyRelayTest, ProgramChangeAndAllNotesOff) {
    KeyRelay relay(RECORDER, 60);
    EXPECT_EQ(Send(relay, {{0xC3, 40}, {0xC0, 0}}),
              (std::vector<std::string>{"voice 40", "voice 0"}));

    for (int controller : {123, 120}) {
        Send(relay, {On(60, 100), On(64, 100), Control(64, 127), Off(64, 10)});
        KeyEvent event;
        calls.clear();
        const Message m = Control(controller, 0, 4);
        event = relay.Handle(m.data(), m.size());
        EXPECT_EQ(event.kind, KeyEvent::ALL_OFF);
        EXPECT_EQ(event.released, 2);
        EXPECT_EQ(calls, std::vector<std::string>{"all 64"});
        // The held release and the key still down are forgotten.
        EXPECT_EQ(Send(relay, {Control(64, 0), Off(60, 64)}), std::vector<std::string>{});
        EXPECT_FALSE(relay.Sounding(60));
    }
}

TEST_F(KeyRelayTest, EventsDescribeWhatHappened) {
    KeyRelay relay(RECORDER, 60);
    auto handle = [&relay](const Message &m) { return relay.Handle(m.data(), m.size()); };
    KeyEvent e = handle(On(67, 90, 3));
    EXPECT_EQ(e.kind, KeyEvent::KEY_DOWN);
    EXPECT_EQ(e.inputChannel, 3);
    EXPECT_EQ(e.key, 67);
    EXPECT_EQ(e.degree, 7);
    EXPECT_EQ(e.value, 90);
    EXPECT_EQ(handle(Control(64, 64)).kind, KeyEvent::PEDAL_DOWN);
    EXPECT_EQ(handle(Off(67, 0)).kind, KeyEvent::KEY_HELD);
    e = handle(Control(64, 0));
    EXPECT_EQ(e.kind, KeyEvent::PEDAL_UP);
    EXPECT_EQ(e.released, 1);
    EXPECT_EQ(handle(Off(67, 0)).kind, KeyEvent::KEY_UNUSED);

    // Notes the library silences to free a channel are counted on the key
    // that needed it, and only there; a restrike is not a cut.
    const struct {
        Message message;
        int silenced;
        int cut;
    } steps[] = {
        {On(60, 90), 0, 0}, {On(61, 90), 0, 0},      {On(62, 90), 2, 2},
        {On(62, 90), 0, 0}, {On(63, 90), 1, 1},      {Off(60, 0), 0, 0},
        {On(64, 90), 0, 0}, {Control(123, 0), 0, 0}, {On(65, 90), 0, 0},
    };
    for (const auto &step : steps) {
        silencedByNextPlay = step.silenced;
        EXPECT_EQ(handle(step.message).cut, step.cut) << int(step.message[1]);
    }
}

// A keyboard whose input channels are parts: a layered key sounds once on
// each channel, a split plays each zone's instrument, and pedal, restrike
// and all-notes-off keep to their channel.
TEST_F(KeyRelayTest, KeyboardPartsKeepChannelsApart) {
    mthost::PerformerOptions options;
    options.restrike = options.parts = true;
    Performer relay(RECORDER, mthost::LinearKeyDegrees(60), options);
    auto send = [&relay](const std::vector<Message> &messages) {
        calls.clear();
        for (const Message &m : messages) relay.Handle(m.data(), m.size());
        return calls;
    };
    using Calls = std::vector<std::string>;
    EXPECT_EQ(
        send({{0xC0, 48}, {0xC1, 73}, Control(7, 90, 1), Control(91, 30, 1), Control(71, 5, 1)}),
        (Calls{"part 0 voice 48", "part 1 voice 73", "part 1 control 7 90",
               "part 1 control 91 30"}));
    EXPECT_EQ(send({On(60, 100, 0), On(60, 90, 1), On(60, 80, 1), Off(60, 10, 0)}),
              (Calls{"part 0 play 0 100", "part 1 play 0 90", "part 1 stop 0 64",
                     "part 1 play 0 80", "part 0 stop 0 10"}));
    // Key 60 is still down once on channel 1 (struck twice, let go once).
    EXPECT_EQ(send({Control(64, 127, 1), Off(60, 5, 1), On(72, 70, 0), Control(123, 0, 1),
                    Control(123, 0, 0)}),
              (Calls{"part 0 play 12 70", "part 1 stop 0 64", "part 0 stop 12 64"}));
}

// A MIDI file's parts: repeats overlap and stop oldest first, each channel
// has its own pedal and all-notes-off, channel 10 plays percussion, and
// program changes are left to the voice chosen for the file.
TEST_F(KeyRelayTest, FilePartsKeepRepeatsChannelsAndDrumsApart) {
    PerformerLibrary library = RECORDER;
    library.playDrum = [](int note, int velocity) {
        calls.push_back("drum " + std::to_string(note) + " " + std::to_string(velocity));
        return 1;
    };
    library.stopDrum = [](int note, int) {
        calls.push_back("drum off " + std::to_string(note));
        return 1;
    };
    Performer file(library, mthost::LinearKeyDegrees(60), mthost::PerformerOptions{});
    auto send = [&file](const std::vector<Message> &messages) {
        calls.clear();
        for (const Message &m : messages) file.Handle(m.data(), m.size());
        return calls;
    };
    using Calls = std::vector<std::string>;
    EXPECT_EQ(send({On(62, 100), On(62, 90), Off(62, 10), Off(62, 20), Off(62, 30)}),
              (Calls{"play 2 100", "play 2 90", "stop 2 10", "stop 2 20"}));
    EXPECT_EQ(send({Control(64, 127, 1), On(60, 80, 1), On(64, 80, 2), Off(60, 5, 1), Off(64, 6, 2),
                    Control(64, 0, 1)}),
              (Calls{"play 0 80", "play 4 80", "stop 4 6", "stop 0 5"}));
    EXPECT_EQ(send({On(67, 70, 3), On(67, 71, 4), Control(123, 0, 3)}),
              (Calls{"play 7 70", "play 7 71", "stop 7 64"}));
    EXPECT_EQ(send({On(36, 100, 9), Off(36, 0, 9), {0xC0, 40}, {0xE0, 0, 64}}),
              (Calls{"drum 36 100", "drum off 36"}));
    EXPECT_EQ(file.Counts().notes, 6);
    EXPECT_EQ(file.Counts().drums, 1);
    EXPECT_EQ(file.Counts().pitchWheels, 1);
}

TEST(RelaySentNotes, TheLibraryTellsTheNoteAndBendOfADegree) {
    char scale[] = "16/15 9/8 6/5 5/4 4/3 45/32 3/2 8/5 5/3 9/5 15/8 2/1";
    SetMidiScale(scale);
    struct Case {
        int degree, note, bend;
    };
    // 5/4 is 13.7 cents flat of 12-TET, 3/2 2 cents sharp.
    for (const Case &c : {Case{4, 64, 7632}, Case{7, 67, 8272}, Case{12, 72, 8192}}) {
        int note = -1, bend = -1;
        EXPECT_EQ(MicrotuneDegreePitch(c.degree, &note, &bend), 1);
        EXPECT_EQ(note, c.note) << c.degree;
        EXPECT_EQ(bend, c.bend) << c.degree;
        EXPECT_NEAR(mthost::BendCentsOfDegree(c.degree), (c.bend - 8192) / 40.96, 1e-9);
    }
}

}  // namespace
