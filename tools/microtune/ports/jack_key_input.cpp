#include "ports/jack_key_input.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <thread>
#include <vector>

#include "host_error.h"
#include "ports/midi_input_parser.h"

namespace mthost {
namespace {

constexpr const char *CLIENT_NAME = "microtune-relay";
constexpr const char *PORT_NAME = "in";
// About 250,000 note messages: seconds of the densest input JACK carries.
constexpr std::size_t RING_BYTES = 4u << 20;

// Each event in the ring: this header, then its bytes.
struct EventHeader {
    int64_t arrivedNs;
    uint32_t size;
};

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

struct JackKeyInput::State {
    jack_client_t *client = nullptr;
    jack_port_t *port = nullptr;
    jack_ringbuffer_t *ring = nullptr;
    sem_t wake;
    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> dropped{0};
    std::thread worker;
    Handler handler = nullptr;
    void *context = nullptr;
    MidiInputParser parser;

    // JACK's real-time thread: copies, never blocks, never calls the library.
    static int Process(jack_nframes_t frames, void *self) {
        State &s = *static_cast<State *>(self);
        void *buffer = jack_port_get_buffer(s.port, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        if (count == 0) return 0;
        const int64_t now = NowNs();
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) continue;
            const EventHeader header{now, static_cast<uint32_t>(event.size)};
            if (jack_ringbuffer_write_space(s.ring) < sizeof header + event.size) {
                s.dropped.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            jack_ringbuffer_write(s.ring, reinterpret_cast<const char *>(&header), sizeof header);
            jack_ringbuffer_write(s.ring, reinterpret_cast<const char *>(event.buffer), event.size);
        }
        sem_post(&s.wake);
        return 0;
    }

    void Drain() {
        std::vector<unsigned char> bytes;
        EventHeader header;
        while (jack_ringbuffer_read_space(ring) >= sizeof header) {
            jack_ringbuffer_read(ring, reinterpret_cast<char *>(&header), sizeof header);
            bytes.resize(header.size);
            jack_ringbuffer_read(ring, reinterpret_cast<char *>(bytes.data()), header.size);
            const auto arrived =
                std::chrono::steady_clock::time_point(std::chrono::nanoseconds(header.arrivedNs));
            parser.Feed(bytes.data(), bytes.size(),
                        [&](const unsigned char *message, std::size_t size) {
                            handler(message, size, arrived, context);
                        });
        }
    }

    void Work() {
        for (;;) {
            while (sem_wait(&wake) != 0 && errno == EINTR) {
            }
            Drain();
            if (stopping) return;
        }
    }

    void StopWorker() {
        if (!worker.joinable()) return;
        stopping = true;
        sem_post(&wake);
        worker.join();
    }
};

JackKeyInput::JackKeyInput(const std::string &source, Handler handler, void *context)
    : state_(new State) {
    State &s = *state_;
    s.handler = handler;
    s.context = context;
    sem_init(&s.wake, 0, 0);
    const std::string cannot = "cannot open MIDI input " + source + ": ";
    s.ring = jack_ringbuffer_create(RING_BYTES);
    s.client = jack_client_open(CLIENT_NAME, JackNoStartServer, nullptr);
    if (!s.ring || !s.client) {
        Close();
        throw HostError(cannot + "JACK is not available");
    }
    jack_ringbuffer_mlock(s.ring);
    s.port = jack_port_register(s.client, PORT_NAME, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!s.port || jack_set_process_callback(s.client, &State::Process, &s) != 0) {
        Close();
        throw HostError(cannot + "JACK refused a port");
    }
    s.worker = std::thread([&s] { s.Work(); });
    if (jack_activate(s.client) != 0 ||
        jack_connect(s.client, source.c_str(), jack_port_name(s.port)) != 0) {
        Close();
        throw HostError("MIDI input " + source + " has gone away");
    }
}

JackKeyInput::~JackKeyInput() { Close(); }

void JackKeyInput::Close() {
    if (!state_) return;
    State &s = *state_;
    // No process callback runs once the client is closed; then the worker
    // handles what is left in the ring.
    if (s.client) jack_client_close(s.client);
    s.client = nullptr;
    s.StopWorker();
    if (s.ring) jack_ringbuffer_free(s.ring);
    sem_destroy(&s.wake);
    state_.reset();
}

void JackKeyInput::Abandon() {
    if (!state_) return;
    state_->StopWorker();
    // The client and its ring stay for the process's last moments.
    state_.release();
}

std::size_t JackKeyInput::Dropped() const { return state_ ? state_->dropped.load() : 0; }

}  // namespace mthost
