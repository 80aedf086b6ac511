// The one kind of failure a subcommand reports: a message for a single line
// on standard error, and the exit status.
#ifndef MICROTUNE_HOST_ERROR_H
#define MICROTUNE_HOST_ERROR_H

#include <stdexcept>
#include <string>

namespace mthost {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string &message, int exitStatus = 1)
        : std::runtime_error(message), exitStatus_(exitStatus) {}
    int ExitStatus() const { return exitStatus_; }

private:
    int exitStatus_;
};

}  // namespace mthost

#endif
