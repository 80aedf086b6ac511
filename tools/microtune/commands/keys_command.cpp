// microtune keys: the table a musician checks before playing a keyboard map.
// One row per retuned key: the degree it plays, its frequency, and the MIDI
// note and bend the library sends for it. The note and bend come from the
// library itself, computed as it plays them, without playing anything.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/mpe_commands.h"
#include "commands/mts_commands.h"
#include "formats/names.h"
#include "keys/key_layout.h"
#include "library/tuning.h"
#include "microtune.h"
#include "microtune_ext.h"

namespace mthost {
namespace {

struct Options {
    std::string scale;
    std::string kbm;
    int root = 60;
    double hz = 0.0;
    bool csv = false;
    MtsKeysRequest mts;
    TuningMethod tuning = TuningMethod::BEND;
    MpeRequest mpe;
};

struct Sent {
    int note = -1;
    int bend = -1;
};

Sent AsTheLibrarySendsIt(int degree) {
    Sent sent;
    if (MicrotuneDegreePitch(degree, &sent.note, &sent.bend) != 1) sent = Sent();
    return sent;
}

void Keys(const Options &options, const MpeZone &zone) {
    if (zone.members) UseMpeZone(zone);  // the bends as the zone sends them
    const ScaleArgument scale = LoadScaleArgument(options.scale);
    const KeyLayout keys = LayOutKeys(scale, options.kbm, options.root, options.hz);
    const Tuning tuning = InstallTuning(scale, keys.hz1o1);

    if (options.csv) {
        std::printf("key,name,degree,hz,cents,note,bend\n");
    } else {
        std::printf("Scale: %s\n", tuning.description.c_str());
        if (keys.map.hasReference)
            std::printf("Keys: %s, key %d (%s) at %.3f Hz; 1/1 = %.3f Hz\n", keys.file.c_str(),
                        keys.map.referenceKey, NoteName(keys.map.referenceKey).c_str(),
                        keys.map.referenceHz, tuning.hz1o1);
        else
            std::printf("Keys: key k plays degree k - %d; 1/1 = %.3f Hz\n", options.root,
                        tuning.hz1o1);
        if (zone.members)
            std::printf("MIDI note and bend as sent to the members of an %s (8192: no bend)\n\n",
                        DescribeMpeZone(zone).c_str());
        else
            std::printf(
                "MIDI note and bend as sent on a 2-semitone bend range (8192: no bend)\n\n");
        std::printf("%4s  %-4s  %8s  %11s  %10s  %4s  %5s\n", "Key", "Name", "Degree", "Hz",
                    "Cents", "Note", "Bend");
    }
    for (int key = keys.map.firstKey; key <= keys.map.lastKey; ++key) {
        const std::string name = NoteName(key);
        const std::optional<int> degree = DegreeForKey(keys.map, key, keys.scaleSize);
        if (!degree) {
            if (options.csv)
                std::printf("%d,%s,unmapped,,,,\n", key, name.c_str());
            else
                std::printf("%4d  %-4s  %8s\n", key, name.c_str(), "unmapped");
            continue;
        }
        const double ratio = RatioOfDegree(tuning.ratios, *degree);
        const double hz = tuning.hz1o1 * ratio;
        const double cents = 1200.0 * std::log2(std::max(ratio, 1e-50));
        const Sent sent = AsTheLibrarySendsIt(*degree);
        if (options.csv)
            std::printf("%d,%s,%d,%.10g,%.10g,%d,%d\n", key, name.c_str(), *degree, hz, cents,
                        sent.note, sent.bend);
        else
            std::printf("%4d  %-4s  %8d  %11.3f  %10.3f  %4d  %5d\n", key, name.c_str(), *degree,
                        hz, cents, sent.note, sent.bend);
    }
    std::fflush(stdout);
    SendMtsForKeys(options.mts, keys, tuning, options.csv ? stderr : stdout);
}

}  // namespace

void AddKeysCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "keys",
        "List what each key plays: degree, Hz, and the MIDI note and bend the library sends");
    auto options = std::make_shared<Options>();
    AddScaleOption(*command, options->scale);
    AddRootOption(*command, options->root);
    Add1o1Option(*command, options->hz);
    AddKbmOption(*command, options->kbm);
    command->add_flag("--csv", options->csv, "Comma-separated values with a header row");
    AddMtsKeysOptions(*command, options->mts);
    AddTuningMethodOption(*command, options->tuning, false);
    AddMpeOptions(*command, options->mpe);
    command->callback([options, command] {
        Keys(*options, ZoneOfOptions(*command, options->tuning, options->mpe));
    });
}

}  // namespace mthost
