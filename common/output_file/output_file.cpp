#include "output_file/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace mtio {
namespace {

// Temporary files in progress, readable from a signal handler.
constexpr int SLOTS = 16;
char slotNames[SLOTS][PATH_MAX];
std::atomic<bool> slotUsed[SLOTS];

int Register(const std::string &name) {
    if (name.size() >= PATH_MAX) return -1;
    for (int i = 0; i < SLOTS; ++i) {
        bool expected = false;
        if (!slotUsed[i].load() && slotUsed[i].compare_exchange_strong(expected, true)) {
            std::memcpy(slotNames[i], name.c_str(), name.size() + 1);
            return i;
        }
    }
    return -1;
}

void Unregister(int slot) {
    if (slot >= 0) slotUsed[slot] = false;
}

int dataDescriptor = -1;

// 0, or the errno of the failed write.
int WriteAll(int fd, const void *data, size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}  // standard output as it was, once report lines moved away

std::string Cause(int error) { return std::strerror(error); }

std::string TemporaryFolder() {
    const char *folder = std::getenv("TMPDIR");
    return folder && folder[0] == '/' ? folder : "/tmp";
}

std::string Folder(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
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
        name = to[0] == '/' ? to : Folder(name) + "/" + to;
    }
    return name;
}

std::string BaseName(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr const char *TEMPORARY_MARK = ".microtune-";

// The process that wrote a temporary file of `base`, from its name
// ".BASE.microtune-PID" or ".BASE.microtune-PID-N"; 0 for other names.
pid_t WriterOf(const std::string &name, const std::string &base) {
    const std::string prefix = "." + base + TEMPORARY_MARK;
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const char *digits = name.c_str() + prefix.size();
    char *end = nullptr;
    errno = 0;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || errno || pid <= 0 || pid > INT_MAX) return 0;
    if (*end == '-') std::strtol(end + 1, &end, 10);
    return *end == '\0' ? static_cast<pid_t>(pid) : 0;
}

// Temporary files for `base` in `folder` left by processes that no longer
// exist (killed before they could remove them) go.
void RemoveStaleTemporaries(const std::string &folder, const std::string &base) {
    DIR *dir = opendir(folder.c_str());
    if (!dir) return;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        const pid_t writer = WriterOf(name, base);
        if (writer == 0 || writer == getpid()) continue;
        if (kill(writer, 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to know
        const std::string path = folder + "/" + name;
        struct stat info;
        if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
    }
    closedir(dir);
}

// The name a path ends at when written: its file through any links, or the
// new name in its folder's real place.
std::string Resolved(const std::string &path) {
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

// fsync's answer where the file system cannot sync (a pipe, a device): no failure.
bool SyncFailed(int fd) {
    return fsync(fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP;
}

}  // namespace

OutputFile::OutputFile(const std::string &path) : path_(path) {
    if (path.empty()) {
        error_ = "cannot write a file without a name";
        return;
    }
    if (path == "-") {
        direct_ = true;
        Open(TemporaryFolder() + "/microtune-output");
        return;
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            error_ = "cannot write " + path + ": it is a directory";
            return;
        }
        if (!S_ISREG(info.st_mode)) {
            // Named for what it is (a device, a FIFO, a terminal): written
            // into once complete, since writers may read back what they wrote.
            direct_ = true;
            Open(TemporaryFolder() + "/microtune-output");
            return;
        }
        char *resolved = realpath(path.c_str(), nullptr);
        target_ = resolved ? resolved : path;
        std::free(resolved);
    } else {
        target_ = EndOfLinks(path);
    }
    Open(target_);
}

bool OutputFile::Open(const std::string &beside) {
    const std::string folder = Folder(beside);
    const std::string base = BaseName(beside);
    RemoveStaleTemporaries(folder, base);
    // The first free name: one process may write several outputs at once.
    std::string name = folder + "/." + base + TEMPORARY_MARK + std::to_string(getpid());
    int fd = -1;
    for (int n = 1; n < 1000; ++n) {
        fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) break;
        name = folder + "/." + base + TEMPORARY_MARK + std::to_string(getpid()) + "-" +
               std::to_string(n);
    }
    if (fd < 0) {
        const int error = errno;
        struct stat info;
        if (error == ENOENT && stat(folder.c_str(), &info) != 0)
            Fail("the folder " + folder + " does not exist");
        else
            Fail(Cause(error));
        return false;
    }
    writePath_ = name;
    slot_ = Register(writePath_);
    // Made private; the result keeps the mode of the file it replaces, or
    // gets the usual one.
    struct stat info;
    mode_t mode;
    if (!direct_ && stat(target_.c_str(), &info) == 0) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    // Opened again by Write when needed: a writer by name may replace it.
    close(fd);
    return true;
}

OutputFile::~OutputFile() {
    if (!done_) Discard();
}

void OutputFile::Discard() {
    done_ = true;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!writePath_.empty()) unlink(writePath_.c_str());
    Unregister(slot_);
    slot_ = -1;
}

void OutputFile::Fail(const std::string &cause) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": " + cause;
}

bool OutputFile::Write(const void *data, std::size_t size) {
    if (!Ok() || done_) return false;
    if (fd_ < 0) fd_ = open(writePath_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    const int error = fd_ < 0 ? errno : WriteAll(fd_, data, size);
    if (error) Fail(Cause(error));
    return error == 0;
}

// Copies the finished temporary file into the target, in order.
bool OutputFile::CopyToTarget() {
    const bool standardOutput = path_ == "-";
    const int to = standardOutput ? (dataDescriptor >= 0 ? dataDescriptor : STDOUT_FILENO)
                                  : open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (to < 0) {
        Fail(Cause(errno));
        return false;
    }
    const int from = open(writePath_.c_str(), O_RDONLY | O_CLOEXEC);
    int error = from < 0 ? errno : 0;
    char chunk[65536];
    while (!error) {
        const ssize_t n = read(from, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0) error = errno;
            break;
        }
        error = WriteAll(to, chunk, static_cast<size_t>(n));
    }
    if (from >= 0) close(from);
    if (!standardOutput && close(to) != 0 && !error) error = errno;
    if (error) Fail(Cause(error));
    return error == 0;
}

// The temporary file on the disk before it takes the target's name.
bool OutputFile::Sync() {
    const int fd = open(writePath_.c_str(), O_RDONLY | O_CLOEXEC);
    const bool failed = fd < 0 || SyncFailed(fd);
    if (failed) Fail(Cause(errno));
    if (fd >= 0) close(fd);
    return !failed;
}

bool OutputFile::Commit() {
    if (done_) return Ok();
    if (fd_ >= 0) {
        const int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0) Fail(Cause(errno));
    }
    if (Ok()) {
        if (direct_) {
            CopyToTarget();
        } else if (Sync()) {
            if (std::rename(writePath_.c_str(), target_.c_str()) != 0) {
                Fail(Cause(errno));
            } else {
                writePath_.clear();  // it is the target now
                // The new name on the disk too.
                const int folder =
                    open(Folder(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (folder >= 0 && SyncFailed(folder)) Fail(Cause(errno));
                if (folder >= 0) close(folder);
            }
        }
    }
    const bool ok = Ok();
    Discard();
    return ok;
}

void RemoveTemporaryFiles() {
    for (int i = 0; i < SLOTS; ++i)
        if (slotUsed[i]) unlink(slotNames[i]);
}

bool IsStandardOutput(const std::string &path) {
    if (path == "-") return true;
    struct stat named, out;
    return stat(path.c_str(), &named) == 0 && fstat(STDOUT_FILENO, &out) == 0 &&
           !S_ISREG(named.st_mode) && named.st_dev == out.st_dev && named.st_ino == out.st_ino;
}

bool SameOutput(const std::string &a, const std::string &b) {
    // "-" is the file standard output writes into.
    auto fileOf = [](const std::string &path, struct stat *info) {
        return path == "-" ? fstat(STDOUT_FILENO, info) == 0 : stat(path.c_str(), info) == 0;
    };
    struct stat first, second;
    const bool firstExists = fileOf(a, &first);
    const bool secondExists = fileOf(b, &second);
    if (firstExists && secondExists)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino &&
               (S_ISREG(first.st_mode) || IsStandardOutput(a) || IsStandardOutput(b));
    return !firstExists && !secondExists && Resolved(a) == Resolved(b);
}

void KeepStandardOutputForData() {
    if (dataDescriptor >= 0) return;
    std::fflush(stdout);
    dataDescriptor = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (dataDescriptor >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
}

}  // namespace mtio
