// MIDI Tuning Standard messages to a Windows MIDI output: system-exclusive
// messages through midiOutLongMsg, the rest through midiOutShortMsg.
#include <windows.h>  // with mmsystem.h

#include <cstring>

#include "host_error.h"
#include "keys/mts_output.h"

namespace mthost {
namespace {

// How long a device may take to play one system-exclusive message out.
constexpr DWORD LONG_MESSAGE_TIMEOUT_MS = 5000;

// The winmm device that bears the library's name for it: the MIDI mapper
// or a device id, as the library lists them.
bool FindDevice(const std::string &name, UINT *id) {
    MIDIOUTCAPSA caps;
    if (midiOutGetDevCapsA(MIDI_MAPPER, &caps, sizeof caps) == MMSYSERR_NOERROR &&
        name == caps.szPname) {
        *id = MIDI_MAPPER;
        return true;
    }
    const UINT count = midiOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        if (midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR && name == caps.szPname) {
            *id = i;
            return true;
        }
    }
    return false;
}

}  // namespace

struct MidiPortOutput::Port {
    HMIDIOUT out = nullptr;
};

MidiPortOutput::MidiPortOutput(int device) {
    name_ = CheckDevice(device);
    UINT id = 0;
    HMIDIOUT out = nullptr;
    if (!FindDevice(name_, &id) || midiOutOpen(&out, id, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
        throw HostError("cannot open device " + std::to_string(device) + ", " + name_);
    port_.reset(new Port{out});
}

MidiPortOutput::~MidiPortOutput() {
    if (port_) midiOutClose(port_->out);
}

bool MidiPortOutput::Send(const MidiMessage &message) {
    if (message.empty()) return true;
    if (message[0] != 0xF0) {
        DWORD packed = 0;
        for (size_t i = 0; i < message.size() && i < 3; ++i)
            packed |= static_cast<DWORD>(message[i]) << (8 * i);
        return midiOutShortMsg(port_->out, packed) == MMSYSERR_NOERROR;
    }
    // The device reads the buffer until it marks the header done.
    MidiMessage data = message;
    MIDIHDR header;
    std::memset(&header, 0, sizeof header);
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = static_cast<DWORD>(data.size());
    header.dwBytesRecorded = header.dwBufferLength;
    if (midiOutPrepareHeader(port_->out, &header, sizeof header) != MMSYSERR_NOERROR) return false;
    bool sent = midiOutLongMsg(port_->out, &header, sizeof header) == MMSYSERR_NOERROR;
    const DWORD start = GetTickCount();
    while (sent && !(header.dwFlags & MHDR_DONE)) {
        if (GetTickCount() - start > LONG_MESSAGE_TIMEOUT_MS) {
            midiOutReset(port_->out);  // returns the buffer
            sent = false;
            break;
        }
        Sleep(1);
    }
    while (midiOutUnprepareHeader(port_->out, &header, sizeof header) == MIDIERR_STILLPLAYING)
        Sleep(1);
    return sent;
}

}  // namespace mthost
