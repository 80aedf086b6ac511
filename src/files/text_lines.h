// The lines of a small text file (a scale, a keyboard map, a tuning table),
// from memory or from a file read in pieces, so that nothing is allocated:
// a UTF-8 byte-order mark is dropped, CRLF, CR and LF all end a line, and
// each line is held in a buffer of its own (a longer line keeps its start).
// Binary data is refused before the first line: a NUL byte, or control
// characters (tab excepted) making more than one byte in 32.
#ifndef MICROTUNE_FILES_TEXT_LINES_H
#define MICROTUNE_FILES_TEXT_LINES_H

#include <cstddef>
#include <cstdio>

#include "files/text_sink.h"

namespace mtfiles {

// Scale and keyboard-map files are a few kilobytes; a megabyte is generous.
constexpr std::size_t MAX_FILE_BYTES = 1 << 20;
constexpr std::size_t LINE_SIZE = 4096;

// A line's text without its end, and its number from 1.
struct Line {
    const char *text;
    std::size_t length;
    int number;
};

class TextLines {
public:
    // Contents in memory, or a file; `kind` ("scale file") names it in the
    // message for one too large.
    TextLines(const char *data, std::size_t size, const char *kind)
        : data_(data), size_(size), kind_(kind) {}
    TextLines(const char *path, const char *kind) : path_(path), kind_(kind) {}
    ~TextLines();
    TextLines(const TextLines &) = delete;
    TextLines &operator=(const TextLines &) = delete;

    // Opens and checks the text; false with the message in `failure`.
    bool Open(Failure &failure);
    // The next line, or false at the end.
    bool Next(Line *line);
    // Lines so far.
    int Count() const { return number_; }

private:
    int NextByte();  // -1 at the end
    bool Rewind();

    const char *data_ = nullptr;
    std::size_t size_ = 0;
    const char *path_ = nullptr;
    const char *kind_ = nullptr;
    std::FILE *file_ = nullptr;
    unsigned char chunk_[LINE_SIZE];
    std::size_t chunkLength_ = 0, chunkAt_ = 0;
    std::size_t at_ = 0;  // bytes taken
    bool ended_ = false;
    char line_[LINE_SIZE];
    int number_ = 0;
};

// Space, tab, vertical tab, form feed and carriage return.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A piece of a line.
struct Span {
    const char *text;
    std::size_t length;
    bool Empty() const { return length == 0; }
    char operator[](std::size_t i) const { return text[i]; }
    bool Is(const char *word) const;              // exactly
    bool IsIgnoringCase(const char *word) const;  // ASCII case
};

// A line without the blanks at its ends.
Span Trim(Span text);
// The first word of a trimmed text.
Span FirstWord(Span text);
// The text after the first `skip` characters, trimmed at its start.
Span After(Span text, std::size_t skip);

// The lines of a Scala-style file (.scl, .ascl, .kbm) one by one, past the
// comment lines that start with '!'; a comment line goes to `comment` when
// it is given (the .ascl directives live in comments).
class ScalaLines {
public:
    explicit ScalaLines(TextLines &lines) : lines_(lines) {}
    // The next line that is not a comment (nor blank, when skipBlank).
    // `blank` (when given) receives the number of the first blank line
    // skipped on the way, or 0.
    bool Next(Line *line, bool skipBlank, int *blank = nullptr);
    int LineNumber() const { return number_; }
    int LastLine() const { return lines_.Count(); }
    void OnComment(bool (*comment)(void *, const Line &), void *context) {
        comment_ = comment;
        context_ = context;
    }
    bool CommentFailed() const { return commentFailed_; }

private:
    TextLines &lines_;
    int number_ = 0;
    bool (*comment_)(void *, const Line &) = nullptr;
    void *context_ = nullptr;
    bool commentFailed_ = false;
};

// Decimal numbers as files write them: an optional sign, digits with at
// most one '.', and, with `exponent`, an e or E with a whole number.
bool IsDecimal(Span text, bool exponent);
// [+-]digits
bool IsWholeNumber(Span text);
// The value of [+-]digits, held at +-1e9 for longer numbers.
long WholeValue(Span text);
// Reads a number that IsDecimal accepted, whatever the locale.
double ReadDecimal(Span text);

}  // namespace mtfiles

#endif
