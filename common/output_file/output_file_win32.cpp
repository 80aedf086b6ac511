// What the output-file rule asks of Windows (output_file_system.h): names
// are UTF-8 and reach Windows as UTF-16, so that no name depends on the ANSI
// code page; "/", "\" and a drive's ":" end folders; a device (NUL, CON, a
// port) is anything that is not a file on a disk; "-" is standard output, in
// binary mode.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "output_file/output_file.h"
#include "output_file/output_file_system.h"

namespace mtio {
namespace {

// Standard output as it was, once report lines moved away.
int dataDescriptor = -1;

HANDLE HandleOf(os::File file) { return reinterpret_cast<HANDLE>(file); }
os::File FileOf(HANDLE handle) { return reinterpret_cast<os::File>(handle); }

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

// Fills `cause` (where wanted) from the last error; always false.
bool Failed(std::string *cause, DWORD error = GetLastError()) {
    if (cause) *cause = Cause(error);
    return false;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Opens a file by its UTF-8 name for `access`, letting others read, write
// and remove it (the writers that open it by name, Ctrl-C).
HANDLE OpenByName(const std::string &name, DWORD access, DWORD disposition) {
    return CreateFileW(Wide(name).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

os::File Opened(HANDLE handle, std::string *cause) {
    if (handle == INVALID_HANDLE_VALUE) Failed(cause);
    return FileOf(handle);
}

// A file of the system that is not on a disk: NUL, CON, COM1, a pipe.
bool IsDevice(const std::string &path) {
    const HANDLE handle = OpenByName(path, 0, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type != FILE_TYPE_DISK && type != FILE_TYPE_UNKNOWN;
}

}  // namespace

namespace os {

NativeName NativeNameOf(const std::string &name) { return Wide(name); }

void RemoveNative(const NativeChar *name) { DeleteFileW(name); }

std::string Folder(const std::string &path) {
    size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1]) && path[end - 1] != ':') --end;
    if (end == 0) return ".";
    if (path[end - 1] == ':') return path.substr(0, end);
    // A drive's root keeps its separator.
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

// Its full name in one case: Windows names are not case sensitive.
NativeName FullName(const std::string &path) {
    const std::wstring wide = Wide(path);
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return wide;
    std::vector<wchar_t> full(n);
    GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    std::wstring name(full.data());
    CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

Kind Examine(const std::string &path, std::string *target) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Kind::Folder;
    if (IsDevice(path)) return Kind::Device;
    *target = path;
    return Kind::File;
}

// Its volume and index; standard output has none known here.
bool IdentityOf(const std::string &path, Identity *identity) {
    if (path == "-") return false;
    const HANDLE handle = OpenByName(path, 0, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info);
    if (known) {
        identity->volume = info.dwVolumeSerialNumber;
        identity->index = static_cast<unsigned long long>(info.nFileIndexHigh) << 32;
        identity->index |= info.nFileIndexLow;
        identity->regular = GetFileType(handle) == FILE_TYPE_DISK;
    }
    CloseHandle(handle);
    return known;
}

bool NamesStandardOutput(const std::string &) { return false; }

unsigned long ProcessId() { return GetCurrentProcessId(); }

bool ProcessEnded(unsigned long id) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    // Denied: not ours to know.
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return !running;
}

std::vector<std::string> FilesStartingWith(const std::string &folder, const std::string &prefix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Wide(Join(folder, prefix + "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        // The pattern also matches short names: the long one must start so too.
        const std::string name = Utf8(found.cFileName);
        if (name.compare(0, prefix.size(), prefix) == 0 &&
            !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Windows files keep no mode bits: the new file's permissions come from its
// folder.
Created CreateNew(const std::string &name, const std::string &, std::string *cause) {
    const HANDLE handle = OpenByName(name, GENERIC_WRITE, CREATE_NEW);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        Failed(cause, error);
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return Created::Exists;
        return error == ERROR_PATH_NOT_FOUND ? Created::NoFolder : Created::Failed;
    }
    CloseHandle(handle);
    return Created::Yes;
}

File OpenToAppend(const std::string &name, std::string *cause) {
    return Opened(OpenByName(name, FILE_APPEND_DATA, OPEN_EXISTING), cause);
}

File OpenToRead(const std::string &name, std::string *cause) {
    return Opened(OpenByName(name, GENERIC_READ, OPEN_EXISTING), cause);
}

File OpenToWrite(const std::string &name, std::string *cause) {
    return Opened(OpenByName(name, GENERIC_WRITE, OPEN_EXISTING), cause);
}

File DataOutput(std::string *cause) {
    const intptr_t handle = _get_osfhandle(dataDescriptor >= 0 ? dataDescriptor : _fileno(stdout));
    return Opened(reinterpret_cast<HANDLE>(handle), cause);
}

long Read(File file, void *data, std::size_t size, std::string *cause) {
    DWORD n = 0;
    const DWORD most = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!ReadFile(HandleOf(file), data, most, &n, nullptr)) {
        Failed(cause);
        return -1;
    }
    return static_cast<long>(n);
}

bool WriteAll(File file, const void *data, std::size_t size, std::string *cause) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(HandleOf(file), bytes, chunk, &written, nullptr)) return Failed(cause);
        if (written == 0) return Failed(cause, ERROR_WRITE_FAULT);
        bytes += written;
        size -= written;
    }
    return true;
}

bool Close(File file, std::string *cause) { return CloseHandle(HandleOf(file)) || Failed(cause); }

bool Remove(const std::string &name) { return DeleteFileW(Wide(name).c_str()); }

bool SyncFile(const std::string &name, std::string *cause) {
    const HANDLE handle = OpenByName(name, GENERIC_WRITE, OPEN_EXISTING);
    const bool failed = handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(handle);
    if (failed) Failed(cause);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return !failed;
}

// The new name is on the disk before the move returns.
bool Rename(const std::string &from, const std::string &to, std::string *cause) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           Failed(cause);
}

bool SyncFolder(const std::string &, std::string *) { return true; }  // done by Rename

}  // namespace os

void KeepStandardOutputForData() {
    if (dataDescriptor >= 0) return;
    std::fflush(stdout);
    dataDescriptor = _dup(_fileno(stdout));
    if (dataDescriptor < 0) return;
    _setmode(dataDescriptor, _O_BINARY);
    _dup2(_fileno(stderr), _fileno(stdout));
}

}  // namespace mtio
