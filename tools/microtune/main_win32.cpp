// microtune on Windows. The command line arrives as UTF-16 and is handed on
// as UTF-8, the text every part of the host reads (file names become UTF-16
// again where files are opened: formats/file_paths.h). Standard output and
// error carry the bytes as they are, lines ending in LF as on every
// platform, so that listings, CSV and data written to "-" are the same
// everywhere; a console is shown UTF-8 while the program runs.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands/command_line.h"

namespace {

std::string Utf8(const wchar_t *text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::vector<char> buffer(static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), n, nullptr, nullptr);
    return std::string(buffer.data());
}

UINT consoleCodePage = 0;
void RestoreConsole() { SetConsoleOutputCP(consoleCodePage); }

}  // namespace

int wmain(int argc, wchar_t **argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(Utf8(argv[i]));
    std::vector<char *> pointers;
    for (std::string &argument : arguments) pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    consoleCodePage = GetConsoleOutputCP();
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit(&RestoreConsole);
    return mthost::RunCommandLine(argc, pointers.data());
}
