#include "formats/shipped_files.h"

#include <climits>
#include <filesystem>

namespace mthost {
namespace {

// The installed scales folder, found from the program's own folder so that
// an installed tree can be moved; "" for a program run from its build tree.
std::string ShippedScalesDirectory() {
#ifdef MICROTUNE_SCALES_FROM_PROGRAM
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed || !program.is_absolute()) return "";
    return (program.parent_path() / MICROTUNE_SCALES_FROM_PROGRAM).lexically_normal().string();
#else
    return "";
#endif
}

}  // namespace

std::string ResolveShippedFile(const std::string &argument) {
    std::error_code ignored;
    if (argument.empty() || argument.find('/') != std::string::npos || argument == "." ||
        argument == ".." || std::filesystem::exists(argument, ignored))
        return argument;
    static const std::string directory = ShippedScalesDirectory();
    if (directory.empty()) return argument;
    const std::string shipped = directory + "/" + argument;
    return std::filesystem::is_regular_file(shipped, ignored) ? shipped : argument;
}

}  // namespace mthost
