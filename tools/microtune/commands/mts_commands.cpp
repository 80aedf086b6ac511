#include "commands/mts_commands.h"

#include <cctype>
#include <cstdio>
#include <functional>

#include "commands/commands.h"
#include "host_error.h"
#include "keys/mts_output.h"
#include "output_file/output_file.h"

namespace mthost {
namespace {

std::string Lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// An option that takes one of two words, in any case; `pick` gets true for
// the second.
CLI::Option *AddTwoWords(CLI::App &command, const std::string &name, const std::string &first,
                         const std::string &second, std::function<void(bool)> pick,
                         const std::string &description) {
    return command
        .add_option_function<std::string>(
            name, [pick, second](const std::string &value) { pick(Lower(value) == second); },
            description)
        ->type_name(first + "|" + second)
        ->check(CLI::Validator(
            [first, second](std::string &value) {
                const std::string l = Lower(value);
                return l == first || l == second
                           ? std::string()
                           : "'" + value + "' is not " + first + " or " + second;
            },
            ""));
}

const char *const MTS_OPTIONS[] = {"--mts-form", "--mts-device", "--mts-program", "--mts-restate",
                                   "--mts-lead"};

// --mts-form, --mts-device and --mts-program, which every MTS output has.
std::vector<CLI::Option *> AddMtsSendOptions(CLI::App &command, MtsSend &send,
                                             const char *defaultForm) {
    return {
        AddTwoWords(
            command, "--mts-form", "realtime", "bulk",
            [&send](bool bulk) { send.form = bulk ? MtsForm::BULK : MtsForm::REALTIME; },
            std::string("realtime: two single-note tuning changes (FluidSynth takes these); "
                        "bulk: one bulk tuning dump (default: ") +
                defaultForm + ")"),
        command
            .add_option("--mts-device", send.device,
                        "System-exclusive device ID of the synthesizer, 0-127 (default: 127, all)")
            ->type_name("ID")
            ->check(WholeNumber(0, 127)),
        command
            .add_option("--mts-program", send.program,
                        "Tuning program the table goes into and the channels select, 0-127, "
                        "bank 0 (default: 0)")
            ->type_name("N")
            ->check(WholeNumber(0, 127))};
}

std::string SendDetails(const MtsSend &send) {
    std::string details = std::string("MTS ") + MtsFormName(send.form);
    if (send.form == MtsForm::REALTIME) details += " (2 messages of 64 keys)";
    details += ", tuning program " + std::to_string(send.program);
    if (send.device != MTS_ALL_DEVICES) details += ", device ID " + std::to_string(send.device);
    return details;
}

}  // namespace

void AddTuningMethodOption(CLI::App &command, TuningMethod &method, bool mts) {
    const std::string names = mts ? "bend, mts or mpe" : "bend or mpe";
    command
        .add_option_function<std::string>(
            "--tuning",
            [&method](const std::string &value) {
                const std::string l = Lower(value);
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
            [mts, names](std::string &value) {
                const std::string l = Lower(value);
                return l == "bend" || l == "mpe" || (mts && l == "mts")
                           ? std::string()
                           : "'" + value + "' is not " + names;
            },
            ""));
}

void AddMtsOptions(CLI::App &command, MtsOptions &options, bool lead) {
    AddMtsSendOptions(command, options.send, "realtime");
    command.add_flag("--mts-restate", options.restate,
                     "Send the tuning again after each program change, for synthesizers that "
                     "load a tuning with each patch");
    if (lead)
        command
            .add_option("--mts-lead", options.leadBeats,
                        "Put the tuning this many beats ahead of the music (default: as long as "
                        "the tuning takes on a 31,250-baud MIDI cable)")
            ->type_name("BEATS")
            ->check(FiniteNumber(0, 64, "beats"));
}

void RefuseMtsOptionsForBends(const CLI::App &command, TuningMethod method) {
    if (method == TuningMethod::MTS) return;
    for (const char *name : MTS_OPTIONS) {
        const CLI::Option *option = command.get_option_no_throw(name);
        if (option && option->count() > 0)
            throw HostError(std::string(name) + " goes with --tuning mts", 2);
    }
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
                "Also write the keys' tuning as MIDI Tuning Standard data into this .syx file "
                "(-: standard output, the data alone), and/or send it to --device")
            ->type_name("[FILE.syx]")
            ->expected(0, 1);
    std::vector<CLI::Option *> options = AddMtsSendOptions(command, request.send, "bulk");
    CLI::Option *realTime =
        command
            .add_flag_callback(
                "--mts-realtime", [&request] { request.send.form = MtsForm::REALTIME; },
                "The same as --mts-form realtime")
            ->excludes(options[0]);
    options.push_back(realTime);
    for (CLI::Option *option : options) option->needs(mts);
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
        // Standard output by any name carries the data alone: the listing
        // and the report go to standard error.
        if (!request.file.empty() && mtio::IsStandardOutput(request.file)) {
            request.file = "-";
            mtio::KeepStandardOutputForData();
        }
    });
}

void SendMtsForKeys(const MtsKeysRequest &request, const KeyLayout &keys, const Tuning &tuning,
                    FILE *report) {
    if (!request.wanted) return;
    const MtsTable table = MtsTableForKeys(keys, tuning);
    WarnOutsideMts(table);
    const std::vector<MidiMessage> messages =
        MtsTuningMessages(table, tuning.description, request.send);
    const std::string details = SendDetails(request.send);
    // A port is opened before the file is written, so a bad device leaves no file.
    std::unique_ptr<MidiPortOutput> port;
    if (request.device >= 0) port.reset(new MidiPortOutput(request.device));
    if (!request.file.empty()) {
        WriteSyxFile(request.file, messages);
        std::fprintf(report, "Wrote %s: %s\n", request.file.c_str(), details.c_str());
    }
    if (port) {
        for (const MidiMessage &m : messages)
            if (!port->Send(m))
                throw HostError("device " + std::to_string(request.device) + ", " + port->Name() +
                                ", refused the tuning");
        std::fprintf(report, "Sent %s to device %d, %s\n", details.c_str(), request.device,
                     port->Name().c_str());
    }
    const std::string unmapped = DescribeUnmapped(table);
    if (!unmapped.empty()) std::fprintf(report, "MTS: %s\n", unmapped.c_str());
    std::fflush(report);
}

}  // namespace mthost
