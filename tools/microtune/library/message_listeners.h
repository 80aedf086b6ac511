// The library has one message tap; the host's listeners (a recording, the
// notes a command reports) share it. The tap is installed while any
// listener is, and removed with the last one.
#ifndef MICROTUNE_MESSAGE_LISTENERS_H
#define MICROTUNE_MESSAGE_LISTENERS_H

namespace mthost {

// channel: the library's channel (0-31); status with the channel's low bits;
// data as they left the library.
using MessageListener = void (*)(void *context, int channel, int status, int data1, int data2);

// Listens from construction to destruction, in the order listeners came.
class ListenToLibrary {
public:
    ListenToLibrary(MessageListener listener, void *context);
    ~ListenToLibrary();
    ListenToLibrary(const ListenToLibrary &) = delete;
    ListenToLibrary &operator=(const ListenToLibrary &) = delete;

private:
    int slot_ = -1;
};

}  // namespace mthost

#endif
