// The output-file rule on Windows (output_file.h): a new or regular file is
// written to a temporary file beside it and moved over it when complete;
// a device (NUL, CON, a port) is written into once the output is complete;
// "-" is standard output, in binary mode. Names are UTF-8 (file_paths.h).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "formats/file_paths.h"
#include "formats/output_file.h"

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

std::wstring Wide(const std::string &name) { return mthost::PathOf(name).wstring(); }

// What Windows says about an error, as one line without the final period.
std::string Cause(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
            return "Permission denied";
        case ERROR_SHARING_VIOLATION:
            return "it is in use by another program";
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
    while (!cause.empty() && (cause.back() == '\n' || cause.back() == '\r' || cause.back() == ' ' ||
                              cause.back() == '.'))
        cause.pop_back();
    return cause;
}

std::string TemporaryFolder() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return ".";
    return mthost::NameOf(std::filesystem::path(std::wstring(folder, n)));
}

std::string Folder(const std::string &path) {
    const std::filesystem::path parent = mthost::PathOf(path).parent_path();
    return parent.empty() ? "." : mthost::NameOf(parent);
}

// A file of the system that is not on a disk: NUL, CON, COM1, a pipe.
bool IsDevice(const std::string &path) {
    const HANDLE handle = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

HANDLE Handle(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace

OutputFile::OutputFile(const std::string &path) : path_(path) {
    if (path.empty()) {
        error_ = "cannot write a file without a name";
        return;
    }
    if (path == "-") {
        direct_ = true;
        Open(TemporaryFolder() + "\\microtune-output");
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
        Open(TemporaryFolder() + "\\microtune-output");
        return;
    }
    target_ = path;
    Open(target_);
}

// Creates the temporary file BESIDE.XXXXXX, where XXXXXX is new.
bool OutputFile::Open(const std::string &beside) {
    static std::atomic<unsigned> counter{0};
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%06lx",
                      static_cast<unsigned long>(
                          (GetCurrentProcessId() * 7919u + GetTickCount() + counter++) & 0xFFFFFF));
        const std::string name = beside + suffix;
        // Others may open it (the writers that open files by name) and
        // remove it (Ctrl-C) while it is open.
        const HANDLE handle = CreateFileW(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            continue;
        }
        fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
        if (fd_ < 0) {
            CloseHandle(handle);
            Fail("cannot open a temporary file");
            return false;
        }
        writePath_ = name;
        slot_ = Register(Wide(name));
        return true;
    }
    const std::string folder = Folder(beside);
    if (error == ERROR_PATH_NOT_FOUND)
        Fail("the folder " + folder + " does not exist");
    else
        Fail(Cause(error));
    return false;
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
    DWORD error = 0;
    if (!WriteAll(Handle(fd_), data, size, &error)) Fail(Cause(error));
    return error == 0;
}

// Copies the finished temporary file into the target, in order.
bool OutputFile::CopyToTarget() {
    const bool standardOutput = path_ == "-";
    HANDLE to = INVALID_HANDLE_VALUE;
    if (standardOutput) {
        const int fd = dataDescriptor >= 0 ? dataDescriptor : _fileno(stdout);
        std::fflush(stdout);
        to = Handle(fd);
    } else {
        to = CreateFileW(Wide(path_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (to == INVALID_HANDLE_VALUE) {
        Fail(Cause(GetLastError()));
        return false;
    }
    const HANDLE from = CreateFileW(Wide(writePath_).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool OutputFile::Commit() {
    if (done_) return Ok();
    if (fd_ >= 0) {
        const int fd = fd_;
        fd_ = -1;
        if (_close(fd) != 0) Fail(std::strerror(errno));
    }
    if (Ok()) {
        if (direct_)
            CopyToTarget();
        else if (!MoveFileExW(Wide(writePath_).c_str(), Wide(target_).c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            Fail(Cause(GetLastError()));
        else
            writePath_.clear();  // it is the target now
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

void KeepStandardOutputForData() {
    if (dataDescriptor >= 0) return;
    std::fflush(stdout);
    dataDescriptor = _dup(_fileno(stdout));
    if (dataDescriptor < 0) return;
    _setmode(dataDescriptor, _O_BINARY);
    _dup2(_fileno(stderr), _fileno(stdout));
}

}  // namespace mtio
