#include "formats/text_file.h"

#include <cstdio>

#include "formats/file_paths.h"

namespace mthost {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

}  // namespace

std::string Printable(const std::string &text, std::size_t maxLength) {
    std::string out;
    for (char c : text) {
        if (out.size() == maxLength) return out + "...";
        out += IsControl(static_cast<unsigned char>(c)) ? '?' : c;
    }
    return out;
}

std::string PrintableName(const std::string &name) {
    std::string out;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\\' && !IsSeparator(c)) {
            out += "\\\\";
        } else if (IsControl(u)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace mthost
