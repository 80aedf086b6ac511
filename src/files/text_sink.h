// Text and bytes written into a caller's buffer: whatever fits is written,
// the whole length is counted, so that a caller can learn the size it needs.
// Messages are built the same way, a file name escaped and values from a
// file made printable.
#ifndef MICROTUNE_FILES_TEXT_SINK_H
#define MICROTUNE_FILES_TEXT_SINK_H

#include <cstddef>

namespace mtfiles {

class TextSink {
public:
    TextSink(char *data, int size) : data_(data), size_(data && size > 0 ? size : 0) { Finish(); }

    TextSink &Put(char c) {
        if (length_ + 1 < size_) data_[length_] = c;
        ++length_;
        return *this;
    }
    TextSink &Put(const char *text);
    TextSink &Put(const char *text, std::size_t length);
    TextSink &Int(long long value);
    // printf's %.Nf, or %.Ng with `general`.
    TextSink &Number(double value, int digits, bool general = false);
    // A decimal number as scale texts and .kbm files write it: fixed-point
    // with a '.', without the zeros the form would leave at its end.
    TextSink &Decimal(double value, int decimals);
    // Control characters and DEL as '?', cut after maxLength with "...".
    TextSink &Printable(const char *text, std::size_t length, std::size_t maxLength = 40);
    // A file name whole, with control characters, DEL and '\' as C escapes.
    TextSink &Name(const char *name);

    // The NUL after what fits; call once done.
    void Finish() {
        if (size_ > 0) data_[length_ < size_ ? length_ : size_ - 1] = '\0';
    }
    int Length() const { return length_; }

private:
    char *data_;
    int size_;
    int length_ = 0;
};

// A message "NAME:LINE: " begun in the caller's error buffer; Fail-style
// helpers return false after writing it.
class Failure {
public:
    Failure(char *error, int size, const char *name) : out_(error, size), name_(name) {}
    // "NAME:LINE: " (line 0: "NAME: "); the caller adds what is wrong.
    TextSink &At(int line);
    // A message without the file's name.
    TextSink &Plain() { return out_; }
    bool Done() {
        out_.Finish();
        return false;
    }
    const char *Name() const { return name_; }

private:
    TextSink out_;
    const char *name_;
};

}  // namespace mtfiles

#endif
