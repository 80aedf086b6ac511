// The output-file rule on Windows (output_file.h): a new or regular file is
// written to ".NAME.microtune-PID" beside it, flushed to the disk and moved
// over it when complete; a device (NUL, CON, a port) is written into once
// the output is complete; "-" is standard output, in binary mode. Names are
// UTF-8 and reach Windows as UTF-16, so that no name depends on the ANSI
// code page.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "output_file/output_file.h"

namespace mtio {
namespace {

// Temporary files in progress, readable from the console control handler.
constexpr int SLOTS = 16;
constexpr size_t NAME_CHARS = 4096;
wchar_t slotNames[SLOTS][NAME_CHARS];
std::atomic<bool> slotUsed[SLOTS];

int Register(const std::wstring &name) {
    if (name.size() >= NAME_CHARS) return -1;
    for (int i = 0; i < SLOTS; ++i) {
        bool expected = false;
        if (!slotUsed[i].load() && slotUsed[i].compare_exchange_strong(expected, true)) {
            std::wmemcpy(slotNames[i], name.c_str(), name.size() + 1);
            return i;
        }
    }
    return -1;
}

void Unregister(int slot) {
    if (slot >= 0) slotUsed[slot] = false;
}

// Standard output as it was, once report lines moved away.
int dataDescriptor = -1;

std::wstring Wide(const std::string &name) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::vector<wchar_t> text(static_cast<size_t>(n));
    MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, text.data(), n);
    return std::wstring(text.data());
}

std::string Utf8(const std::wstring &name) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::vector<char> text(static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, text.data(), n, nullptr, nullptr);
    return std::string(text.data());
}

// What Windows says about an error, in the words the POSIX build uses where
// there are some, as one line.
std::string Cause(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
            return "Permission denied";
        case ERROR_SHARING_VIOLATION:
            return "the file is in use by another program";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "No space left on device";
        default:
            break;
    }
    char *text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), reinterpret_cast<char *>(&text),
        0, nullptr);
    std::string cause = text ? text : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!cause.empty() && std::strchr("\r\n .", cause.back())) cause.pop_back();
    return cause;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The folder part of a name, "." for none; a drive's root keeps its separator.
std::string Folder(const std::string &path) {
    size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1]) && path[end - 1] != ':') --end;
    if (end == 0) return ".";
    if (path[end - 1] == ':') return path.substr(0, end);
    if (end == 1 || (end == 3 && path[1] == ':')) return path.substr(0, end);
    return path.substr(0, end - 1);
}

std::string BaseName(const std::string &path) {
    size_t start = path.size();
    while (start > 0 && !IsSeparator(path[start - 1]) && path[start - 1] != ':') --start;
    return path.substr(start);
}

std::string Join(const std::string &folder, const std::string &name) {
    if (folder.empty() || IsSeparator(folder.back()) || folder.back() == ':') return folder + name;
    return folder + "\\" + name;
}

std::string TemporaryFolder() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return ".";
    return Utf8(std::wstring(folder, n));
}

constexpr const char *TEMPORARY_MARK = ".microtune-";

// The process that wrote a temporary file of `base`, from its name
// ".BASE.microtune-PID" or ".BASE.microtune-PID-N"; 0 for other names.
DWORD WriterOf(const std::string &name, const std::string &base) {
    const std::string prefix = "." + base + TEMPORARY_MARK;
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const char *digits = name.c_str() + prefix.size();
    char *end = nullptr;
    const unsigned long pid = std::strtoul(digits, &end, 10);
    if (end == digits || pid == 0 || pid > 0xFFFFFFFFul) return 0;
    if (*end == '-') std::strtoul(end + 1, &end, 10);
    return *end == '\0' ? static_cast<DWORD>(pid) : 0;
}

bool ProcessExists(DWORD pid) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;  // denied: not ours to know
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// Temporary files for `base` in `folder` left by processes that no longer
// exist (killed before they could remove them) go.
void RemoveStaleTemporaries(const std::string &folder, const std::string &base) {
    WIN32_FIND_DATAW found;
    const HANDLE search =
        FindFirstFileW(Wide(Join(folder, "." + base + TEMPORARY_MARK + "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = Utf8(found.cFileName);
        const DWORD writer = WriterOf(name, base);
        if (writer == 0 || writer == GetCurrentProcessId() || ProcessExists(writer)) continue;
        if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            DeleteFileW(Wide(Join(folder, name)).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Opens a file by its UTF-8 name for `access`, letting others read, write
// and remove it (the writers that open it by name, Ctrl-C).
HANDLE OpenByName(const std::string &name, DWORD access, DWORD disposition) {
    return CreateFileW(Wide(name).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A file of the system that is not on a disk: NUL, CON, COM1, a pipe.
bool IsDevice(const std::string &path) {
    const HANDLE handle = OpenByName(path, 0, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type != FILE_TYPE_DISK && type != FILE_TYPE_UNKNOWN;
}

bool WriteAll(HANDLE handle, const void *data, size_t size, DWORD *error) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, bytes, chunk, &written, nullptr)) {
            *error = GetLastError();
            return false;
        }
        if (written == 0) {
            *error = ERROR_WRITE_FAULT;
            return false;
        }
        bytes += written;
        size -= written;
    }
    return true;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// The file a name ends at when written, to compare outputs: its full name,
// in one case (Windows names are not case sensitive).
std::wstring FullName(const std::string &path) {
    const std::wstring wide = Wide(path);
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return wide;
    std::vector<wchar_t> full(n);
    GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    std::wstring name(full.data());
    CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

// The identity of an existing file: its volume and index.
bool FileIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION *info) {
    return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, info);
}

}  // namespace

OutputFile::OutputFile(const std::string &path) : path_(path) {
    if (path.empty()) {
        error_ = "cannot write a file without a name";
        return;
    }
    if (path == "-") {
        direct_ = true;
        Open(Join(TemporaryFolder(), "microtune-output"));
        return;
    }
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error_ = "cannot write " + path + ": it is a directory";
        return;
    }
    if (IsDevice(path)) {
        // Written into once complete, since writers may read back what they wrote.
        direct_ = true;
        Open(Join(TemporaryFolder(), "microtune-output"));
        return;
    }
    target_ = path;
    Open(target_);
}

bool OutputFile::Open(const std::string &beside) {
    const std::string folder = Folder(beside);
    const std::string base = BaseName(beside);
    RemoveStaleTemporaries(folder, base);
    // The first free name: one process may write several outputs at once.
    const std::string stem =
        Join(folder, "." + base + TEMPORARY_MARK) + std::to_string(GetCurrentProcessId());
    std::string name = stem;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    for (int n = 1; n < 1000; ++n) {
        handle = OpenByName(name, GENERIC_WRITE, CREATE_NEW);
        error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
        name = stem + "-" + std::to_string(n);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        if (error == ERROR_PATH_NOT_FOUND)
            Fail("the folder " + folder + " does not exist");
        else
            Fail(Cause(error));
        return false;
    }
    // Opened again by Write when needed: a writer by name may replace it.
    CloseHandle(handle);
    writePath_ = name;
    slot_ = Register(Wide(name));
    return true;
}

OutputFile::~OutputFile() {
    if (!done_) Discard();
}

void OutputFile::Discard() {
    done_ = true;
    if (fd_ >= 0) _close(fd_);
    fd_ = -1;
    if (!writePath_.empty()) DeleteFileW(Wide(writePath_).c_str());
    Unregister(slot_);
    slot_ = -1;
}

void OutputFile::Fail(const std::string &cause) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": " + cause;
}

bool OutputFile::Write(const void *data, std::size_t size) {
    if (!Ok() || done_) return false;
    if (fd_ < 0) {
        const HANDLE handle = OpenByName(writePath_, FILE_APPEND_DATA, OPEN_EXISTING);
        if (handle == INVALID_HANDLE_VALUE) {
            Fail(Cause(GetLastError()));
            return false;
        }
        fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_APPEND);
        if (fd_ < 0) {
            CloseHandle(handle);
            Fail(std::strerror(errno));
            return false;
        }
    }
    DWORD error = 0;
    if (!WriteAll(HandleOf(fd_), data, size, &error)) Fail(Cause(error));
    return error == 0;
}

// Copies the finished temporary file into the target, in order.
bool OutputFile::CopyToTarget() {
    const bool standardOutput = path_ == "-";
    HANDLE to = INVALID_HANDLE_VALUE;
    if (standardOutput) {
        std::fflush(stdout);
        to = HandleOf(dataDescriptor >= 0 ? dataDescriptor : _fileno(stdout));
    } else {
        to = OpenByName(path_, GENERIC_WRITE, OPEN_EXISTING);
    }
    if (to == INVALID_HANDLE_VALUE) {
        Fail(Cause(GetLastError()));
        return false;
    }
    const HANDLE from = OpenByName(writePath_, GENERIC_READ, OPEN_EXISTING);
    DWORD error = from == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    char chunk[65536];
    while (!error) {
        DWORD n = 0;
        if (!ReadFile(from, chunk, sizeof chunk, &n, nullptr)) {
            error = GetLastError();
            break;
        }
        if (n == 0) break;
        WriteAll(to, chunk, n, &error);
    }
    if (from != INVALID_HANDLE_VALUE) CloseHandle(from);
    if (!standardOutput) CloseHandle(to);
    if (error) Fail(Cause(error));
    return error == 0;
}

// The temporary file on the disk before it takes the target's name.
bool OutputFile::Sync() {
    const HANDLE handle = OpenByName(writePath_, GENERIC_WRITE, OPEN_EXISTING);
    const bool failed = handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(handle);
    if (failed) Fail(Cause(GetLastError()));
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return !failed;
}

bool OutputFile::Commit() {
    if (done_) return Ok();
    if (fd_ >= 0) {
        const int fd = fd_;
        fd_ = -1;
        if (_close(fd) != 0) Fail(std::strerror(errno));
    }
    if (Ok()) {
        if (direct_) {
            CopyToTarget();
        } else if (Sync()) {
            // The new name on the disk too, before the move returns.
            if (!MoveFileExW(Wide(writePath_).c_str(), Wide(target_).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                Fail(Cause(GetLastError()));
            else
                writePath_.clear();  // it is the target now
        }
    }
    const bool ok = Ok();
    Discard();
    return ok;
}

void RemoveTemporaryFiles() {
    for (int i = 0; i < SLOTS; ++i)
        if (slotUsed[i]) DeleteFileW(slotNames[i]);
}

bool IsStandardOutput(const std::string &path) { return path == "-"; }

bool SameOutput(const std::string &a, const std::string &b) {
    if (a == "-" || b == "-") return a == b;
    const HANDLE first = OpenByName(a, 0, OPEN_EXISTING);
    const HANDLE second = OpenByName(b, 0, OPEN_EXISTING);
    BY_HANDLE_FILE_INFORMATION one, two;
    const bool firstExists = FileIdentity(first, &one);
    const bool secondExists = FileIdentity(second, &two);
    const bool disk = first != INVALID_HANDLE_VALUE && GetFileType(first) == FILE_TYPE_DISK;
    if (first != INVALID_HANDLE_VALUE) CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    if (firstExists && secondExists)
        return disk && one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
               one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
    return !firstExists && !secondExists && FullName(a) == FullName(b);
}

void KeepStandardOutputForData() {
    if (dataDescriptor >= 0) return;
    std::fflush(stdout);
    dataDescriptor = _dup(_fileno(stdout));
    if (dataDescriptor < 0) return;
    _setmode(dataDescriptor, _O_BINARY);
    _dup2(_fileno(stderr), _fileno(stdout));
}

}  // namespace mtio
