// Children on POSIX: forked from this process, each handing its result back
// through a pipe of its own.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "commands/batch.h"
#include "host_error.h"

namespace mthost {
namespace {

void WriteAll(int fd, const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

int Descriptor(const BatchWorker &worker) { return static_cast<int>(worker.output); }

}  // namespace

// A forked child runs its work from StartBatchWorker.
void RunBatchChildHere(const std::function<BatchResult(size_t)> &) {}

int MostBatchWorkers() { return INT_MAX; }

BatchWorker StartBatchWorker(size_t index, const std::function<BatchResult(size_t)> &work,
                             const std::map<size_t, BatchWorker> &running) {
    int fds[2];
    if (pipe(fds) != 0) throw HostError(std::string("cannot start: ") + std::strerror(errno));
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        throw HostError(std::string("cannot start a process: ") + std::strerror(errno));
    }
    if (pid == 0) {
        close(fds[0]);
        for (const auto &other : running) close(Descriptor(other.second));
        WriteAll(fds[1], RunBatchChild(index, work));
        close(fds[1]);
        // No destructors or exit handlers of the parent's objects run twice.
        _exit(0);
    }
    close(fds[1]);
    BatchWorker worker;
    worker.process = pid;
    worker.output = fds[0];
    return worker;
}

// A child has ended when its pipe does.
std::vector<size_t> WaitForBatchWorkers(std::map<size_t, BatchWorker> &running) {
    std::vector<pollfd> polls;
    std::vector<size_t> indices, ended;
    for (const auto &r : running) {
        polls.push_back(pollfd{Descriptor(r.second), POLLIN, 0});
        indices.push_back(r.first);
    }
    if (poll(polls.data(), polls.size(), -1) < 0 && errno != EINTR)
        throw HostError(std::string("cannot wait: ") + std::strerror(errno));
    for (size_t k = 0; k < polls.size(); ++k) {
        if (!(polls[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        BatchWorker &worker = running[indices[k]];
        char buffer[4096];
        const ssize_t n = read(Descriptor(worker), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0)
            worker.data.append(buffer, static_cast<size_t>(n));
        else
            ended.push_back(indices[k]);
    }
    return ended;
}

std::string FinishBatchWorker(BatchWorker &worker) {
    close(Descriptor(worker));
    int status = 0;
    while (waitpid(static_cast<pid_t>(worker.process), &status, 0) < 0 && errno == EINTR) {
    }
    return WIFSIGNALED(status) ? std::string(" (") + strsignal(WTERMSIG(status)) + ")" : "";
}

}  // namespace mthost
