// The small text files the host reads (Scala scales, keyboard maps): read
// with a size cap, so that a device or a huge file is refused rather than
// read for ever, and split into lines whatever editor wrote them.
#ifndef MICROTUNE_TEXT_FILE_H
#define MICROTUNE_TEXT_FILE_H

#include <cstddef>
#include <string>
#include <vector>

namespace mthost {

// Scale and keyboard-map files are a few kilobytes; a megabyte is generous.
constexpr std::size_t MAX_TEXT_FILE_BYTES = 1 << 20;

// Reads a whole file of at most maxBytes. A directory, an unreadable file or
// a longer file throws HostError naming the path; `kind` ("scale file") says
// what the file was meant to be.
std::string ReadSmallFile(const std::string &path, const char *kind,
                          std::size_t maxBytes = MAX_TEXT_FILE_BYTES);

// The lines of a text file: a UTF-8 byte-order mark is dropped and CRLF, CR
// and LF all end a line. Contents with a NUL byte, or with control
// characters (tab excepted) making more than one byte in 32, throw
// HostError "fileName: not a text file"; a stray control character in a
// text file stays in its line (callers show lines through Printable).
std::vector<std::string> SplitTextLines(const std::string &contents, const std::string &fileName);

// Text from a file made safe for a one-line message: control characters and
// DEL become '?', and anything past maxLength is cut with "...".
std::string Printable(const std::string &text, std::size_t maxLength = 40);

// A file name as messages show it: whole, with control characters, DEL and
// the backslash written as C escapes ("\x1b", "\\"), so that a name can
// never steer the terminal. Where the backslash separates folders
// (Windows), it stays as it is.
std::string PrintableName(const std::string &name);

// Space, tab, vertical tab, form feed (and a carriage return).
bool IsBlank(char c);
// A line without the blanks (space, tab, vertical tab, form feed) at its ends.
std::string Trim(const std::string &line);
// The first word of a line: a value, whatever follows it being a remark.
std::string FirstWord(const std::string &line);

// The lines of a Scala-style file (.scl, .kbm) one by one, past the comment
// lines that start with '!', with errors that name the file and the line.
class LineReader {
public:
    LineReader(const std::string &contents, const std::string &fileName)
        : fileName_(fileName), lines_(SplitTextLines(contents, fileName)) {}

    // The next line that is not a comment (nor blank, when skipBlank), or
    // false at the end of the file.
    bool Next(std::string *line, bool skipBlank);

    int LineNumber() const { return static_cast<int>(index_); }
    int LastLine() const { return static_cast<int>(lines_.size()); }

    // Throws HostError "NAME:LINE: what".
    [[noreturn]] void Fail(int line, const std::string &what) const;

private:
    std::string fileName_;
    std::vector<std::string> lines_;
    std::size_t index_ = 0;
};

}  // namespace mthost

#endif
