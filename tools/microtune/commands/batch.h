// Running one piece of work per file, each in a process of its own, a few
// at a time. A process per file because the library's state (the notes in
// play, every channel's bend and release time) is one per process: files
// retuned one after another in one process would each start from where the
// last one left off, and files retuned side by side would share it.
#ifndef MICROTUNE_BATCH_H
#define MICROTUNE_BATCH_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

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

// For the platform's half (batch_posix.cpp, batch_win32.cpp), which starts
// and waits for the children; RunBatch (batch.cpp) holds the rest.
struct BatchWorker {
    std::intptr_t process = 0;  // its id, or its handle
    std::intptr_t output = -1;  // the read end of the pipe it hands its result back on
    std::string data;           // what it has handed back so far
};
// Where a child is this program run again (Windows): in such a child, runs
// its work, hands the result back and ends the process. Elsewhere nothing.
void RunBatchChildHere(const std::function<BatchResult(size_t)> &work);
// How many children the platform can wait for at once.
int MostBatchWorkers();
// Starts the child for work(index); `running` are the children already at work.
BatchWorker StartBatchWorker(size_t index, const std::function<BatchResult(size_t)> &work,
                             const std::map<size_t, BatchWorker> &running);
// Waits for the children, keeping what they hand back; the indices of those
// that ended.
std::vector<size_t> WaitForBatchWorkers(std::map<size_t, BatchWorker> &running);
// Reaps a child that ended, with the rest of what it handed back; how it
// ended where that says why it handed back nothing: "" or " (WHY)".
std::string FinishBatchWorker(BatchWorker &worker);
// A child's work with its errors caught and its printing flushed, as the
// child hands it back.
std::string RunBatchChild(size_t index, const std::function<BatchResult(size_t)> &work);

}  // namespace mthost

#endif
