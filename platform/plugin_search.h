/* plugin_search.h - where a plug-in installation is: the one search through
 * LD_LIBRARY_PATH that the engine's filter loader and the stand-alone
 * conversion service share, and the installation a library was loaded from.
 *
 * An installation keeps a marker file in a directory that LD_LIBRARY_PATH
 * names (PREFIX/_linux/bin) and its plug-ins in the sibling directory
 * "filters" (PREFIX/_linux/filters). */
#ifndef GLOTTA_PLATFORM_PLUGIN_SEARCH_H
#define GLOTTA_PLATFORM_PLUGIN_SEARCH_H

#include <string>

namespace glotta {

enum class PluginSearch { kFound, kNone, kNoMemory };

/* Walks the entries of LD_LIBRARY_PATH (separated by ':', from the first)
 * for the first one that holds `markerFile` and whose parent's "filters"
 * directory holds `libraryFile`; stores that directory, ending in '/', in
 * *directory. Each entry is trimmed of blanks, tabs and double quotes at both
 * ends and of one trailing '/'; an empty entry is the root directory. The
 * walk also ends at a ':' that is the last character. Entries whose composed
 * paths need more than 1023 bytes are passed over. kNone when the variable is
 * unset or no entry qualifies; kNoMemory when its working copy cannot be
 * made. */
PluginSearch FindPluginDirOnLibraryPath(const char *markerFile, const char *libraryFile,
                                        std::string *directory);

/* The "filters" directory, ending in '/', of the installation that holds the
 * shared object containing `address`: for PREFIX/lib/libX.so, the directory
 * PREFIX/_linux/filters/, provided `libraryFile` is in it. kNone when the
 * address is in no shared object, or the installation has no such
 * library. */
PluginSearch FindPluginDirBeside(const void *address, const char *libraryFile,
                                 std::string *directory);

}  // namespace glotta

#endif
