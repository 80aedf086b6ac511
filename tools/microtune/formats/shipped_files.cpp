#include "formats/shipped_files.h"

#include <filesystem>

#include "formats/file_paths.h"

namespace mthost {
namespace {

// The installed scales folder, found from the program's own folder so that
// an installed tree can be moved; "" for a program run from its build tree.
std::string ShippedScalesDirectory() {
#ifdef MICROTUNE_SCALES_FROM_PROGRAM
    const std::filesystem::path program = ProgramFile();
    if (program.empty()) return "";
    return NameOf(
        (program.parent_path() / PathOf(MICROTUNE_SCALES_FROM_PROGRAM)).lexically_normal());
#else
    return "";
#endif
}

}  // namespace

std::string ResolveShippedFile(const std::string &argument) {
    std::error_code ignored;
    if (argument.empty() || HasFolderPart(argument) || argument == "." || argument == ".." ||
        std::filesystem::exists(PathOf(argument), ignored))
        return argument;
    static const std::string directory = ShippedScalesDirectory();
    if (directory.empty()) return argument;
    const std::string shipped = NameOf(PathOf(directory) / PathOf(argument));
    return std::filesystem::is_regular_file(PathOf(shipped), ignored) ? shipped : argument;
}

}  // namespace mthost
