// Filling list and combo controls with devices and voices, and reading and
// setting their selections.
#include <string>
#include <vector>

#include "fixture.h"
#include "voices/voice_catalogue.h"

namespace {

using fake::EventKind;

constexpr int LIST = 0;
constexpr int COMBO = 1;

class ListHelpersTest : public MicrotuneTest {
protected:
    fake::ListControl control;

    // The control operations recorded since the start of the test, in a
    // form that reads like the calls: "redraw 0", "reset", "add Violin",
    // "set 40", "get"; each prefixed by the kind when it is a combo box.
    std::vector<std::string> ControlOps() {
        std::vector<std::string> ops;
        for (const fake::Event &event : fake::Events()) {
            std::string op;
            switch (event.kind) {
                case EventKind::ControlSetRedraw:
                    op = "redraw " + std::to_string(event.value);
                    break;
                case EventKind::ControlResetContent:
                    op = "reset";
                    break;
                case EventKind::ControlAddString:
                    op = "add " + event.text;
                    break;
                case EventKind::ControlSetCurSel:
                    op = "set " + std::to_string(static_cast<int>(event.value));
                    break;
                case EventKind::ControlGetCurSel:
                    op = "get";
                    break;
                default:
                    continue;
            }
            EXPECT_EQ(event.handle, static_cast<const void *>(control.control())) << op;
            if (event.args[0] == COMBO) op = "combo " + op;
            ops.push_back(op);
        }
        return ops;
    }

    static std::vector<std::string> VoiceFillOps(const std::string &prefix, int selected) {
        std::vector<std::string> ops = {prefix + "redraw 0", prefix + "reset"};
        for (int k = 0; k < mt::NUM_MIDI_VOICES; ++k)
            ops.push_back(prefix + "add " + mt::VoiceNameTable[k]);
        ops.push_back(prefix + "set " + std::to_string(selected));
        ops.push_back(prefix + "redraw 1");
        return ops;
    }

    static std::vector<std::string> VoiceNames() {
        return std::vector<std::string>(mt::VoiceNameTable,
                                        mt::VoiceNameTable + mt::NUM_MIDI_VOICES);
    }
};

MicrotuneWParam Notification(unsigned code, unsigned id = 0x1234) { return (code << 16) | id; }

TEST_F(ListHelpersTest, FillListWithVoicesSelectsCurrentVoice) {
    mt::iCurrentVoice = 40;
    control.items = {"left over"};
    EXPECT_EQ(FillListWithMidiVoices(control.control()), 40);
    EXPECT_EQ(ControlOps(), VoiceFillOps("", 40));
    EXPECT_EQ(control.items, VoiceNames());
    EXPECT_EQ(control.selected, 40);
    EXPECT_EQ(control.items[40], "Violin");
    EXPECT_EQ(control.redraws, (std::vector<int>{0, 1}));
}

TEST_F(ListHelpersTest, FillComboWithVoicesOutsideTheItemsLeavesNoSelection) {
    for (int voice : {-1, 128}) {
        fake::ClearEvents();
        mt::iCurrentVoice = voice;
        EXPECT_EQ(FillComboWithMidiVoices(control.control()), voice);
        EXPECT_EQ(ControlOps(), VoiceFillOps("combo ", voice));
        EXPECT_EQ(control.selected, -1);
        EXPECT_EQ(mt::iCurrentVoice, voice) << "the fill ignores the control's answer";
    }
}

TEST_F(ListHelpersTest, FillWithDevicesListsEveryEntryInOrder) {
    fake::SetDevices({{"Synth A"}, {"Synth B"}, {"Synth C"}});
    mt::iSelectedDevice = 1;
    EXPECT_EQ(FillComboWithMidiOutDevices(control.control()), 1);

    const int n = nNumOutDevices();
    ASSERT_GE(n, 3);
    std::vector<std::string> expected = {"combo redraw 0", "combo reset"};
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) {
        char name[1024];
        names.push_back(szNameForDevice(i, name, sizeof name));
        expected.push_back("combo add " + names.back());
    }
    expected.push_back("combo set 1");
    expected.push_back("combo redraw 1");
    EXPECT_EQ(ControlOps(), expected);
    EXPECT_EQ(control.items, names);
    EXPECT_EQ(control.selected, 1);
    EXPECT_EQ(mt::iSelectedDevice, 1);
}

TEST_F(ListHelpersTest, FillsWithoutAControlTouchNothing) {
    fake::SetDevices({{"Synth A"}, {"Synth B"}});
    mt::iSelectedDevice = 2;
    mt::iCurrentVoice = 7;
    EXPECT_EQ(FillListWithMidiOutDevices(nullptr), 0);
    EXPECT_EQ(FillComboWithMidiOutDevices(nullptr), 0);
    EXPECT_TRUE(mt::bDevicesCounted) << "the device list is counted even without a control";
    EXPECT_EQ(FillListWithMidiVoices(nullptr), 0);
    EXPECT_EQ(FillComboWithMidiVoices(nullptr), 0);
    EXPECT_TRUE(ControlOps().empty());
    EXPECT_EQ(mt::iSelectedDevice, 2);
    EXPECT_EQ(mt::iCurrentVoice, 7);
}

// Each read-back export with a notification code it ignores and the one it
// acts on; the low word (the control's identifier) never matters.
TEST_F(ListHelpersTest, ReadBackActsOnlyOnTheKindsSelectionCode) {
    struct ReadBack {
        const char *name;
        int (*call)(MicrotuneControl, MicrotuneWParam);
        int *remembered;
        unsigned actsOn;
        std::vector<unsigned> ignores;
    };
    const ReadBack rows[] = {
        {"GetListSelMidiOutDevice", GetListSelMidiOutDevice, &mt::iSelectedDevice, 1, {0, 2, 9}},
        {"GetComboSelMidiOutDevice", GetComboSelMidiOutDevice, &mt::iSelectedDevice, 9, {0, 1, 2}},
        {"GetListSelMidiVoice", GetListSelMidiVoice, &mt::iCurrentVoice, 1, {0, 2, 9}},
        {"GetComboSelMidiVoice", GetComboSelMidiVoice, &mt::iCurrentVoice, 9, {0, 1, 2}},
    };
    for (const ReadBack &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string prefix = row.actsOn == 9 ? "combo " : "";
        control.items = {"a", "b", "c", "d"};
        control.selected = 3;
        *row.remembered = 1;
        fake::ClearEvents();
        for (unsigned code : row.ignores) {
            EXPECT_EQ(row.call(control.control(), Notification(code)), 1) << code;
            EXPECT_EQ(row.call(control.control(), Notification(code, 0xFFFF)), 1) << code;
        }
        EXPECT_TRUE(ControlOps().empty());
        EXPECT_EQ(*row.remembered, 1);

        EXPECT_EQ(row.call(control.control(), Notification(row.actsOn, 0xFFFF)), 3);
        EXPECT_EQ(*row.remembered, 3);

        control.selected = -1;  // nothing selected
        EXPECT_EQ(row.call(control.control(), Notification(row.actsOn)), -1);
        EXPECT_EQ(*row.remembered, -1);
        EXPECT_EQ(ControlOps(), (std::vector<std::string>{prefix + "get", prefix + "get"}));
    }
}

TEST_F(ListHelpersTest, SelectingADeviceDoesNotChooseIt) {
    fake::SetDevices({{"Synth A"}, {"Synth B"}, {"Synth C"}});
    mt::iSelectedDevice = 0;
    FillListWithMidiOutDevices(control.control());
    fake::ClearEvents();

    EXPECT_EQ(SetListSelMidiOutDevice(control.control(), 2), 2);
    EXPECT_EQ(control.selected, 2);
    EXPECT_EQ(SetComboSelMidiOutDevice(control.control(), 50), -1);
    EXPECT_EQ(ControlOps(), (std::vector<std::string>{"set 2", "combo set 50"}));
    EXPECT_EQ(mt::iSelectedDevice, 0);

    FillListWithMidiOutDevices(control.control());
    EXPECT_EQ(control.selected, 0) << "a later fill selects the remembered device again";
}

TEST_F(ListHelpersTest, SelectingAVoiceRemembersTheControlsAnswer) {
    FillComboWithMidiVoices(control.control());
    fake::ClearEvents();

    EXPECT_EQ(SetComboSelMidiVoice(control.control(), 5), 5);
    EXPECT_EQ(mt::iCurrentVoice, 5);
    EXPECT_EQ(control.items[control.selected], "Chorused Piano");

    EXPECT_EQ(SetListSelMidiVoice(control.control(), 128), -1);
    EXPECT_EQ(mt::iCurrentVoice, -1);
    EXPECT_EQ(ControlOps(), (std::vector<std::string>{"combo set 5", "set 128"}));
}

TEST_F(ListHelpersTest, NoHelperSendsMidi) {
    // As if an output were open, so that any message would be recorded.
    fake::SetDevices({{"Synth A"}});
    mt::hMidiOut = const_cast<void *>(fake::HandleOfDevice(0));
    mt::bMidiOutOpen = 1;
    MicrotuneControl c = control.control();
    FillListWithMidiOutDevices(c);
    FillComboWithMidiOutDevices(c);
    FillListWithMidiVoices(c);
    FillComboWithMidiVoices(c);
    GetListSelMidiOutDevice(c, Notification(1));
    GetComboSelMidiOutDevice(c, Notification(9));
    GetListSelMidiVoice(c, Notification(1));
    GetComboSelMidiVoice(c, Notification(9));
    SetListSelMidiOutDevice(c, 0);
    SetComboSelMidiOutDevice(c, 0);
    SetListSelMidiVoice(c, 3);
    SetComboSelMidiVoice(c, 3);
    EXPECT_TRUE(fake::ShortMessages().empty());
    EXPECT_TRUE(fake::CompanionSends().empty());
}

// Without a control, the operations whose answer is used answer 0, like
// SendMessageA with a null window; a control missing a callback answers -1.
TEST_F(ListHelpersTest, MissingControlOrCallbackAnswers) {
    mt::iCurrentVoice = 7;
    EXPECT_EQ(GetListSelMidiVoice(nullptr, Notification(1)), 0);
    EXPECT_EQ(mt::iCurrentVoice, 0);
    EXPECT_EQ(SetComboSelMidiVoice(nullptr, 9), 0);
    EXPECT_EQ(SetListSelMidiOutDevice(nullptr, 9), 0);

    MicrotuneListControl bare = {};
    EXPECT_EQ(FillListWithMidiVoices(&bare), 0);
    EXPECT_EQ(GetComboSelMidiOutDevice(&bare, Notification(9)), -1);
    EXPECT_EQ(mt::iSelectedDevice, -1);
    EXPECT_EQ(SetListSelMidiVoice(&bare, 2), -1);
    EXPECT_EQ(mt::iCurrentVoice, -1);
}

}  // namespace
