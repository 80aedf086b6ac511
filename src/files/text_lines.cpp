#include "files/text_lines.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "files/file_names.h"

namespace mtfiles {
namespace {

// More control bytes than one in this many: binary data, not text.
constexpr std::size_t BINARY_SHARE = 32;

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

}  // namespace

TextLines::~TextLines() {
    if (file_) std::fclose(file_);
}

int TextLines::NextByte() {
    if (!file_) return at_ < size_ ? static_cast<unsigned char>(data_[at_++]) : -1;
    if (chunkAt_ == chunkLength_) {
        chunkLength_ = std::fread(chunk_, 1, sizeof chunk_, file_);
        chunkAt_ = 0;
        if (chunkLength_ == 0) return -1;
    }
    ++at_;
    return chunk_[chunkAt_++];
}

bool TextLines::Rewind() {
    at_ = chunkAt_ = chunkLength_ = 0;
    return !file_ || std::fseek(file_, 0, SEEK_SET) == 0;
}

bool TextLines::Open(Failure &failure) {
    if (path_) {
        if (IsFolder(path_)) {
            failure.Plain().Put("cannot read ").Name(path_).Put(": it is a directory");
            return failure.Done();
        }
        file_ = OpenForReading(path_);
        if (!file_) {
            failure.Plain().Put("cannot read ").Name(path_).Put(": ").Put(std::strerror(errno));
            return failure.Done();
        }
    }
    // One pass over the whole text before the first line: its size, its
    // byte-order mark and whether it is text at all.
    std::size_t count = 0, controls = 0, start = 0;
    unsigned char head[3] = {0, 0, 0};
    bool nul = false;
    for (int c; (c = NextByte()) >= 0;) {
        if (count < 3) head[count] = static_cast<unsigned char>(c);
        if (++count > MAX_FILE_BYTES) break;
        if (c == 0) nul = true;
        if (IsControl(static_cast<unsigned char>(c)) && c != '\t' && c != '\r' && c != '\n')
            ++controls;
    }
    if (file_ && std::ferror(file_)) {
        failure.Plain().Put("cannot read ").Name(path_);
        return failure.Done();
    }
    if (count > MAX_FILE_BYTES) {
        failure.Plain()
            .Name(failure.Name())
            .Put(": larger than ")
            .Int(MAX_FILE_BYTES / 1024)
            .Put(" KiB: not a ")
            .Put(kind_ ? kind_ : "tuning file");
        return failure.Done();
    }
    if (count >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) start = 3;
    // The byte-order mark's bytes are no control characters.
    if (nul || (controls > 0 && controls * BINARY_SHARE >= count - start)) {
        failure.Plain().Name(failure.Name()).Put(": not a text file");
        return failure.Done();
    }
    if (!Rewind()) {
        failure.Plain().Put("cannot read ").Name(path_);
        return failure.Done();
    }
    for (std::size_t i = 0; i < start; ++i) NextByte();
    return true;
}

bool TextLines::Next(Line *line) {
    if (ended_) return false;
    std::size_t length = 0;
    int c = NextByte();
    if (c < 0) {
        ended_ = true;
        return false;
    }
    for (; c >= 0 && c != '\r' && c != '\n'; c = NextByte())
        if (length < sizeof line_) line_[length++] = static_cast<char>(c);
    if (c == '\r') {
        // CRLF is one line end.
        const int after = NextByte();
        if (after >= 0 && after != '\n') {
            // Put the byte back: a CR alone ends the line.
            if (file_)
                --chunkAt_, --at_;
            else
                --at_;
        }
    }
    if (c < 0) ended_ = true;
    line->text = line_;
    line->length = length;
    line->number = ++number_;
    return true;
}

bool Span::Is(const char *word) const {
    return std::strlen(word) == length && std::memcmp(text, word, length) == 0;
}

bool Span::IsIgnoringCase(const char *word) const {
    if (std::strlen(word) != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        char a = text[i], b = word[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

Span Trim(Span text) {
    std::size_t begin = 0, end = text.length;
    while (begin < end && IsBlank(text.text[begin])) ++begin;
    while (end > begin && IsBlank(text.text[end - 1])) --end;
    return {text.text + begin, end - begin};
}

Span FirstWord(Span text) {
    text = Trim(text);
    std::size_t end = 0;
    while (end < text.length && !IsBlank(text.text[end])) ++end;
    return {text.text, end};
}

Span After(Span text, std::size_t skip) {
    if (skip > text.length) skip = text.length;
    return Trim({text.text + skip, text.length - skip});
}

bool ScalaLines::Next(Line *line, bool skipBlank, int *blank) {
    if (blank) *blank = 0;
    Line candidate;
    while (lines_.Next(&candidate)) {
        number_ = candidate.number;
        const Span trimmed = Trim({candidate.text, candidate.length});
        if (!trimmed.Empty() && trimmed[0] == '!') {
            if (comment_ && !comment_(context_, candidate)) {
                commentFailed_ = true;
                return false;
            }
            continue;
        }
        if (skipBlank && trimmed.Empty()) {
            if (blank && *blank == 0) *blank = candidate.number;
            continue;
        }
        *line = candidate;
        return true;
    }
    return false;
}

bool IsDecimal(Span text, bool exponent) {
    std::size_t i = 0;
    if (i < text.length && (text[i] == '+' || text[i] == '-')) ++i;
    int digits = 0, dots = 0;
    for (; i < text.length; ++i) {
        if (IsDigit(text[i]))
            ++digits;
        else if (text[i] == '.' && ++dots == 1)
            continue;
        else
            break;
    }
    if (digits == 0) return false;
    if (i < text.length && exponent && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.length && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t first = i;
        while (i < text.length && IsDigit(text[i])) ++i;
        if (i == first) return false;
    }
    return i == text.length;
}

bool IsWholeNumber(Span text) {
    std::size_t i = (text.length > 0 && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (i == text.length) return false;
    for (; i < text.length; ++i)
        if (!IsDigit(text[i])) return false;
    return true;
}

long WholeValue(Span text) {
    std::size_t i = (text.length > 0 && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    long value = 0;
    for (; i < text.length && IsDigit(text[i]); ++i)
        value = value < 100000000 ? value * 10 + (text[i] - '0') : 1000000000;
    return text.length > 0 && text[0] == '-' ? -value : value;
}

double ReadDecimal(Span text) {
    // strtod reads the locale's decimal point: give it that one.
    char number[128];
    std::size_t length = text.length < sizeof number - 1 ? text.length : sizeof number - 1;
    const char point = *std::localeconv()->decimal_point;
    for (std::size_t i = 0; i < length; ++i) number[i] = text[i] == '.' ? point : text[i];
    number[length] = '\0';
    const int saved = errno;
    const double value = std::strtod(number, nullptr);
    errno = saved;
    return value;
}

}  // namespace mtfiles
