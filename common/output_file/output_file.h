// The one rule for every file microtune writes (MIDI files, WAV renders,
// the calibration cache):
//   - "-" is standard output, written directly.
//   - A name that does not exist yet, or that leads (through any symbolic
//     links, which stay as they are) to a regular file, is written to a
//     temporary file in the folder of that file and renamed over it only
//     when complete: an existing file is never truncated or half-written.
//     The temporary file is flushed to the disk before the rename and the
//     folder after it, so that a power loss leaves the old file or the new
//     one, never a part of it.
//   - Anything else that exists (a device, a FIFO, /dev/stdout) is written
//     into directly, in order, once the output is complete (it is made in
//     the temporary folder first: writers read back what they wrote, and
//     an unfinished output must not reach a reader).
// Every failure, including close and rename, is reported with its cause.
// Temporary files are named ".NAME.microtune-PID" after the file they become
// and the process that writes them. They are registered, so that Ctrl-C or
// SIGTERM removes them; those of a process that no longer exists (killed, or
// the machine stopped) are removed by the next output to the same name.
#ifndef MICROTUNE_OUTPUT_FILE_H
#define MICROTUNE_OUTPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace mtio {

class OutputFile {
public:
    // Decides where the writing goes and, for a temporary file, creates it.
    // On failure Ok() is false and Error() says why.
    explicit OutputFile(const std::string &path);
    // Not committed: the temporary file goes; a direct target stays as written.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool Ok() const { return error_.empty(); }
    // One line: "cannot write NAME: CAUSE".
    const std::string &Error() const { return error_; }
    // Where a writer that opens files by name writes: the temporary file.
    // Nothing else holds it open, so the writer may also replace it.
    const std::string &WritePath() const { return writePath_; }
    bool Direct() const { return direct_; }

    // Writes through this object's own descriptor; false (with Error) on failure.
    bool Write(const void *data, std::size_t size);
    // Closes, flushes the temporary file to the disk and gives it the
    // target's name (flushing the folder), or copies it into the target.
    bool Commit();
    // Records a failure the writer met, with its cause.
    void Fail(const std::string &cause);

private:
    bool Open(const std::string &beside);
    bool CopyToTarget();
    void Discard();

    std::string path_;       // as the user named it
    std::string writePath_;  // the temporary file
    std::string target_;     // the resolved name the temporary file replaces
    std::string error_;
    std::intptr_t file_ = -1;  // open for Write: a descriptor, or a Windows handle
    bool direct_ = false;
    bool done_ = false;
    int slot_ = -1;  // registration for removal on interrupt
};

// Removes the temporary file of every output not yet complete; safe in a
// signal handler (library/end_signals.h calls it on Ctrl-C).
void RemoveTemporaryFiles();

// "-o -": standard output carries the data alone, so the host's report
// lines go to standard error from here on.
void KeepStandardOutputForData();
// "-", or a name for the pipe, terminal or device standard output writes to.
bool IsStandardOutput(const std::string &path);

// Whether two outputs of one run would end in one file: the same regular
// file or new name (through links or other spellings), or both standard
// output. Devices and FIFOs may take several outputs.
bool SameOutput(const std::string &a, const std::string &b);

}  // namespace mtio

#endif
