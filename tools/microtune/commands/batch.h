// Running one piece of work per file, each in a process of its own, a few
// at a time. A process per file because the library's state (the notes in
// play, every channel's bend and release time) is one per process: files
// retuned one after another in one process would each start from where the
// last one left off, and files retuned side by side would share it.
#ifndef MICROTUNE_BATCH_H
#define MICROTUNE_BATCH_H

#include <cstddef>
#include <functional>
#include <string>

namespace mthost {

struct BatchResult {
    bool ok = false;
    long long count = 0;  // what the work counted (notes)
    std::string text;     // the line to print: a report, or the error
};

// Runs work(i) for every i below `count`, at most `jobs` at once, each in a
// child process (forked from this one; on Windows, this program run again
// with the same command line), and calls report(i, result) in the
// order of i. A HostError thrown by the work is its error line; a child that
// dies is reported as such.
void RunBatch(size_t count, int jobs, const std::function<BatchResult(size_t)> &work,
              const std::function<void(size_t, const BatchResult &)> &report);

// For the platform's half (batch_posix.cpp, batch_win32.cpp): the work of
// one child with its errors caught, and the result as a child hands it back.
BatchResult RunBatchWork(size_t index, const std::function<BatchResult(size_t)> &work);
std::string EncodeBatchResult(const BatchResult &result);
bool DecodeBatchResult(const std::string &data, BatchResult *result);

}  // namespace mthost

#endif
