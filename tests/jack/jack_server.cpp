#include "jack_server.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

extern char **environ;

namespace {
void Quiet(const char *) {}
}  // namespace

JackServer::JackServer() : name_("microtune-test-" + std::to_string(getpid())) {
    // Every JACK client of this process, RtMidi's and the library's, goes
    // to this server.
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    jack_set_error_function(&Quiet);
    jack_set_info_function(&Quiet);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char *argv[] = {JACKD_EXECUTABLE,
                          "--no-realtime",
                          "-n",
                          name_.c_str(),
                          "-d",
                          "dummy",
                          "-r",
                          "48000",
                          "-p",
                          "256",
                          nullptr};
    if (posix_spawn(&pid_, JACKD_EXECUTABLE, &actions, nullptr, const_cast<char **>(argv),
                    environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

JackServer::~JackServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

bool JackServer::WaitUntilReady(double timeoutSeconds) {
    if (pid_ <= 0) return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        jack_client_t *client =
            jack_client_open("microtune-test-probe", JackNoStartServer, nullptr);
        if (client) {
            jack_client_close(client);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}
