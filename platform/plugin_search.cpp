// plugin_search.cpp - finding a plug-in installation through LD_LIBRARY_PATH
// or from the location of a loaded shared object.
#include "platform/plugin_search.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string_view>

#include "platform/vos.h"

namespace glotta {
namespace {

// Paths are composed in buffers of this size, terminator included.
constexpr size_t kPathMax = 1024;
constexpr char kSep = '/';
constexpr std::string_view kFilters = "filters";
// Where an installation keeps its plug-ins, relative to its prefix.
constexpr std::string_view kPlatformFilters = "_linux/filters/";

bool file_exists(const std::string &path) {
    struct stat st;
    return path.size() < kPathMax && vos_stat(path.c_str(), &st) == 0;
}

bool is_trimmed(char c) {
    return c == ' ' || c == '\t' || c == '"';
}

std::string_view clean_entry(std::string_view entry) {
    while (!entry.empty() && is_trimmed(entry.front())) entry.remove_prefix(1);
    while (!entry.empty() && is_trimmed(entry.back())) entry.remove_suffix(1);
    if (!entry.empty() && entry.back() == kSep) entry.remove_suffix(1);
    return entry;
}

// The text before the last '/' found at index 1 or later; empty when there is
// none (a leading '/' alone stands for the root).
std::string_view parent_of(std::string_view path) {
    for (size_t i = path.size(); i-- > 1;) {
        if (path[i] == kSep) return path.substr(0, i);
    }
    return {};
}

// The plug-in directory of one entry, or empty.
std::string plugin_dir_of(std::string_view dir, const char *markerFile, const char *libraryFile) {
    std::string marker(dir);
    marker += kSep;
    marker += markerFile;
    if (!file_exists(marker)) return {};
    std::string candidate(parent_of(dir));
    candidate += kSep;
    candidate += kFilters;
    candidate += kSep;
    if (!file_exists(candidate + libraryFile)) return {};
    return candidate;
}

}  // namespace

PluginSearch FindPluginDirOnLibraryPath(const char *markerFile, const char *libraryFile,
                                        std::string *directory) {
    const char *value = getenv("LD_LIBRARY_PATH");
    if (!value || !markerFile || !libraryFile || !directory) return PluginSearch::kNone;
    // Searched on a copy: the environment may change under us.
    const size_t size = strlen(value) + 1;
    VosPtr<char> copy(static_cast<char *>(vos_malloc(size)));
    if (!copy) return PluginSearch::kNoMemory;
    memcpy(copy.get(), value, size);
    std::string_view rest(copy.get());
    for (;;) {
        const size_t colon = rest.find(':');
        std::string found =
            plugin_dir_of(clean_entry(rest.substr(0, colon)), markerFile, libraryFile);
        if (!found.empty()) {
            *directory = std::move(found);
            return PluginSearch::kFound;
        }
        if (colon == std::string_view::npos || colon + 1 == rest.size()) break;
        rest.remove_prefix(colon + 1);
    }
    return PluginSearch::kNone;
}

PluginSearch FindPluginDirBeside(const void *address, const char *libraryFile,
                                 std::string *directory) {
    if (!address || !libraryFile || !directory) return PluginSearch::kNone;
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname || !info.dli_fname[0]) {
        return PluginSearch::kNone;
    }
    // The object's real path: it may have been loaded through a symbolic
    // link or a path with ".." in it.
    char *real = realpath(info.dli_fname, nullptr);
    if (!real) return PluginSearch::kNone;
    const std::string object(real);
    free(real);
    // PREFIX/lib/libX.so: the prefix is two levels up.
    const std::string_view prefix = parent_of(parent_of(object));
    std::string candidate(prefix);
    candidate += kSep;
    candidate += kPlatformFilters;
    if (!file_exists(candidate + libraryFile)) return PluginSearch::kNone;
    *directory = std::move(candidate);
    return PluginSearch::kFound;
}

}  // namespace glotta
