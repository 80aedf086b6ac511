#include "library/voice.h"

#include <cctype>
#include <vector>

#include "formats/names.h"
#include "host_error.h"
#include "microtune.h"

namespace mthost {
namespace {

constexpr int NAME_SIZE = 64;
constexpr int VOICES = 128;

// As the library reads a query: leading white space dropped, every run of
// white space one blank (a trailing run included).
std::string Collapse(const std::string &text) {
    std::string out;
    bool pendingSpace = false;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            pendingSpace = !out.empty();
        } else {
            if (pendingSpace) out += ' ';
            pendingSpace = false;
            out += c;
        }
    }
    if (pendingSpace) out += ' ';
    return out;
}

}  // namespace

std::string VoiceName(int number) {
    char name[NAME_SIZE];
    return GetMidiVoiceName(number, name, NAME_SIZE);
}

Voice LookUpVoice(const std::string &query) {
    const std::string collapsed = Collapse(query);
    if (collapsed.empty() || collapsed == " ") throw HostError("empty voice name");
    std::string trimmed = collapsed;
    if (trimmed.back() == ' ') trimmed.pop_back();

    if (trimmed[0] == '+' || std::isdigit(static_cast<unsigned char>(trimmed[0]))) {
        const size_t start = trimmed[0] == '+' ? 1 : 0;
        bool digits = start < trimmed.size();
        for (size_t i = start; i < trimmed.size(); ++i)
            if (!std::isdigit(static_cast<unsigned char>(trimmed[i]))) digits = false;
        if (!digits) throw HostError("voice '" + query + "' is neither a number nor a name");
        if (trimmed.size() - start > 9 || std::stoi(trimmed.substr(start)) > 127)
            throw HostError("voice " + trimmed +
                            " is out of range: General MIDI voices are 0 to 127");
    }

    // A trailing blank would keep the library from matching a last word.
    std::vector<char> text(trimmed.begin(), trimmed.end());
    text.push_back('\0');
    char name[NAME_SIZE];
    Voice voice;
    voice.number = FindMidiVoice(text.data(), name, NAME_SIZE);
    voice.name = name;
    // Voice 0 is also what the library answers when nothing matches.
    const bool number = trimmed[0] == '+' || std::isdigit(static_cast<unsigned char>(trimmed[0]));
    if (voice.number == 0 && !number && Lower(voice.name).find(Lower(trimmed)) == std::string::npos)
        throw HostError("no voice matches '" + query + "' (see: microtune voices)");
    return voice;
}

std::vector<Voice> MatchingVoices(const std::string &query) {
    std::vector<Voice> voices = {LookUpVoice(query)};
    std::string text = Lower(Collapse(query));
    if (!text.empty() && text.back() == ' ') text.pop_back();
    if (text[0] == '+' || std::isdigit(static_cast<unsigned char>(text[0]))) return voices;
    std::string singular = text;
    if (singular.size() > 3 && singular.back() == 's') singular.pop_back();
    for (int number = 0; number < VOICES; ++number) {
        const std::string name = VoiceName(number);
        if (number == voices[0].number || Lower(name).find(singular) == std::string::npos) continue;
        voices.push_back({number, name});
    }
    return voices;
}

}  // namespace mthost
