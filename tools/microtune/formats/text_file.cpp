#include "formats/text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "formats/file_paths.h"
#include "host_error.h"

namespace mthost {
namespace {

// More control bytes than one in this many: binary data, not text.
constexpr std::size_t BINARY_SHARE = 32;

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

}  // namespace

std::string ReadSmallFile(const std::string &path, const char *kind, std::size_t maxBytes) {
    const std::string name = PrintableName(path);
    std::error_code ignored;
    if (std::filesystem::is_directory(PathOf(path), ignored))
        throw HostError("cannot read " + name + ": it is a directory");
    std::ifstream in(PathOf(path), std::ios::binary);
    if (!in) throw HostError("cannot read " + name + ": " + std::strerror(errno));
    // Read one byte past the cap, so that an endless file (a device) ends here.
    std::string contents(maxBytes + 1, '\0');
    in.read(&contents[0], static_cast<std::streamsize>(contents.size()));
    if (in.bad()) throw HostError("cannot read " + name);
    contents.resize(static_cast<std::size_t>(in.gcount()));
    if (contents.size() > maxBytes)
        throw HostError(name + ": larger than " + std::to_string(maxBytes / 1024) + " KiB: not a " +
                        kind);
    return contents;
}

std::vector<std::string> SplitTextLines(const std::string &contents, const std::string &fileName) {
    std::size_t start = 0;
    if (contents.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
    std::size_t controls = 0;
    for (std::size_t i = start; i < contents.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(contents[i]);
        if (c == 0) throw HostError(PrintableName(fileName) + ": not a text file");
        if (IsControl(c) && c != '\t' && c != '\r' && c != '\n') ++controls;
    }
    // Text edited by hand may hold a stray control byte; binary data holds many.
    if (controls > 0 && controls * BINARY_SHARE >= contents.size() - start)
        throw HostError(PrintableName(fileName) + ": not a text file");
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = start; i < contents.size(); ++i) {
        const char c = contents[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < contents.size() && contents[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string Printable(const std::string &text, std::size_t maxLength) {
    std::string out;
    for (char c : text) {
        if (out.size() == maxLength) return out + "...";
        out += IsControl(static_cast<unsigned char>(c)) ? '?' : c;
    }
    return out;
}

}  // namespace mthost

namespace mthost {

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

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Trim(const std::string &line) {
    size_t begin = 0, end = line.size();
    while (begin < end && IsBlank(line[begin])) ++begin;
    while (end > begin && IsBlank(line[end - 1])) --end;
    return line.substr(begin, end - begin);
}

std::string FirstWord(const std::string &line) {
    const std::string text = Trim(line);
    size_t end = 0;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    return text.substr(0, end);
}

bool LineReader::Next(std::string *line, bool skipBlank) {
    while (index_ < lines_.size()) {
        const std::string &candidate = lines_[index_++];
        const std::string trimmed = Trim(candidate);
        if (!trimmed.empty() && trimmed[0] == '!') continue;
        if (skipBlank && trimmed.empty()) continue;
        *line = candidate;
        return true;
    }
    return false;
}

void LineReader::Fail(int line, const std::string &what) const {
    throw HostError(PrintableName(fileName_) + ":" + std::to_string(line) + ": " + what);
}

}  // namespace mthost
