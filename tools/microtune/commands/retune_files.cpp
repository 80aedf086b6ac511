#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>

#include "commands/batch.h"
#include "commands/retune.h"
#include "formats/file_paths.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "library/companion_module.h"

namespace mthost {
namespace {

namespace fs = std::filesystem;

bool IsMidiFileName(const std::string &name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string extension = name.substr(dot + 1);
    for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == "mid" || extension == "midi" || extension == "smf";
}

}  // namespace

std::vector<std::string> ExpandInputs(const std::vector<std::string> &arguments, bool &folder) {
    std::vector<std::string> files;
    folder = false;
    for (const std::string &argument : arguments) {
        std::error_code error;
        if (!fs::is_directory(PathOf(argument), error)) {
            files.push_back(argument);
            continue;
        }
        folder = true;
        std::vector<std::string> found;
        for (fs::directory_iterator it(PathOf(argument), error), end; !error && it != end;
             it.increment(error)) {
            std::error_code ignored;
            if (it->is_regular_file(ignored) && IsMidiFileName(NameOf(it->path().filename())))
                found.push_back(NameOf(it->path()));
        }
        if (error)
            throw HostError("cannot read the folder " + PrintableName(argument) + ": " +
                            error.message());
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

bool NamesAFolder(const std::string &path) {
    std::error_code ignored;
    return EndsInSeparator(path) || fs::is_directory(PathOf(path), ignored);
}

void RetuneMany(const RetuneOptions &options, const RetuneSetup &setup,
                const std::vector<std::string> &files) {
    if (!options.wav.empty())
        throw HostError("--wav renders one file; several files need -o FOLDER/ alone", 2);
    if (options.midi.empty() || !NamesAFolder(options.midi))
        throw HostError("several files need -o FOLDER/ (a folder to write each result into)", 2);
    std::error_code error;
    fs::create_directories(PathOf(options.midi), error);
    if (!fs::is_directory(PathOf(options.midi), error))
        throw HostError("cannot make the folder " + PrintableName(options.midi));
    // Two inputs of one name would overwrite each other's result, and an
    // input in the output folder would be replaced by its own result.
    std::vector<std::string> outputs(files.size()), clash(files.size());
    std::map<std::string, size_t> byName;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string name = NameOf(PathOf(files[i]).filename());
        outputs[i] = NameOf(PathOf(options.midi) / PathOf(name));
        const auto seen = byName.emplace(name, i);
        std::error_code ignored;
        if (!seen.second)
            clash[i] = "has the same name as " + PrintableName(files[seen.first->second]) +
                       ", whose result is " + PrintableName(outputs[i]);
        else if (fs::equivalent(PathOf(files[i]), PathOf(outputs[i]), ignored))
            clash[i] = "is in the output folder: its result would replace it";
    }
    // Loaded once here, each process finds the companion already in place.
    std::string why;
    void *companion = OpenCompanion(why);

    long long notes = 0;
    size_t refused = 0;
    RunBatch(
        files.size(), options.jobs,
        [&](size_t i) {
            if (!clash[i].empty()) throw HostError(PrintableName(files[i]) + ": " + clash[i]);
            const RetuneCounts counts = RetuneFile(options, setup, files[i], outputs[i], true);
            return BatchResult{true, counts.notes, counts.line};
        },
        [&](size_t, const BatchResult &result) {
            if (result.ok) {
                notes += result.count;
                std::printf("%s\n", result.text.c_str());
                std::fflush(stdout);
                return;
            }
            ++refused;
            std::fflush(stdout);
            std::fprintf(stderr, "microtune: %s\n", result.text.c_str());
            std::fflush(stderr);
        });
    CloseCompanion(companion);
    std::printf("%zu file%s, %lld notes retuned, %zu refused\n", files.size(),
                files.size() == 1 ? "" : "s", notes, refused);
    if (refused)
        throw HostError(std::to_string(refused) + " of " + std::to_string(files.size()) +
                        " files could not be retuned");
}

}  // namespace mthost
