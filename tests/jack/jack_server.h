// A private JACK server with the dummy driver, for tests: a unique server
// name, no realtime scheduling, stopped when the object goes.
#ifndef MICROTUNE_TEST_JACK_SERVER_H
#define MICROTUNE_TEST_JACK_SERVER_H

#include <sys/types.h>

#include <string>

class JackServer {
public:
    JackServer();
    ~JackServer();
    JackServer(const JackServer &) = delete;
    JackServer &operator=(const JackServer &) = delete;

    // True once a client can connect (waits up to timeoutSeconds).
    bool WaitUntilReady(double timeoutSeconds);
    const std::string &name() const { return name_; }

private:
    std::string name_;
    pid_t pid_ = -1;
};

#endif
