#include "commands/batch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "host_error.h"

namespace mthost {
namespace {

BatchResult RunBatchWork(size_t index, const std::function<BatchResult(size_t)> &work) {
    try {
        return work(index);
    } catch (const HostError &e) {
        return BatchResult{false, 0, e.what()};
    } catch (const std::exception &e) {
        return BatchResult{false, 0, e.what()};
    }
}

// "O" or "E", the count, a newline, then the text.
std::string EncodeBatchResult(const BatchResult &result) {
    return std::string(result.ok ? "O" : "E") + std::to_string(result.count) + "\n" + result.text;
}

bool DecodeBatchResult(const std::string &data, BatchResult *result) {
    const size_t newline = data.find('\n');
    if (data.size() < 2 || newline == std::string::npos || (data[0] != 'O' && data[0] != 'E'))
        return false;
    result->ok = data[0] == 'O';
    result->count = std::atoll(data.c_str() + 1);
    result->text = data.substr(newline + 1);
    return true;
}

BatchResult Finish(BatchWorker &worker) {
    const std::string ending = FinishBatchWorker(worker);
    BatchResult result;
    if (DecodeBatchResult(worker.data, &result)) return result;
    return BatchResult{false, 0, "the process retuning it ended unexpectedly" + ending};
}

}  // namespace

std::string RunBatchChild(size_t index, const std::function<BatchResult(size_t)> &work) {
    const BatchResult result = RunBatchWork(index, work);
    std::fflush(stdout);
    std::fflush(stderr);
    return EncodeBatchResult(result);
}

void RunBatch(size_t count, int jobs, const std::function<BatchResult(size_t)> &work,
              const std::function<void(size_t, const BatchResult &)> &report) {
    RunBatchChildHere(work);
    jobs = std::max(1, std::min(jobs, MostBatchWorkers()));
    std::map<size_t, BatchWorker> running;
    std::map<size_t, BatchResult> finished;
    size_t next = 0, reported = 0;
    // Nothing printed so far is printed again by a child.
    std::fflush(stdout);
    std::fflush(stderr);
    while (reported < count) {
        while (next < count && running.size() < static_cast<size_t>(jobs)) {
            BatchWorker worker;
            try {
                worker = StartBatchWorker(next, work, running);
            } catch (...) {
                // No child is left writing its file behind the error's back.
                for (auto &entry : running) FinishBatchWorker(entry.second);
                throw;
            }
            running.emplace(next, std::move(worker));
            ++next;
        }
        if (!running.empty()) {
            for (const size_t index : WaitForBatchWorkers(running)) {
                finished[index] = Finish(running[index]);
                running.erase(index);
            }
        }
        // Reported in the order given, whatever order they finish in.
        for (auto it = finished.find(reported); it != finished.end();
             it = finished.find(reported)) {
            report(reported, it->second);
            finished.erase(it);
            ++reported;
        }
    }
}

}  // namespace mthost
