// name_map.cpp - display names of language identifiers (DATA/langname.cfg).
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "ngram/text_helpers.h"
#include "platform/vos.h"
#include "tool/tool.h"

LangNameMapEntry langNameMap[LANG_MAX_NAME_MAP];
int numNameMap = 0;

namespace {

constexpr int kLineBuffer = 256;
constexpr char kFileName[] = "langname.cfg";
constexpr char kWhat[] = "configuration file";
constexpr char kOpenFailed[] = "Coundn't open configuration file langname.cfg\n";

// Next whitespace-separated word of `text`, advancing it past the word.
std::string_view next_word(std::string_view &text) {
    while (!text.empty() && lang_ascii_space(text.front())) text.remove_prefix(1);
    size_t end = 0;
    while (end < text.size() && !lang_ascii_space(text[end])) ++end;
    std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

std::string file_path(const char *dataPath) {
    return std::string(dataPath ? dataPath : "") + '/' + kFileName;
}

char *dup_view(std::string_view text) {
    char *copy = static_cast<char *>(malloc(text.size() + 1));
    if (copy) {
        memcpy(copy, text.data(), text.size());
        copy[text.size()] = '\0';
    }
    return copy;
}

void clear_table() {
    for (int i = 0; i < numNameMap; ++i) {
        free(langNameMap[i].id);
        free(langNameMap[i].name);
        langNameMap[i] = LangNameMapEntry{};
    }
    numNameMap = 0;
}

}  // namespace

int loadNameMapping(const char *dataPath) {
    clear_table();
    // Only a regular file: a FIFO would hold start-up up, /dev/zero never end.
    FILE *file = dataPath ? vos_fopen_regular(file_path(dataPath).c_str(), "r", nullptr) : nullptr;
    if (!file) {
        printf("%s", kOpenFailed);
        return 1;
    }
    char buffer[kLineBuffer];
    int count = 0;
    while (count < LANG_MAX_NAME_MAP && fgets(buffer, sizeof buffer, file)) {
        if (buffer[0] == '#' || buffer[0] == '\n' || buffer[0] == '\r') continue;
        std::string_view rest(buffer);
        std::string_view id = next_word(rest);
        std::string_view name = next_word(rest);
        // A line without two words names nothing.
        if (id.empty() || name.empty()) continue;
        char *idCopy = dup_view(id);
        char *nameCopy = dup_view(name);
        if (!idCopy || !nameCopy) {
            free(idCopy);
            free(nameCopy);
            break;
        }
        langNameMap[count].id = idCopy;
        langNameMap[count].name = nameCopy;
        numNameMap = ++count;
    }
    fclose(file);
    return 0;
}

int saveNameMapping(const char *dataPath, const char *languageId, const char *languageName) {
    // The file must already exist, and be a regular file; it is never
    // created here. Each entry goes in with one write at the end of the file
    // (O_APPEND), under a lock, so entries of trainings running side by side
    // neither overwrite nor split each other.
    const std::string path = file_path(dataPath);
    const int fd = dataPath ? vos_open_regular(path.c_str(), VOS_O_RDWR, nullptr) : -1;
    const int flags = fd >= 0 ? fcntl(fd, F_GETFL) : -1;
    if (flags == -1 || fcntl(fd, F_SETFL, flags | O_APPEND) != 0) {
        if (fd >= 0) close(fd);
        printf("%s", kOpenFailed);
        return 1;
    }
    const std::string entry = std::string("\n") + (languageId ? languageId : "") + ' ' +
                              (languageName ? languageName : "") + '\n';
    // Where the file system has no locks, O_APPEND alone still keeps an
    // entry this small in one piece.
    const bool locked = flock(fd, LOCK_EX) == 0;
    struct stat before {};
    if (locked && fstat(fd, &before) != 0) before = {};
    bool written = true;
    for (size_t done = 0; written && done < entry.size();) {
        const ssize_t n = write(fd, entry.data() + done, entry.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            if (n == 0) errno = EIO;
            written = false;
        }
    }
    int error = errno;
    // A piece of an entry would join the next one's line: take it back out.
    if (!written && locked && S_ISREG(before.st_mode)) (void)!ftruncate(fd, before.st_size);
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written) return 0;
    ReportWriteError(kWhat, path.c_str(), error);
    return LANG_EXIT_WRITE_ERROR;
}

const char *LangCode2Name(const char *languageId) {
    if (!languageId) return languageId;
    for (int i = 0; i < numNameMap; ++i) {
        if (strcmp(langNameMap[i].id, languageId) == 0) return langNameMap[i].name;
    }
    return languageId;
}
