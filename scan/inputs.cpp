// inputs.cpp - the documents a run names: paths from the command line, the
// files below directories, and path lists on standard input.
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <new>
#include <set>
#include <utility>

#include "scan/scan.h"

namespace scan {
namespace {

using DirectoryId = std::pair<dev_t, ino_t>;

// The names in a directory, sorted bytewise; false when it cannot be read.
bool directory_names(const std::string &path, std::vector<std::string> *names) {
    DIR *dir = opendir(path.c_str());
    if (!dir) return false;
    errno = 0;
    while (const struct dirent *entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names->emplace_back(name);
    }
    const bool complete = errno == 0;
    closedir(dir);
    std::sort(names->begin(), names->end());
    return complete;
}

std::string join(const std::string &dir, const std::string &name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + '/' + name;
}

// Walks the directory `path` (already known to be one, with identity `id`);
// `branch` holds the directories from the top down to it, so that a link
// back up is not followed twice.
bool walk(const std::string &path, DirectoryId id, bool followLinks, std::set<DirectoryId> &branch,
          const DocumentSink &sink) {
    std::vector<std::string> names;
    if (!directory_names(path, &names)) return sink(Document{path, LANG_ERR_OPEN});
    branch.insert(id);
    bool more = true;
    for (const std::string &name : names) {
        const std::string child = join(path, name);
        struct stat st;
        if (lstat(child.c_str(), &st) != 0) {
            more = sink(Document{child, LANG_ERR_NOFILE});
        } else if (S_ISLNK(st.st_mode)) {
            if (!followLinks) continue;
            struct stat target;
            if (stat(child.c_str(), &target) != 0) {
                more = sink(Document{child, LANG_ERR_NOFILE});  // a broken link
            } else if (S_ISDIR(target.st_mode)) {
                const DirectoryId childId{target.st_dev, target.st_ino};
                if (branch.count(childId)) continue;  // a loop
                more = walk(child, childId, followLinks, branch, sink);
            } else {
                more = sink(Document{child});
            }
        } else if (S_ISDIR(st.st_mode)) {
            more = walk(child, {st.st_dev, st.st_ino}, followLinks, branch, sink);
        } else {
            more = sink(Document{child});
        }
        if (!more) break;
    }
    branch.erase(id);
    return more;
}

}  // namespace

bool ReadPathList(FILE *in, bool nul, const DocumentSink &sink) {
    const int end = nul ? '\0' : '\n';
    std::string path;
    bool tooLong = false;
    for (;;) {
        const int c = getc_unlocked(in);
        if (c != EOF && c != end) {
            // A document piped in where a list belongs may hold lines of any
            // length: no more of a line is kept than a path can be long.
            if (path.size() < PATH_MAX)
                path += static_cast<char>(c);
            else
                tooLong = true;
            continue;
        }
        if (!nul && !tooLong && !path.empty() && path.back() == '\r') path.pop_back();
        if (!path.empty() && !sink(Document{std::move(path), tooLong ? LANG_ERR_NOFILE : LANG_OK}))
            return true;
        path.clear();
        tooLong = false;
        if (c == EOF) return !ferror(in);
    }
}

int ReadDocument(FILE *in, size_t limit, std::string *bytes) {
    char buffer[1 << 16];
    try {
        for (;;) {
            // Room for one byte past the limit, which tells a document too long.
            const size_t room = limit - bytes->size() + 1;
            const size_t got = fread(buffer, 1, std::min(sizeof buffer, room), in);
            if (got == 0) break;
            bytes->append(buffer, got);
            if (bytes->size() > limit) return LANG_ERR_NOMEM;
        }
    } catch (const std::bad_alloc &) {
        return LANG_ERR_NOMEM;
    }
    return ferror(in) ? LANG_ERR_OPEN : LANG_OK;
}

bool ExpandPath(const std::string &path, bool recursive, bool followLinks,
                const DocumentSink &sink) {
    struct stat st;
    // A path named by the user is followed wherever it leads; anything that
    // is no directory goes to the engine, which reports what it cannot read.
    if (!recursive || stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return sink(Document{path});
    std::set<DirectoryId> branch;
    return walk(path, {st.st_dev, st.st_ino}, followLinks, branch, sink);
}

}  // namespace scan
