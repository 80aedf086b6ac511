// The output-file rule (output_file.h) on every system; what the systems do
// differently is behind output_file_system.h.
#include "output_file/output_file.h"

#include <atomic>
#include <cstdio>

#include "output_file/output_file_system.h"

namespace mtio {
namespace {

// Temporary files in progress, readable from a signal handler, so held in
// the system's own form. A slot is claimed, then named, then marked ready:
// a signal in between never removes the name of the slot's last user.
constexpr int SLOTS = 16;
enum SlotState : int { FREE, CLAIMED, READY };
os::NativeChar slotNames[SLOTS][os::NATIVE_NAME_CHARS];
std::atomic<int> slotState[SLOTS];

int Register(const os::NativeName &name) {
    if (name.size() >= os::NATIVE_NAME_CHARS) return -1;
    for (int i = 0; i < SLOTS; ++i) {
        int expected = FREE;
        if (slotState[i].load() == FREE &&
            slotState[i].compare_exchange_strong(expected, CLAIMED)) {
            name.copy(slotNames[i], name.size());
            slotNames[i][name.size()] = 0;
            slotState[i] = READY;
            return i;
        }
    }
    return -1;
}

void Unregister(int slot) {
    if (slot >= 0) slotState[slot] = FREE;
}

constexpr const char *TEMPORARY_MARK = ".microtune-";

// The process that wrote a temporary file of `base`, from its name
// ".BASE.microtune-PID" or ".BASE.microtune-PID-N"; 0 for other names.
unsigned long WriterOf(const std::string &name, const std::string &base) {
    const std::string prefix = "." + base + TEMPORARY_MARK;
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    auto digit = [&](size_t i) { return i < name.size() && name[i] >= '0' && name[i] <= '9'; };
    size_t i = prefix.size();
    unsigned long long pid = 0;
    for (; digit(i) && pid <= os::LARGEST_PROCESS_ID; ++i) pid = pid * 10 + (name[i] - '0');
    if (i == prefix.size() || pid == 0 || pid > os::LARGEST_PROCESS_ID) return 0;
    if (i < name.size() && name[i] == '-')
        for (++i; digit(i);) ++i;
    return i == name.size() ? static_cast<unsigned long>(pid) : 0;
}

// Temporary files for `base` in `folder` left by processes that no longer
// exist (killed before they could remove them) go.
void RemoveStaleTemporaries(const std::string &folder, const std::string &base) {
    for (const std::string &name : os::FilesStartingWith(folder, "." + base + TEMPORARY_MARK)) {
        const unsigned long writer = WriterOf(name, base);
        if (writer != 0 && writer != os::ProcessId() && os::ProcessEnded(writer))
            os::Remove(os::Join(folder, name));
    }
}

}  // namespace

OutputFile::OutputFile(const std::string &path) : path_(path) {
    if (path.empty()) {
        error_ = "cannot write a file without a name";
        return;
    }
    const os::Kind kind = path == "-" ? os::Kind::Device : os::Examine(path, &target_);
    if (kind == os::Kind::Folder) {
        error_ = "cannot write " + path + ": it is a directory";
        return;
    }
    if (kind == os::Kind::Device) {
        // Written into once complete, since writers may read back what they wrote.
        direct_ = true;
        Open(os::Join(os::TemporaryFolder(), "microtune-output"));
        return;
    }
    Open(target_);
}

bool OutputFile::Open(const std::string &beside) {
    const std::string folder = os::Folder(beside);
    const std::string base = os::BaseName(beside);
    RemoveStaleTemporaries(folder, base);
    // The first free name: one process may write several outputs at once.
    const std::string stem =
        os::Join(folder, "." + base + TEMPORARY_MARK + std::to_string(os::ProcessId()));
    std::string name = stem, cause;
    os::Created created = os::Created::Failed;
    for (int n = 1; n < 1000; ++n) {
        // Made private; the result keeps the mode of the file it replaces.
        created = os::CreateNew(name, direct_ ? std::string() : target_, &cause);
        if (created != os::Created::Exists) break;
        name = stem + "-" + std::to_string(n);
    }
    if (created != os::Created::Yes) {
        Fail(created == os::Created::NoFolder ? "the folder " + folder + " does not exist" : cause);
        return false;
    }
    // Opened again by Write when needed: a writer by name may replace it.
    writePath_ = name;
    slot_ = Register(os::NativeNameOf(name));
    return true;
}

OutputFile::~OutputFile() {
    if (!done_) Discard();
}

void OutputFile::Discard() {
    done_ = true;
    if (file_ != os::NO_FILE) os::Close(file_, nullptr);
    file_ = os::NO_FILE;
    if (!writePath_.empty()) os::Remove(writePath_);
    Unregister(slot_);
    slot_ = -1;
}

void OutputFile::Fail(const std::string &cause) {
    if (error_.empty()) error_ = "cannot write " + path_ + ": " + cause;
}

bool OutputFile::Write(const void *data, std::size_t size) {
    if (!Ok() || done_) return false;
    std::string cause;
    if (file_ == os::NO_FILE) file_ = os::OpenToAppend(writePath_, &cause);
    const bool ok = file_ != os::NO_FILE && os::WriteAll(file_, data, size, &cause);
    if (!ok) Fail(cause);
    return ok;
}

// Copies the finished temporary file into the target, in order.
bool OutputFile::CopyToTarget() {
    const bool standardOutput = path_ == "-";
    std::string cause;
    if (standardOutput) std::fflush(stdout);  // what the process printed comes first
    const os::File to = standardOutput ? os::DataOutput(&cause) : os::OpenToWrite(path_, &cause);
    if (to == os::NO_FILE) {
        Fail(cause);
        return false;
    }
    const os::File from = os::OpenToRead(writePath_, &cause);
    bool ok = from != os::NO_FILE;
    char chunk[65536];
    while (ok) {
        const long n = os::Read(from, chunk, sizeof chunk, &cause);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = os::WriteAll(to, chunk, static_cast<std::size_t>(n), &cause);
    }
    if (from != os::NO_FILE) os::Close(from, nullptr);
    // A device may report a failed write only when it is closed.
    if (!standardOutput && !os::Close(to, ok ? &cause : nullptr)) ok = false;
    if (!ok) Fail(cause);
    return ok;
}

bool OutputFile::Commit() {
    if (done_) return Ok();
    std::string cause;
    if (file_ != os::NO_FILE) {
        const os::File file = file_;
        file_ = os::NO_FILE;
        if (!os::Close(file, &cause)) Fail(cause);
    }
    if (Ok()) {
        if (direct_) {
            CopyToTarget();
        } else if (!os::SyncFile(writePath_, &cause)) {
            // The temporary file on the disk before it takes the target's name.
            Fail(cause);
        } else if (!os::Rename(writePath_, target_, &cause)) {
            Fail(cause);
        } else {
            writePath_.clear();  // it is the target now
            if (!os::SyncFolder(os::Folder(target_), &cause)) Fail(cause);
        }
    }
    const bool ok = Ok();
    Discard();
    return ok;
}

void RemoveTemporaryFiles() {
    for (int i = 0; i < SLOTS; ++i)
        if (slotState[i] == READY) os::RemoveNative(slotNames[i]);
}

bool IsStandardOutput(const std::string &path) {
    return path == "-" || os::NamesStandardOutput(path);
}

bool SameOutput(const std::string &a, const std::string &b) {
    os::Identity first, second;
    const bool firstExists = os::IdentityOf(a, &first);
    const bool secondExists = os::IdentityOf(b, &second);
    if (firstExists && secondExists)
        return first.volume == second.volume && first.index == second.index &&
               (first.regular || IsStandardOutput(a) || IsStandardOutput(b));
    if (firstExists || secondExists) return false;
    // Standard output of no known file is the same output only as itself.
    if (a == "-" || b == "-") return a == b;
    return os::FullName(a) == os::FullName(b);
}

}  // namespace mtio
