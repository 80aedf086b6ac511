#include "live/relay_inputs.h"

#include <algorithm>
#include <cctype>

#include "formats/names.h"
#include "host_error.h"

namespace mthost {
namespace {

std::string ListForError(const std::vector<InputPort> &ports, const std::vector<size_t> &which) {
    std::string text;
    for (size_t i : which)
        text += (text.empty() ? "" : ", ") + std::to_string(i) + " " + ports[i].name;
    return text;
}

}  // namespace

InputPort ResolveInput(const std::string &port) {
    const std::vector<InputPort> ports = ListInputs();
    if (ports.empty()) throw HostError(NoInputsReason());
    const bool number =
        !port.empty() && port.size() < 10 && std::all_of(port.begin(), port.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
    if (number) {
        const size_t index = static_cast<size_t>(std::stoul(port));
        if (index < ports.size()) return ports[index];
        throw HostError(
            "MIDI input " + port + " is out of range: there " +
            (ports.size() == 1 ? "is 1 input" : "are " + std::to_string(ports.size()) + " inputs") +
            " (see: microtune relay --list-inputs)");
    }
    std::vector<std::string> names;
    for (const InputPort &input : ports) names.push_back(input.name);
    const std::vector<size_t> matches = MatchingNames(names, port);
    if (matches.size() == 1) return ports[matches[0]];
    if (matches.empty())
        throw HostError("no MIDI input matches '" + port +
                        "' (see: microtune relay --list-inputs)");
    throw HostError("'" + port + "' matches several MIDI inputs (" + ListForError(ports, matches) +
                    "): give its number or more of its name");
}

}  // namespace mthost
