// What the output-file rule asks of POSIX (output_file_system.h): names
// are bytes, "/" separates folders, and a name that is a symbolic link is
// written at the end of its links, which stay as they are.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "output_file/output_file.h"
#include "output_file/output_file_system.h"

namespace mtio {
namespace {

// Standard output as it was, once report lines moved away.
int dataDescriptor = -1;

int Descriptor(os::File file) { return static_cast<int>(file); }

// Fills `cause` (where wanted) from errno; always false.
bool Failed(std::string *cause, int error = errno) {
    if (cause) *cause = std::strerror(error);
    return false;
}

os::File Opened(int fd, std::string *cause) {
    if (fd < 0) Failed(cause);
    return fd < 0 ? os::NO_FILE : fd;
}

// fsync's answer where the file system cannot sync (a pipe, a device): no failure.
bool SyncFailed(int fd) {
    return fsync(fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP;
}

// The name a new file takes when the path is a symbolic link to nothing yet:
// the end of its chain of links.
std::string EndOfLinks(const std::string &path) {
    std::string name = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
        std::vector<char> link(PATH_MAX);
        const ssize_t n = readlink(name.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) break;
        const std::string to(link.data(), static_cast<size_t>(n));
        name = to[0] == '/' ? to : os::Folder(name) + "/" + to;
    }
    return name;
}

}  // namespace

namespace os {

NativeName NativeNameOf(const std::string &name) { return name; }

void RemoveNative(const NativeChar *name) { unlink(name); }

std::string Folder(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string &folder, const std::string &name) { return folder + "/" + name; }

std::string TemporaryFolder() {
    const char *folder = std::getenv("TMPDIR");
    return folder && folder[0] == '/' ? folder : "/tmp";
}

// Its file through any links, or the new name in its folder's real place.
NativeName FullName(const std::string &path) {
    char *resolved = realpath(path.c_str(), nullptr);
    if (resolved) {
        const std::string name = resolved;
        std::free(resolved);
        return name;
    }
    const std::string end = EndOfLinks(path);
    char *folder = realpath(Folder(end).c_str(), nullptr);
    if (!folder) return end;
    const std::string name = std::string(folder) + "/" + BaseName(end);
    std::free(folder);
    return name;
}

Kind Examine(const std::string &path, std::string *target) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        *target = EndOfLinks(path);
        return Kind::File;
    }
    if (S_ISDIR(info.st_mode)) return Kind::Folder;
    if (!S_ISREG(info.st_mode)) return Kind::Device;
    char *resolved = realpath(path.c_str(), nullptr);
    *target = resolved ? resolved : path;
    std::free(resolved);
    return Kind::File;
}

bool IdentityOf(const std::string &path, Identity *identity) {
    struct stat info;
    if (path == "-" ? fstat(STDOUT_FILENO, &info) != 0 : stat(path.c_str(), &info) != 0)
        return false;
    identity->volume = info.st_dev;
    identity->index = info.st_ino;
    identity->regular = S_ISREG(info.st_mode);
    return true;
}

bool NamesStandardOutput(const std::string &path) {
    struct stat named, out;
    return stat(path.c_str(), &named) == 0 && fstat(STDOUT_FILENO, &out) == 0 &&
           !S_ISREG(named.st_mode) && named.st_dev == out.st_dev && named.st_ino == out.st_ino;
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

// A process that exists but is not ours to signal is not known to have ended.
bool ProcessEnded(unsigned long id) {
    return kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
}

std::vector<std::string> FilesStartingWith(const std::string &folder, const std::string &prefix) {
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat info;
        if (name.compare(0, prefix.size(), prefix) == 0 &&
            lstat(Join(folder, name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

Created CreateNew(const std::string &name, const std::string &modeOf, std::string *cause) {
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        Failed(cause, error);
        struct stat info;
        if (error == EEXIST) return Created::Exists;
        return error == ENOENT && stat(Folder(name).c_str(), &info) != 0 ? Created::NoFolder
                                                                         : Created::Failed;
    }
    struct stat info;
    mode_t mode;
    if (!modeOf.empty() && stat(modeOf.c_str(), &info) == 0) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    close(fd);
    return Created::Yes;
}

File OpenToAppend(const std::string &name, std::string *cause) {
    return Opened(open(name.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC), cause);
}

File OpenToRead(const std::string &name, std::string *cause) {
    return Opened(open(name.c_str(), O_RDONLY | O_CLOEXEC), cause);
}

File OpenToWrite(const std::string &name, std::string *cause) {
    return Opened(open(name.c_str(), O_WRONLY | O_CLOEXEC), cause);
}

File DataOutput(std::string *) { return dataDescriptor >= 0 ? dataDescriptor : STDOUT_FILENO; }

long Read(File file, void *data, std::size_t size, std::string *cause) {
    for (;;) {
        const ssize_t n = read(Descriptor(file), data, size);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) {
            Failed(cause);
            return -1;
        }
    }
}

bool WriteAll(File file, const void *data, std::size_t size, std::string *cause) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = write(Descriptor(file), bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failed(cause);
        if (n == 0) return Failed(cause, EIO);
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Close(File file, std::string *cause) { return close(Descriptor(file)) == 0 || Failed(cause); }

bool Remove(const std::string &name) { return unlink(name.c_str()) == 0; }

bool SyncFile(const std::string &name, std::string *cause) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    const bool failed = fd < 0 || SyncFailed(fd);
    if (failed) Failed(cause);
    if (fd >= 0) close(fd);
    return !failed;
}

bool Rename(const std::string &from, const std::string &to, std::string *cause) {
    return std::rename(from.c_str(), to.c_str()) == 0 || Failed(cause);
}

bool SyncFolder(const std::string &folder, std::string *cause) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;  // a folder that cannot be opened cannot be synced either
    const bool failed = SyncFailed(fd);
    if (failed) Failed(cause);
    close(fd);
    return !failed;
}

}  // namespace os

void KeepStandardOutputForData() {
    if (dataDescriptor >= 0) return;
    std::fflush(stdout);
    dataDescriptor = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (dataDescriptor >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
}

}  // namespace mtio
