// What the output-file rule (output_file.cpp) asks of the system, one file
// per system: output_file_posix.cpp, output_file_win32.cpp. Names are UTF-8
// text on every system; a failure comes back as its cause, one line in the
// words the POSIX build uses where Windows has some.
#ifndef MICROTUNE_OUTPUT_FILE_SYSTEM_H
#define MICROTUNE_OUTPUT_FILE_SYSTEM_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mtio {
namespace os {

// An open file: a descriptor on POSIX, a handle on Windows.
using File = std::intptr_t;
constexpr File NO_FILE = -1;

// Names as the system's own calls take them, for the list of temporary
// files that a signal handler removes without converting anything.
// The largest name kept there is PATH_MAX on Linux.
#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
using NativeName = std::basic_string<NativeChar>;
constexpr std::size_t NATIVE_NAME_CHARS = 4096;
NativeName NativeNameOf(const std::string &name);
void RemoveNative(const NativeChar *name);  // safe in a signal handler

// Names.
std::string Folder(const std::string &path);    // "." for none
std::string BaseName(const std::string &path);  // without its folder
std::string Join(const std::string &folder, const std::string &name);
std::string TemporaryFolder();
// What two outputs compare when neither exists yet: the name a path would
// end at, in one spelling.
NativeName FullName(const std::string &path);

// What a name stands for: a regular file or none yet (with the name that is
// written in its place: the end of its links), a folder, or something else
// (a device, a FIFO, a terminal).
enum class Kind { File, Folder, Device };
Kind Examine(const std::string &path, std::string *target);

// The identity of an existing file, "-" standing for standard output.
struct Identity {
    unsigned long long volume = 0, index = 0;
    bool regular = false;  // a file on a disk
};
bool IdentityOf(const std::string &path, Identity *identity);
// A name other than "-" for the pipe, terminal or device standard output
// writes to.
bool NamesStandardOutput(const std::string &path);

// Processes: this one, the largest id the system gives, and whether the
// process that wrote a temporary file is known to have ended.
unsigned long ProcessId();
#ifdef _WIN32
constexpr unsigned long LARGEST_PROCESS_ID = 0xFFFFFFFFul;
#else
constexpr unsigned long LARGEST_PROCESS_ID = INT_MAX;
#endif
bool ProcessEnded(unsigned long id);

// The regular files in a folder whose names start with `prefix`.
std::vector<std::string> FilesStartingWith(const std::string &folder, const std::string &prefix);

// Creates a file that must not exist yet, closed again at once; on POSIX it
// takes the permissions of `modeOf` where that exists, else the usual ones.
enum class Created { Yes, Exists, NoFolder, Failed };
Created CreateNew(const std::string &name, const std::string &modeOf, std::string *cause);
File OpenToAppend(const std::string &name, std::string *cause);
File OpenToRead(const std::string &name, std::string *cause);
// An existing file to write into from its start (a device).
File OpenToWrite(const std::string &name, std::string *cause);
// Standard output as it was before KeepStandardOutputForData.
File DataOutput(std::string *cause);
// Bytes read, 0 at the end, -1 on failure.
long Read(File file, void *data, std::size_t size, std::string *cause);
bool WriteAll(File file, const void *data, std::size_t size, std::string *cause);
bool Close(File file, std::string *cause);
bool Remove(const std::string &name);
// A file's data on the disk; files that cannot be synced are no failure.
bool SyncFile(const std::string &name, std::string *cause);
// Gives `from` the name `to`, replacing any file there.
bool Rename(const std::string &from, const std::string &to, std::string *cause);
// The folder's new entry on the disk too.
bool SyncFolder(const std::string &folder, std::string *cause);

}  // namespace os
}  // namespace mtio

#endif
