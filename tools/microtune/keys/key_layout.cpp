#include "keys/key_layout.h"

#include <cmath>

#include "formats/shipped_files.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "library/tuning.h"

namespace mthost {
namespace {

// floor(a / b) for b > 0.
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

std::string Where(const KeyboardMap &map, int line) {
    return PrintableName(map.fileName) + (line > 0 ? ":" + std::to_string(line) : std::string()) +
           ": ";
}

}  // namespace

int ScaleSize(const std::vector<double> &installedRatios) {
    const size_t count = installedRatios.size();
    if (count < 2 || std::fabs(installedRatios[0] - 1.0) > 0.00001) return 0;
    if (count == 2 && installedRatios[1] > 1.0) {
        // Within a hundredth of a cent over the octave: cents written to
        // three decimals still count.
        const double stepCents = 1200.0 * std::log2(installedRatios[1]);
        const double whole = std::round(1200.0 / stepCents);
        if (whole >= 1.0 && whole <= MAX_KBM_SIZE && std::fabs(whole * stepCents - 1200.0) < 0.01)
            return static_cast<int>(whole);
    }
    return static_cast<int>(count - 1);
}

std::optional<int> DegreeForKey(const KeyboardMap &map, int key, int scaleSize) {
    if (key < map.firstKey || key > map.lastKey) return std::nullopt;
    const int i = key - map.middleKey;
    if (map.size == 0) return i;
    const int block = FloorDiv(i, map.size);
    const int j = i - block * map.size;
    const std::optional<int> entry = map.mapping[static_cast<size_t>(j)];
    if (!entry) return std::nullopt;
    const int octave = map.octaveDegree != 0 ? map.octaveDegree : scaleSize;
    return block * octave + *entry;
}

double OneOneForMap(const KeyboardMap &map, const std::vector<double> &installedRatios,
                    int scaleSize) {
    if (!map.hasReference) throw HostError("the keyboard map has no reference key");
    if (map.size > 0 && map.octaveDegree == 0 && scaleSize == 0)
        throw HostError(Where(map, 0) +
                        "the formal octave degree is 0 (the scale's size), but the scale has no "
                        "period: give the octave degree in the file");
    const std::string key = "reference key " + std::to_string(map.referenceKey);
    if (map.referenceKey < map.firstKey || map.referenceKey > map.lastKey)
        throw HostError(Where(map, map.referenceLine) + key + " is outside the retuned keys " +
                        std::to_string(map.firstKey) + " to " + std::to_string(map.lastKey));
    const std::optional<int> degree = DegreeForKey(map, map.referenceKey, scaleSize);
    if (!degree) throw HostError(Where(map, map.referenceLine) + key + " is unmapped (x)");
    const double ratio = RatioOfDegree(installedRatios, *degree);
    const double hz1o1 = map.referenceHz / ratio;
    // 0 Hz would read as "no 1/1 given" further on: an overflowing ratio
    // must not pass for the default.
    if (!IsUsableRatio(ratio) || !(hz1o1 > 0.0) || !std::isfinite(hz1o1))
        throw HostError(Where(map, map.referenceLine) + key + " plays degree " +
                        std::to_string(*degree) + ", which has no usable ratio in the scale");
    return hz1o1;
}

void CheckKeyFrequencies(const KeyLayout &layout, const std::vector<double> &installedRatios) {
    for (int key = layout.map.firstKey; key <= layout.map.lastKey; ++key) {
        const std::optional<int> degree = DegreeForKey(layout.map, key, layout.scaleSize);
        if (!degree) continue;
        const double ratio = RatioOfDegree(installedRatios, *degree);
        const double hz = layout.hz1o1 * ratio;
        if (IsUsableRatio(ratio) && hz > 0.0 && std::isfinite(hz)) continue;
        throw HostError(Where(layout.map, 0) + "key " + std::to_string(key) + " plays degree " +
                        std::to_string(*degree) +
                        ", whose frequency is out of range (formal octave degree " +
                        std::to_string(layout.map.octaveDegree) + ")");
    }
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
    layout.hz1o1 = OneOneForMap(layout.map, installedRatios, layout.scaleSize);
    CheckKeyFrequencies(layout, installedRatios);
    return layout;
}

KeyDegrees DegreesOfKeys(const KeyLayout &layout) {
    KeyDegrees degrees;
    for (int key = 0; key < static_cast<int>(degrees.size()); ++key)
        degrees[key] = DegreeForKey(layout.map, key, layout.scaleSize);
    return degrees;
}

KeyDegrees LinearKeyDegrees(int rootKey) {
    KeyLayout layout;
    layout.map = LinearKeyboardMap(rootKey);
    return DegreesOfKeys(layout);
}

}  // namespace mthost
