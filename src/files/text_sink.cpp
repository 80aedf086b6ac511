#include "files/text_sink.h"

#include <cstdio>
#include <cstring>

namespace mtfiles {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

}  // namespace

TextSink &TextSink::Put(const char *text) {
    if (text)
        while (*text) Put(*text++);
    return *this;
}

TextSink &TextSink::Put(const char *text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) Put(text[i]);
    return *this;
}

TextSink &TextSink::Int(long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", value);
    return Put(text);
}

TextSink &TextSink::Number(double value, int digits, bool general) {
    char text[512];
    std::snprintf(text, sizeof text, general ? "%.*g" : "%.*f", digits, value);
    return Put(text);
}

TextSink &TextSink::Decimal(double value, int decimals) {
    char number[512];
    std::snprintf(number, sizeof number, "%.*f", decimals, value);
    std::size_t length = std::strlen(number);
    while (length > 2 && number[length - 1] == '0' && number[length - 2] != '.') --length;
    // No "-0.0".
    if (std::strncmp(number, "-0.0", length) == 0 && length == 4) return Put("0.0");
    return Put(number, length);
}

TextSink &TextSink::Printable(const char *text, std::size_t length, std::size_t maxLength) {
    for (std::size_t i = 0; i < length; ++i) {
        if (i == maxLength) return Put("...");
        Put(IsControl(static_cast<unsigned char>(text[i])) ? '?' : text[i]);
    }
    return *this;
}

TextSink &TextSink::Name(const char *name) {
    for (; name && *name; ++name) {
        const unsigned char c = static_cast<unsigned char>(*name);
        if (c == '\\') {
            Put("\\\\");
        } else if (IsControl(c)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            Put(escape);
        } else {
            Put(*name);
        }
    }
    return *this;
}

TextSink &Failure::At(int line) {
    out_.Name(name_);
    if (line > 0) out_.Put(':').Int(line);
    return out_.Put(": ");
}

}  // namespace mtfiles
