// Names on Windows (file_names.h): UTF-8 becomes UTF-16 for the wide calls.
// A name that is not UTF-8 comes from a program written for the narrow
// calls, which spelled it in the ANSI code page: it is read that way, as
// those calls would have read it.
#include <windows.h>

#include <cerrno>

#include "files/file_names.h"

namespace mtfiles {
namespace {

// The longest name taken, terminator included: well past the classic
// 260-character limit; a longer one fails as too long. On the stack, and
// small enough for a caller's thread with a small stack: this code keeps no
// state and allocates nothing.
constexpr int WIDE_NAME_SIZE = 4096;

// False, with errno set, for a name too long or not text.
bool Widen(const char *name, wchar_t (&wide)[WIDE_NAME_SIZE]) {
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide, WIDE_NAME_SIZE) > 0)
        return true;
    if (GetLastError() == ERROR_NO_UNICODE_TRANSLATION &&
        MultiByteToWideChar(CP_ACP, 0, name, -1, wide, WIDE_NAME_SIZE) > 0)
        return true;
    errno = GetLastError() == ERROR_INSUFFICIENT_BUFFER ? ENAMETOOLONG : EINVAL;
    return false;
}

}  // namespace

std::FILE *OpenForReading(const char *name) {
    wchar_t wide[WIDE_NAME_SIZE];
    return Widen(name, wide) ? _wfopen(wide, L"rb") : nullptr;
}

bool IsFolder(const char *name) {
    wchar_t wide[WIDE_NAME_SIZE];
    if (!Widen(name, wide)) return false;
    const DWORD attributes = GetFileAttributesW(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace mtfiles
