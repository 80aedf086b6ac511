#include "commands/mts_commands.h"

#include <cctype>
#include <cstdio>

#include "commands/commands.h"
#include "host_error.h"
#include "keys/mts_output.h"
#include "keys/mts_tuning.h"

namespace mthost {

void AddTuningMethodOption(CLI::App &command, TuningMethod &method, bool mts) {
    auto lower = [](std::string s) {
        for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string names = mts ? "bend, mts or mpe" : "bend or mpe";
    command
        .add_option_function<std::string>(
            "--tuning",
            [&method, lower](const std::string &value) {
                const std::string l = lower(value);
                method = l == "mts"   ? TuningMethod::MTS
                         : l == "mpe" ? TuningMethod::MPE
                                      : TuningMethod::BEND;
            },
            std::string("bend: notes and pitch bends for any General MIDI synthesizer; ") +
                (mts ? "mts: the synthesizer's own keys retuned by MIDI Tuning Standard "
                       "messages; "
                     : "") +
                "mpe: an MPE zone, each note on a channel of its own with a wide bend (see "
                "--mpe-members, --mpe-bend) (default: bend)")
        ->type_name(mts ? "bend|mts|mpe" : "bend|mpe")
        ->check(CLI::Validator(
            [lower, mts, names](std::string &value) {
                const std::string l = lower(value);
                return l == "bend" || l == "mpe" || (mts && l == "mts")
                           ? std::string()
                           : "'" + value + "' is not " + names;
            },
            ""));
}

void AddMtsKeysOptions(CLI::App &command, MtsKeysRequest &request) {
    CLI::Option *mts =
        command
            .add_option_function<std::string>(
                "--mts",
                [&request](const std::string &file) {
                    request.wanted = true;
                    request.file = file;
                },
                "Also write the keys' tuning as a MIDI Tuning Standard bulk dump into this .syx "
                "file, and/or send it to --device")
            ->type_name("[FILE.syx]")
            ->expected(0, 1);
    command
        .add_flag("--mts-realtime", request.realTime,
                  "With --mts: real-time single-note tuning changes for all 128 keys instead "
                  "of a bulk dump")
        ->needs(mts);
    AddDeviceOption(command, request.device);
    command.get_option("--device")
        ->description("With --mts: send the tuning to this MIDI output port")
        ->needs(mts);
    // An --mts without a value calls no function.
    command.preparse_callback([&request](size_t) { request = MtsKeysRequest(); });
    command.parse_complete_callback([&command, &request] {
        if (command.count("--mts") > 0) request.wanted = true;
        if (request.wanted && request.file.empty() && request.device < 0)
            throw HostError("--mts needs FILE.syx, --device N or both", 2);
        // Before the listing, so that a wrong device is all the output.
        if (request.device >= 0) MidiPortOutput::CheckDevice(request.device);
    });
}

void SendMtsForKeys(const MtsKeysRequest &request, const KeyLayout &keys, const Tuning &tuning,
                    FILE *report) {
    if (!request.wanted) return;
    const MtsTable table = MtsTableForKeys(keys, tuning);
    WarnOutsideMts(table);
    std::vector<MidiMessage> messages;
    if (request.realTime)
        messages = MtsSingleNoteChanges(table);
    else
        messages = {MtsBulkDump(table, tuning.description)};
    const char *form = request.realTime
                           ? "real-time single-note tuning changes (2 messages of 64 keys)"
                           : "bulk tuning dump";
    // A port is opened before the file is written, so a bad device leaves no file.
    std::unique_ptr<MidiPortOutput> port;
    if (request.device >= 0) port.reset(new MidiPortOutput(request.device));
    if (!request.file.empty()) {
        WriteSyxFile(request.file, messages);
        std::fprintf(report, "Wrote %s: MTS %s, tuning program 0\n", request.file.c_str(), form);
    }
    if (port) {
        for (const MidiMessage &m : messages)
            if (!port->Send(m))
                throw HostError("device " + std::to_string(request.device) + ", " + port->Name() +
                                ", refused the tuning");
        std::fprintf(report, "Sent MTS %s to device %d, %s\n", form, request.device,
                     port->Name().c_str());
    }
    const std::string unmapped = DescribeUnmapped(table);
    if (!unmapped.empty()) std::fprintf(report, "MTS: %s\n", unmapped.c_str());
    std::fflush(report);
}

}  // namespace mthost
