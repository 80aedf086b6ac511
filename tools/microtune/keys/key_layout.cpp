#include "keys/key_layout.h"

#include <cmath>

#include "formats/shipped_files.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "library/tuning.h"

namespace mthost {
namespace {

// The default --root: a .tun's keys are its own.
constexpr int DEFAULT_ROOT_KEY = 60;

// The library's key table, or its message as HostError.
MicrotuneKeyTable KeyTable(const KeyboardMap &map, const std::vector<double> &installedRatios,
                           double hz1o1) {
    const MicrotuneKeyboardMap library = LibraryMap(map);
    MicrotuneKeyTable table;
    char error[4 * MICROTUNE_MESSAGE_SIZE];
    if (MicrotuneMakeKeyTable(installedRatios.data(), static_cast<int>(installedRatios.size()),
                              &library, map.fileName.c_str(), hz1o1, &table, error,
                              sizeof error) != 1)
        throw HostError(error);
    return table;
}

}  // namespace

int ScaleSize(const std::vector<double> &installedRatios) {
    return MicrotuneScaleSize(installedRatios.data(), static_cast<int>(installedRatios.size()));
}

std::optional<int> DegreeForKey(const KeyboardMap &map, int key, int scaleSize) {
    const MicrotuneKeyboardMap library = LibraryMap(map);
    const int degree = MicrotuneKeyDegree(&library, key, scaleSize);
    if (degree == MICROTUNE_UNMAPPED) return std::nullopt;
    return degree;
}

double OneOneForMap(const KeyboardMap &map, const std::vector<double> &installedRatios,
                    int /*scaleSize: the table's own*/) {
    if (!map.hasReference) throw HostError("the keyboard map has no reference key");
    return KeyTable(map, installedRatios, 0.0).one_one_hz;
}

void CheckKeyFrequencies(const KeyLayout &layout, const std::vector<double> &installedRatios) {
    KeyTable(layout.map, installedRatios, layout.hz1o1);
}

KeyLayout LayOutKeys(const std::string &kbmPath, int rootKey, double hz,
                     const std::vector<double> &installedRatios) {
    KeyLayout layout;
    layout.scaleSize = ScaleSize(installedRatios);
    if (kbmPath.empty()) {
        layout.map = LinearKeyboardMap(rootKey);
        layout.hz1o1 = hz;
        return layout;
    }
    layout.file = ResolveShippedFile(kbmPath);
    layout.map = ReadKbmFile(layout.file);
    // One table: the map's 1/1, with every retuned key checked.
    layout.hz1o1 = KeyTable(layout.map, installedRatios, 0.0).one_one_hz;
    return layout;
}

KeyLayout LayOutKeys(const ScaleArgument &scale, const std::string &kbmPath, int rootKey,
                     double hz) {
    if (!scale.fullKeyboard) return LayOutKeys(kbmPath, rootKey, hz, ScaleRatios(scale));
    const char *option = !kbmPath.empty()              ? "--kbm"
                         : hz > 0.0                    ? "--1o1"
                         : rootKey != DEFAULT_ROOT_KEY ? "--root"
                                                       : nullptr;
    if (option)
        throw HostError(std::string(option) + " does not go with " + PrintableName(scale.file) +
                            ": a .tun file gives every key its own frequency",
                        2);
    return LayOutKeys("", 0, scale.oneOneHz, ScaleRatios(scale));
}

KeyDegrees DegreesOfKeys(const KeyLayout &layout) {
    KeyDegrees degrees;
    const MicrotuneKeyboardMap library = LibraryMap(layout.map);
    for (int key = 0; key < static_cast<int>(degrees.size()); ++key) {
        const int degree = MicrotuneKeyDegree(&library, key, layout.scaleSize);
        if (degree != MICROTUNE_UNMAPPED) degrees[key] = degree;
    }
    return degrees;
}

KeyDegrees LinearKeyDegrees(int rootKey) {
    KeyLayout layout;
    layout.map = LinearKeyboardMap(rootKey);
    return DegreesOfKeys(layout);
}

}  // namespace mthost
