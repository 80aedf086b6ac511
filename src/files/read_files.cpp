// The readers' entry points: a file by its path or its contents in memory,
// its format by its name or as given.
#include <cstring>

#include "files/kbm_reader.h"
#include "files/scala_reader.h"
#include "files/tun_reader.h"
#include "microtune_files.h"

namespace {

using namespace mtfiles;

bool ReadScale(TextLines &lines, const char *name, int format, MicrotuneScaleFile *scale,
               char *text, int textSize, char *error, int errorSize) {
    Failure failure(error, errorSize, name);
    if (!scale || !text || textSize <= 0) {
        failure.Plain().Put("no scale or scale text buffer to fill");
        return failure.Done();
    }
    std::memset(scale, 0, sizeof *scale);
    if (format == MICROTUNE_FORMAT_BY_NAME) format = MicrotuneFileFormat(name);
    if (format != MICROTUNE_FORMAT_TUN && format != MICROTUNE_FORMAT_ASCL)
        format = MICROTUNE_FORMAT_SCL;
    scale->format = format;
    TextSink sink(text, textSize);
    if (!lines.Open(failure)) return false;
    const bool read = format == MICROTUNE_FORMAT_TUN
                          ? ReadTun(lines, failure, scale, sink)
                          : ReadScala(lines, failure, format == MICROTUNE_FORMAT_ASCL, scale, sink);
    if (!read) return false;
    sink.Finish();
    if (sink.Length() >= textSize) {
        failure.At(0).Put("the scale text needs ").Int(sink.Length() + 1).Put(" bytes");
        return failure.Done();
    }
    return true;
}

bool ReadMap(TextLines &lines, const char *name, MicrotuneKeyboardMap *map, char *error,
             int errorSize) {
    Failure failure(error, errorSize, name);
    if (!map) {
        failure.Plain().Put("no keyboard map to fill");
        return failure.Done();
    }
    std::memset(map, 0, sizeof *map);
    return lines.Open(failure) && ReadKbm(lines, failure, map);
}

}  // namespace

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneFileFormat(const char *name) {
    const char *dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot || std::strpbrk(dot, "/\\")) return MICROTUNE_FORMAT_BY_NAME;
    const Span extension{dot + 1, std::strlen(dot + 1)};
    static const struct {
        const char *extension;
        int format;
    } FORMATS[] = {{"scl", MICROTUNE_FORMAT_SCL},
                   {"kbm", MICROTUNE_FORMAT_KBM},
                   {"tun", MICROTUNE_FORMAT_TUN},
                   {"ascl", MICROTUNE_FORMAT_ASCL},
                   {"syx", MICROTUNE_FORMAT_SYX}};
    for (const auto &f : FORMATS)
        if (extension.IsIgnoringCase(f.extension)) return f.format;
    return MICROTUNE_FORMAT_BY_NAME;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneReadScaleFile(const char *path, int format,
                                                           MicrotuneScaleFile *scale, char *text,
                                                           int textSize, char *error,
                                                           int errorSize) {
    TextLines lines(path ? path : "", "scale file");
    return ReadScale(lines, path ? path : "", format, scale, text, textSize, error, errorSize);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneReadScaleMemory(const char *data, int size,
                                                             const char *name, int format,
                                                             MicrotuneScaleFile *scale, char *text,
                                                             int textSize, char *error,
                                                             int errorSize) {
    TextLines lines(data ? data : "", data && size > 0 ? static_cast<std::size_t>(size) : 0,
                    "scale file");
    return ReadScale(lines, name ? name : "", format, scale, text, textSize, error, errorSize);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneReadKeyboardMapFile(const char *path,
                                                                 MicrotuneKeyboardMap *map,
                                                                 char *error, int errorSize) {
    TextLines lines(path ? path : "", "keyboard map");
    return ReadMap(lines, path ? path : "", map, error, errorSize);
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneReadKeyboardMapMemory(const char *data, int size,
                                                                   const char *name,
                                                                   MicrotuneKeyboardMap *map,
                                                                   char *error, int errorSize) {
    TextLines lines(data ? data : "", data && size > 0 ? static_cast<std::size_t>(size) : 0,
                    "keyboard map");
    return ReadMap(lines, name ? name : "", map, error, errorSize);
}

}  // extern "C"
