#include "library/tuning_files.h"

#include "host_error.h"

namespace mthost {
namespace {

// The library's messages are one line each; a name of thousands of
// characters still fits.
constexpr int MESSAGE_SIZE = 8 * MICROTUNE_MESSAGE_SIZE;

ScaleFile FromLibrary(const MicrotuneScaleFile &file, const std::vector<char> &text) {
    ScaleFile scale;
    scale.format = file.format;
    scale.description = file.description;
    scale.scaleText = text.data();
    scale.oneOneHz = file.one_one_hz;
    scale.fullKeyboard = file.full_keyboard != 0;
    scale.noteNames = file.note_names;
    if (file.reference_hz > 0.0) scale.referenceOctave = file.reference_octave;
    for (int k = 0; k < MICROTUNE_KEYS; ++k) scale.keyHz[k] = file.key_hz[k];
    return scale;
}

template <class Read>
ScaleFile ReadScale(Read read) {
    MicrotuneScaleFile file;
    std::vector<char> text(MICROTUNE_SCALE_TEXT_SIZE);
    char error[MESSAGE_SIZE];
    if (!read(&file, text.data(), static_cast<int>(text.size()), error)) throw HostError(error);
    return FromLibrary(file, text);
}

}  // namespace

KeyboardMap LinearKeyboardMap(int rootKey) {
    KeyboardMap map;
    map.middleKey = rootKey;
    map.referenceKey = rootKey;
    return map;
}

MicrotuneKeyboardMap LibraryMap(const KeyboardMap &map) {
    MicrotuneKeyboardMap out;
    MicrotuneLinearKeyboardMap(map.middleKey, &out);
    out.size = map.size;
    out.first_key = map.firstKey;
    out.last_key = map.lastKey;
    out.reference_key = map.referenceKey;
    out.reference_hz = map.hasReference ? map.referenceHz : 0.0;
    out.octave_degree = map.octaveDegree;
    out.reference_line = map.referenceLine;
    for (size_t j = 0; j < map.mapping.size() && j < MICROTUNE_MAX_MAP_SIZE; ++j)
        out.mapping[j] = map.mapping[j] ? *map.mapping[j] : MICROTUNE_UNMAPPED;
    return out;
}

KeyboardMap HostMap(const MicrotuneKeyboardMap &in, const std::string &fileName) {
    KeyboardMap map;
    map.size = in.size;
    map.firstKey = in.first_key;
    map.lastKey = in.last_key;
    map.middleKey = in.middle_key;
    map.referenceKey = in.reference_key;
    map.referenceHz = in.reference_hz;
    map.hasReference = in.reference_hz > 0.0;
    map.octaveDegree = in.octave_degree;
    map.fileName = fileName;
    map.referenceLine = in.reference_line;
    for (int j = 0; j < in.size; ++j)
        map.mapping.push_back(
            in.mapping[j] == MICROTUNE_UNMAPPED ? std::nullopt : std::optional<int>(in.mapping[j]));
    return map;
}

KeyboardMap ParseKbm(const std::string &contents, const std::string &fileName) {
    MicrotuneKeyboardMap map;
    char error[MESSAGE_SIZE];
    if (!MicrotuneReadKeyboardMapMemory(contents.data(), static_cast<int>(contents.size()),
                                        fileName.c_str(), &map, error, sizeof error))
        throw HostError(error);
    return HostMap(map, fileName);
}

KeyboardMap ReadKbmFile(const std::string &path) {
    MicrotuneKeyboardMap map;
    char error[MESSAGE_SIZE];
    if (!MicrotuneReadKeyboardMapFile(path.c_str(), &map, error, sizeof error))
        throw HostError(error);
    return HostMap(map, path);
}

ScaleFile ReadScaleFile(const std::string &path) {
    return ReadScale([&path](MicrotuneScaleFile *file, char *text, int size, char *error) {
        return MicrotuneReadScaleFile(path.c_str(), MICROTUNE_FORMAT_BY_NAME, file, text, size,
                                      error, MESSAGE_SIZE);
    });
}

ScaleFile ParseScaleFile(const std::string &contents, const std::string &fileName) {
    return ReadScale([&](MicrotuneScaleFile *file, char *text, int size, char *error) {
        return MicrotuneReadScaleMemory(contents.data(), static_cast<int>(contents.size()),
                                        fileName.c_str(), MICROTUNE_FORMAT_BY_NAME, file, text,
                                        size, error, MESSAGE_SIZE);
    });
}

std::string ScaleTextProblem(const std::string &text) {
    char problem[MESSAGE_SIZE];
    return MicrotuneCheckScaleText(text.c_str(), problem, sizeof problem) ? std::string() : problem;
}

}  // namespace mthost
