// microtune convert: a tuning written in the format of another program,
// through the library's writers. A scale (.scl, .ascl, .tun or a scale
// text) and its keys (--kbm, or --root and --1o1) become a Scala scale, a
// keyboard map, an AnaMark table of the 128 keys, an Ableton scale or an
// MTS bulk dump.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/retune.h"
#include "output_file/output_file.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "keys/key_layout.h"
#include "library/tuning.h"
#include "microtune_files.h"

namespace mthost {
namespace {

namespace fs = std::filesystem;

struct Options {
    std::vector<std::string> scales;
    std::string kbm;
    int root = 60;
    double hz = 0.0;
    std::string output;
    std::string format;
};

const char *const EXTENSIONS[] = {"", "scl", "kbm", "tun", "ascl", "syx"};

// The library's default 12-TET as a Scala file would say it.
const char *const TWELVE_TET =
    "100.0 200.0 300.0 400.0 500.0 600.0 700.0 800.0 900.0 1000.0 1100.0 1200.0";

// What is converted: the scale as the library installs it and the keys.
struct Source {
    std::string name;  // the argument
    ScaleArgument scale;
    KeyLayout keys;
    Tuning tuning;
    std::string text;         // the scale text to write
    std::string description;  // the file's own, or the argument
    MicrotuneKeyboardMap map;
    std::string note;  // what the reader should know about the result
};

// Writes the contents as every output file is written (output_file.h).
void WriteOutput(const std::string &path, const void *data, size_t size) {
    mtio::OutputFile file(path);
    if (!file.Ok() || !file.Write(data, size) || !file.Commit()) throw HostError(file.Error());
}

// Grows the buffer until the writer's contents fit; -1 is its message.
template <class Writer>
std::vector<char> Written(Writer write) {
    std::vector<char> out(1 << 16);
    char error[MICROTUNE_MESSAGE_SIZE] = "";
    for (;;) {
        const int length = write(out.data(), static_cast<int>(out.size()), error);
        if (length < 0) throw HostError(error);
        if (length < static_cast<int>(out.size())) {
            out.resize(static_cast<size_t>(length));
            return out;
        }
        out.resize(static_cast<size_t>(length) + 1);
    }
}

MicrotuneKeyTable KeyTableOf(const Source &source) {
    MicrotuneKeyTable table;
    char error[4 * MICROTUNE_MESSAGE_SIZE];
    const std::vector<double> &ratios = source.tuning.ratios;
    if (MicrotuneMakeKeyTable(ratios.data(), static_cast<int>(ratios.size()), &source.map,
                              source.keys.map.fileName.c_str(), source.tuning.hz1o1, &table, error,
                              sizeof error) != 1)
        throw HostError(error);
    return table;
}

Source Read(const std::string &argument, const Options &options) {
    Source source;
    source.name = argument;
    source.scale = LoadScaleArgument(argument);
    source.keys = LayOutKeys(source.scale, options.kbm, options.root, options.hz);
    source.tuning = PreviewTuning(source.scale, source.keys.hz1o1);
    source.text = source.scale.text.empty() ? TWELVE_TET : source.scale.text;
    source.description = source.scale.source.description.empty()
                             ? (argument.empty() ? "twelve-tone equal temperament" : argument)
                             : source.scale.source.description;
    source.map = LibraryMap(source.keys.map);
    if (!source.scale.fullKeyboard) return source;
    // A whole keyboard becomes a scale when its keys repeat at a period.
    std::vector<char> text(MICROTUNE_SCALE_TEXT_SIZE);
    const int period = MicrotuneScaleOfKeys(source.scale.source.keyHz.data(), text.data(),
                                            static_cast<int>(text.size()), &source.map);
    if (period < 0) throw HostError(PrintableName(argument) + ": a key has no frequency");
    source.text = text.data();
    source.keys.map = HostMap(source.map, "");
    source.tuning.hz1o1 = source.map.reference_hz;
    source.tuning.ratios = ScaleRatios([&] {
        ScaleArgument scale;
        scale.text = source.text;
        return scale;
    }());
    char note[256];
    if (period > 0)
        std::snprintf(note, sizeof note,
                      "%s repeats every %d keys: the scale is %d steps from key 60, the map puts "
                      "key 60 at %.6f Hz",
                      PrintableName(argument).c_str(), period, period, source.map.reference_hz);
    else
        std::snprintf(note, sizeof note,
                      "%s does not repeat at a period: the scale is the 127 steps from key 0, the "
                      "map puts key 0 at %.6f Hz",
                      PrintableName(argument).c_str(), source.map.reference_hz);
    source.note = note;
    return source;
}

// The contents of one output, and a line saying what they hold.
std::vector<char> Contents(const Source &source, int format, std::string &what) {
    const char *text = source.text.c_str(), *description = source.description.c_str();
    switch (format) {
        case MICROTUNE_FORMAT_SCL:
            what = "Scala scale";
            return Written([&](char *out, int size, char *error) {
                return MicrotuneWriteScala(text, description, out, size, error,
                                           MICROTUNE_MESSAGE_SIZE);
            });
        case MICROTUNE_FORMAT_ASCL: {
            what = "Ableton scale, 1/1 = " + std::to_string(source.tuning.hz1o1) + " Hz";
            const ScaleFile &file = source.scale.source;
            return Written([&](char *out, int size, char *error) {
                return MicrotuneWriteAscl(text, description, source.tuning.hz1o1,
                                          file.referenceOctave, file.noteNames.c_str(), out, size,
                                          error, MICROTUNE_MESSAGE_SIZE);
            });
        }
        case MICROTUNE_FORMAT_KBM: {
            what = "Scala keyboard map";
            const MicrotuneKeyTable table = KeyTableOf(source);
            return Written([&](char *out, int size, char *error) {
                return MicrotuneWriteKeyboardMap(&source.map, &table, out, size, error,
                                                 MICROTUNE_MESSAGE_SIZE);
            });
        }
        case MICROTUNE_FORMAT_TUN: {
            const MicrotuneKeyTable table = KeyTableOf(source);
            what = "AnaMark tuning of the 128 keys";
            if (table.unmapped > 0)
                what += " (" + std::to_string(table.unmapped) + " unmapped keys at 12-TET)";
            return Written([&](char *out, int size, char *) {
                return MicrotuneWriteTun(&table, description, out, size);
            });
        }
        default: {
            const MicrotuneKeyTable table = KeyTableOf(source);
            what = "MTS bulk tuning dump, tuning program 0";
            std::vector<char> dump(MICROTUNE_MTS_BULK_DUMP_SIZE);
            MicrotuneWriteMtsBulkDump(&table, description, 0x7F, 0,
                                      reinterpret_cast<unsigned char *>(dump.data()),
                                      static_cast<int>(dump.size()));
            return dump;
        }
    }
}

// Converts one scale into `path`; the report goes to `report`.
void Convert(const std::string &argument, const Options &options, const std::string &path,
             int format, FILE *report) {
    const Source source = Read(argument, options);
    std::string what;
    const std::vector<char> contents = Contents(source, format, what);
    // A whole keyboard written as a scale needs its map beside it.
    std::string mapPath;
    std::vector<char> map;
    if (source.scale.fullKeyboard && format == MICROTUNE_FORMAT_SCL && path != "-") {
        mapPath = fs::path(path).replace_extension(".kbm").string();
        std::string ignored;
        map = Contents(source, MICROTUNE_FORMAT_KBM, ignored);
    }
    WriteOutput(path, contents.data(), contents.size());
    if (!mapPath.empty()) WriteOutput(mapPath, map.data(), map.size());
    if (!source.note.empty()) std::fprintf(report, "%s\n", source.note.c_str());
    std::fprintf(report, "Wrote %s: %s\n", PrintableName(path).c_str(), what.c_str());
    if (!mapPath.empty())
        std::fprintf(report, "Wrote %s: Scala keyboard map for it\n",
                     PrintableName(mapPath).c_str());
    std::fflush(report);
}

int FormatOf(const Options &options, const std::string &output) {
    if (!options.format.empty()) {
        const int format = MicrotuneFileFormat(("." + options.format).c_str());
        if (format == MICROTUNE_FORMAT_BY_NAME)
            throw HostError("--format " + options.format + " is not scl, kbm, tun, ascl or syx", 2);
        return format;
    }
    const int format = MicrotuneFileFormat(output.c_str());
    if (format == MICROTUNE_FORMAT_BY_NAME)
        throw HostError(PrintableName(output) +
                            " has no extension of a tuning file (.scl, .kbm, .tun, .ascl, "
                            ".syx): give --format",
                        2);
    return format;
}

void ConvertMany(const Options &options, int format) {
    std::error_code error;
    fs::create_directories(options.output, error);
    if (!fs::is_directory(options.output, error))
        throw HostError("cannot make the folder " + PrintableName(options.output));
    size_t refused = 0;
    for (const std::string &scale : options.scales) {
        try {
            const std::string stem = fs::path(scale).stem().string();
            if (stem.empty() || stem == scale)
                throw HostError("'" + Printable(scale) +
                                "' is no file name: several scales convert files into a folder");
            const fs::path out = fs::path(options.output) / (stem + "." + EXTENSIONS[format]);
            Convert(scale, options, out.string(), format, stdout);
        } catch (const HostError &e) {
            ++refused;
            std::fflush(stdout);
            std::fprintf(stderr, "microtune: %s\n", e.what());
            std::fflush(stderr);
        }
    }
    std::printf("%zu scale%s, %zu converted, %zu refused\n", options.scales.size(),
                options.scales.size() == 1 ? "" : "s", options.scales.size() - refused, refused);
    if (refused)
        throw HostError(std::to_string(refused) + " of " + std::to_string(options.scales.size()) +
                        " scales could not be converted");
}

}  // namespace

void AddConvertCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "convert",
        "Write a tuning as a Scala scale (.scl) or keyboard map (.kbm), an AnaMark table of the "
        "128 keys (.tun), an Ableton scale (.ascl) or an MTS bulk dump (.syx); several scales "
        "go into -o FOLDER/");
    auto options = std::make_shared<Options>();
    command->add_option("SCALE", options->scales,
                        "Scale files (.scl, .ascl, .tun) or a scale text; --scale gives one too");
    command
        ->add_option_function<std::string>(
            "--scale", [options](const std::string &scale) { options->scales.push_back(scale); },
            "A scale text (\"9/8 5/4 3/2 2/1\") or a .scl, .ascl or .tun file (default: 12-TET)")
        ->type_name("SCALE");
    AddRootOption(*command, options->root);
    Add1o1Option(*command, options->hz);
    AddKbmOption(*command, options->kbm);
    command
        ->add_option("-o,--output", options->output,
                     "Write here, in the format of its extension (-: standard output, with "
                     "--format); with a trailing / (or an existing folder), into that folder "
                     "under each scale's name")
        ->type_name("FILE|FOLDER/")
        ->required();
    command->add_option("--format", options->format, "The format to write, whatever the name")
        ->type_name("scl|kbm|tun|ascl|syx");
    command->callback([options] {
        std::string output = options->output;
        const bool many = options->scales.size() > 1 || NamesAFolder(output);
        if (many && options->format.empty())
            throw HostError("several scales or a folder need --format", 2);
        if (!many && mtio::IsStandardOutput(output)) {
            if (options->format.empty())
                throw HostError("-o - needs --format scl|kbm|tun|ascl|syx", 2);
            output = "-";
            mtio::KeepStandardOutputForData();
        }
        const int format = FormatOf(*options, output);
        if (many) return ConvertMany(*options, format);
        Convert(options->scales.empty() ? "" : options->scales[0], *options, output, format,
                output == "-" ? stderr : stdout);
    });
}

}  // namespace mthost
