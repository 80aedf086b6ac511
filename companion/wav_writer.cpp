#include "wav_writer.h"

#include <fcntl.h>
#include <limits.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include "tembrel_abi.h"

#define TEMBREL_EXPORT extern "C" __attribute__((visibility("default")))

namespace tembrel {
namespace {

constexpr int CHANNELS = 2;
// A WAV header counts the file's bytes in 32 bits; what it holds besides the
// samples (format, peaks) fits in far less than this.
constexpr int64_t WAV_LIMIT_BYTES = 0xFFFFFFFFll;
constexpr int64_t WAV_HEADER_ROOM = 4096;

struct WavFormat {
    const char *name;
    int format;  // libsndfile's sample format
    int bytes;   // per sample
};
constexpr WavFormat WAV_FORMATS[] = {
    {TEMBREL_WAV_FORMAT_DEFAULT, SF_FORMAT_FLOAT, 4},  // a full chord cannot clip
    {"pcm16", SF_FORMAT_PCM_16, 2},
    {"pcm24", SF_FORMAT_PCM_24, 3},
};

struct Writer {
    SNDFILE *file = nullptr;
    bool open = false;  // a file is being rendered, even one that failed
    int sampleRate = 0;
    const WavFormat *format = &WAV_FORMATS[0];
    char path[PATH_MAX] = {};  // the file as opened, links resolved
    int64_t limit = WAV_LIMIT_BYTES;
    int64_t bytes = 0;  // of samples written
    bool rf64 = false;
    bool failed = false;
};

Writer W;
char wavError[256];

void NoteWavError(const char *cause) {
    if (wavError[0] == '\0') std::snprintf(wavError, sizeof wavError, "%s", cause);
}

const char *Setting(const char *name) {
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// The settings from the environment; false (with the error noted) for a
// format that is none of the known ones.
bool ReadSettings() {
    W.format = nullptr;
    const char *format = Setting(TEMBREL_WAV_FORMAT_ENV);
    for (const WavFormat &known : WAV_FORMATS)
        if (!format || std::strcmp(format, known.name) == 0) {
            W.format = &known;
            break;
        }
    if (!W.format) {
        char cause[128];
        std::snprintf(cause, sizeof cause, "%s is not float, pcm16 or pcm24",
                      TEMBREL_WAV_FORMAT_ENV);
        NoteWavError(cause);
        return false;
    }
    const char *limit = Setting(TEMBREL_WAV_LIMIT_ENV);
    const long long bytes = limit ? std::strtoll(limit, nullptr, 10) : 0;
    W.limit = bytes > 0 && bytes < WAV_LIMIT_BYTES ? bytes : WAV_LIMIT_BYTES;
    return true;
}

// Samples go into `fd` as libsndfile writes them; null (with the error
// noted) when it cannot.
SNDFILE *OpenSamples(int fd, int container) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = W.sampleRate;
    info.channels = CHANNELS;
    info.format = container | W.format->format;
    errno = 0;
    SNDFILE *file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!file) {
        NoteWavError(errno ? std::strerror(errno) : sf_strerror(nullptr));
        close(fd);
        return nullptr;
    }
    // Integers saturate at full scale rather than wrap round.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // Keep the header valid after every write, so the file is readable even
    // if the host never stops the synthesizer.
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return file;
}

// Copies every frame of one file into another, in the samples' own type.
template <typename Sample>
bool CopyFrames(SNDFILE *from, SNDFILE *to, sf_count_t (*read)(SNDFILE *, Sample *, sf_count_t),
                sf_count_t (*write)(SNDFILE *, const Sample *, sf_count_t)) {
    constexpr sf_count_t FRAMES = 65536;
    std::vector<Sample> block(CHANNELS * FRAMES);
    for (sf_count_t n; (n = read(from, block.data(), FRAMES)) > 0;)
        if (write(to, block.data(), n) != n) return false;
    return sf_error(from) == SF_ERR_NO_ERROR;
}

// Before the samples outgrow what a WAV header counts, the file becomes an
// RF64 file of the same name (the WAV of any length; libsndfile writes it):
// what was written moves over, and writing goes on there. Only a regular
// file can be rewritten.
void GoOnAsRf64() {
    W.failed = true;  // until the move is done
    const int closed = sf_close(W.file);
    W.file = nullptr;
    if (closed != 0) return NoteWavError(sf_error_number(closed));
    const int in = open(W.path, O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (in < 0 || fstat(in, &info) != 0) {
        NoteWavError(std::strerror(errno));
        if (in >= 0) close(in);
        return;
    }
    SF_INFO written{};
    SNDFILE *from = S_ISREG(info.st_mode) ? sf_open_fd(in, SFM_READ, &written, SF_TRUE) : nullptr;
    if (!from) {
        NoteWavError(S_ISREG(info.st_mode)
                         ? sf_strerror(nullptr)
                         : "a WAV file written into a pipe or a device cannot grow past 4 GiB");
        close(in);
        return;
    }
    // The samples so far stay readable through `in` while the name gets a
    // new file.
    const int out = unlink(W.path) == 0 ? open(W.path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                               info.st_mode & 07777)
                                        : -1;
    if (out < 0)
        NoteWavError(std::strerror(errno));
    else
        W.file = OpenSamples(out, SF_FORMAT_RF64);
    if (W.file) {
        const bool copied = W.format->format == SF_FORMAT_FLOAT
                                ? CopyFrames<float>(from, W.file, &sf_readf_float, &sf_writef_float)
                                : CopyFrames<int>(from, W.file, &sf_readf_int, &sf_writef_int);
        if (copied) {
            W.rf64 = true;
            W.failed = false;
        } else {
            NoteWavError(errno ? std::strerror(errno) : sf_strerror(W.file));
        }
    }
    sf_close(from);
}

}  // namespace

bool OpenWav(const char *path, int sampleRate) {
    W = Writer{};
    W.sampleRate = sampleRate;
    if (!ReadSettings()) return false;
    // Opened here, so that a refusal names the system's cause.
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        NoteWavError(std::strerror(errno));
        return false;
    }
    if (!realpath(path, W.path)) std::snprintf(W.path, sizeof W.path, "%s", path);
    W.file = OpenSamples(fd, SF_FORMAT_WAV);
    W.open = W.file != nullptr;
    return W.open;
}

bool WavOpen() { return W.open; }

void WriteWavFrames(const float *frames, int count) {
    W.bytes += static_cast<int64_t>(count) * CHANNELS * W.format->bytes;
    if (!W.failed && !W.rf64 && W.bytes + WAV_HEADER_ROOM > W.limit) GoOnAsRf64();
    if (W.failed) return;
    errno = 0;
    if (sf_writef_float(W.file, frames, count) != count) {
        W.failed = true;
        NoteWavError(errno ? std::strerror(errno) : sf_strerror(W.file));
    }
}

void CloseWav() {
    if (W.file) {
        errno = 0;
        const int closed = sf_close(W.file);
        if (closed != 0) NoteWavError(errno ? std::strerror(errno) : sf_error_number(closed));
    }
    W = Writer{};
}

const char *WavError() { return wavError; }
void ClearWavError() { wavError[0] = '\0'; }

}  // namespace tembrel

// "" while the WAV file is sound; otherwise why it is not.
TEMBREL_EXPORT const char *Tembrel_WavError(void) { return tembrel::WavError(); }
static_assert(std::is_same<decltype(&Tembrel_WavError), TembrelWavErrorEntry>::value, "");
