/* profile_cache.h - the loaded language profiles and their model index in
 * compiled form, so that start-up maps one file instead of reading and
 * indexing every profile (engine-internal).
 *
 * The cache of one language list lives in the user's cache directory
 * ($XDG_CACHE_HOME/glotta, else $HOME/.cache/glotta), never next to the
 * language data, which may be read-only or shared; it is used only while
 * that directory and the file belong to the user and no one else may write
 * to the directory. It is written after a
 * normal load in which every profile loaded, and used only while it matches:
 * the same data directory, list file and profile names in the same order,
 * every profile file unchanged (device, inode, size, modification and change
 * times, mode) and the same build of the engine (its build id,
 * else its program file). Anything else - no cache, a stale,
 * truncated, damaged or foreign one, an unwritable directory - means a normal
 * load; the profiles, warnings and scores are the same either way.
 *
 * Each build of the engine keeps its own cache of a list, so programs used in
 * turn (glotta and glotta-scan) do not rewrite each other's; writing one
 * removes the list's caches of all but the three builds written most recently.
 *
 * Lists of fewer than PROFILE_CACHE_MIN_PROFILES profiles load faster than a
 * cache pays for itself and get none. */
#ifndef GLOTTA_ENGINE_PROFILE_CACHE_H
#define GLOTTA_ENGINE_PROFILE_CACHE_H

#include <string>
#include <vector>

#include "engine/lang_context.h"

enum { PROFILE_CACHE_MIN_PROFILES = 32 };

/* Fills ctx->profiles and ctx->profileIds (allocated for names.size(), all
 * null), ctx->profileCount and ctx->modelIndex from the cache of this list,
 * and returns true; the index then lies in the mapped cache, read-only, until
 * ProfileCacheRelease, and the profiles have no n-gram table: the index
 * alone scores them. Otherwise returns false with ctx untouched,
 * and remembers the state of the profile files (taken before they are read)
 * for ProfileCacheSave. `listPath` is the language list's path. Needs
 * ctx->dataPath; logs one line when the cache is used. */
bool ProfileCacheOpen(LangContext *ctx, const std::string &listPath,
                      const std::vector<std::string> &names);

/* During a normal load after ProfileCacheOpen gave false: the status of
 * profile names[index] as the load opened it, before reading it. Where no
 * cache was there to compare, the cache written afterwards takes the
 * profile's signature from it instead of a status query of its own. */
struct stat;
void ProfileCacheNoteFile(LangContext *ctx, size_t index, const struct stat &status);

/* After a normal load: writes the cache when every named profile loaded
 * (`loadResult` 0), the index is built and no profile file changed in the
 * last seconds (a change within the file system's time resolution could go
 * unseen). Failures are silent: the next start-up loads normally. */
void ProfileCacheSave(LangContext *ctx, int loadResult);

/* Before the profiles are destroyed: detaches the tables that lie in the
 * mapping from the profiles (they are then destroyed as empty ones), unmaps
 * the cache and forgets the remembered state. Safe on any context. */
void ProfileCacheRelease(LangContext *ctx);

/* Whether ctx's profiles come from a mapped cache. */
bool ProfileCacheInUse(const LangContext *ctx);

/* Test hook: how long (seconds) every profile file must have been unchanged
 * before a cache of it is written; a negative value restores the default of
 * 2. Not thread-safe. */
void ProfileCacheSettleSeconds(int seconds);

#endif
