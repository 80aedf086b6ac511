#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

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

[[noreturn]] void RunChild(size_t index, int fd, const std::function<BatchResult(size_t)> &work) {
    const BatchResult result = RunBatchWork(index, work);
    std::fflush(stdout);
    std::fflush(stderr);
    WriteAll(fd, EncodeBatchResult(result));
    close(fd);
    // No destructors or exit handlers of the parent's objects run twice.
    _exit(0);
}

BatchResult Decode(const std::string &data, int status) {
    BatchResult result;
    if (DecodeBatchResult(data, &result)) return result;
    std::string why = "the process retuning it ended unexpectedly";
    if (WIFSIGNALED(status)) why += std::string(" (") + strsignal(WTERMSIG(status)) + ")";
    return BatchResult{false, 0, why};
}

}  // namespace

void RunBatch(size_t count, int jobs, const std::function<BatchResult(size_t)> &work,
              const std::function<void(size_t, const BatchResult &)> &report) {
    if (jobs < 1) jobs = 1;
    struct Running {
        pid_t pid;
        int fd;
        std::string data;
    };
    std::map<size_t, Running> running;
    std::map<size_t, BatchResult> finished;
    size_t next = 0, reported = 0;
    std::fflush(stdout);
    std::fflush(stderr);
    while (reported < count) {
        while (next < count && running.size() < static_cast<size_t>(jobs)) {
            int fds[2];
            if (pipe(fds) != 0)
                throw HostError(std::string("cannot start: ") + std::strerror(errno));
            const pid_t pid = fork();
            if (pid < 0) {
                close(fds[0]);
                close(fds[1]);
                throw HostError(std::string("cannot start a process: ") + std::strerror(errno));
            }
            if (pid == 0) {
                close(fds[0]);
                for (const auto &other : running) close(other.second.fd);
                RunChild(next, fds[1], work);
            }
            close(fds[1]);
            running[next] = Running{pid, fds[0], std::string()};
            ++next;
        }
        std::vector<pollfd> polls;
        std::vector<size_t> indices;
        for (const auto &r : running) {
            polls.push_back(pollfd{r.second.fd, POLLIN, 0});
            indices.push_back(r.first);
        }
        if (!polls.empty() && poll(polls.data(), polls.size(), -1) < 0 && errno != EINTR)
            throw HostError(std::string("cannot wait: ") + std::strerror(errno));
        for (size_t k = 0; k < polls.size(); ++k) {
            if (!(polls[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Running &r = running[indices[k]];
            char buffer[4096];
            const ssize_t n = read(r.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) {
                r.data.append(buffer, static_cast<size_t>(n));
                continue;
            }
            close(r.fd);
            int status = 0;
            while (waitpid(r.pid, &status, 0) < 0 && errno == EINTR) {
            }
            finished[indices[k]] = Decode(r.data, status);
            running.erase(indices[k]);
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
