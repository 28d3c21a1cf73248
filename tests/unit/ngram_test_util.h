// ngram_test_util.h - helpers shared by the n-gram tests.
#ifndef GLOTTA_TESTS_NGRAM_TEST_UTIL_H
#define GLOTTA_TESTS_NGRAM_TEST_UTIL_H

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "ngram/profile.h"
#include "platform/vos.h"

namespace ngram_test {

struct ProfileDeleter {
    void operator()(NgramProfile *profile) const { NgramPrfDestroy(profile); }
};
using ProfilePtr = std::unique_ptr<NgramProfile, ProfileDeleter>;

// Resets the allocation-failure hook however the test ends.
struct FailAllocAfter {
    explicit FailAllocAfter(long n) { vos_fail_alloc_after(n); }
    ~FailAllocAfter() { vos_fail_alloc_after(-1); }
    FailAllocAfter(const FailAllocAfter &) = delete;
    FailAllocAfter &operator=(const FailAllocAfter &) = delete;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the test.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "glotta-ngram-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

    std::string write(const std::string &name, const std::string &bytes) const {
        const std::string target = file(name);
        std::ofstream(target, std::ios::binary) << bytes;
        return target;
    }

  private:
    std::string path_;
};

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A ranked document profile of `text`, sorted.
inline ProfilePtr document_of(std::string text) {
    ProfilePtr document(NgramPrfNew(nullptr, nullptr, 1));
    if (!document) return document;
    NgramPrfInsert(document.get(), reinterpret_cast<unsigned char *>(text.data()),
                   static_cast<int32_t>(text.size()));
    NgramPrfSort(document.get());
    return document;
}

inline int32_t count_of(const NgramProfile *profile, const std::string &key) {
    return HashSearch(profile->table, key.data(), static_cast<int32_t>(key.size()));
}

}  // namespace ngram_test

#endif
