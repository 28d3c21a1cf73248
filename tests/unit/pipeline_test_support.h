// pipeline_test_support.h - test profiles made from sample texts, a
// conversion library stand-in for ISO-8859-1, and engine contexts built by
// hand for recogniser-level tests.
#ifndef GLOTTA_TESTS_PIPELINE_TEST_SUPPORT_H
#define GLOTTA_TESTS_PIPELINE_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "conv/zi18n_conv.h"
#include "engine/lang_context.h"
#include "ngram/profile.h"
#include "pipeline/lang_tables.h"
#include "platform/vos.h"

namespace pipeline_test {

namespace fs = std::filesystem;

inline std::string Data(const std::string &name) {
    return std::string(GLOTTA_TEST_DATA) + "/pipeline/" + name;
}

inline std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string &path, const std::string &content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// UTF-8 text whose characters all lie below U+0100, as ISO-8859-1 bytes.
inline std::string Latin1(const std::string &utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            out += static_cast<char>(((c & 0x1F) << 6) |
                                     (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        }
    }
    return out;
}

// A scratch directory removed at the end.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "glotta_pipe_XXXXXX").string();
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string str(const std::string &relative = "") const {
        return relative.empty() ? path_.string() : (path_ / relative).string();
    }
    // Writes a file, creating its directories; returns its path.
    std::string write(const std::string &relative, const std::string &content) const {
        WriteFile(str(relative), content);
        return str(relative);
    }
    std::string mkdir(const std::string &relative) const {
        fs::create_directories(path_ / relative);
        return str(relative);
    }

  private:
    fs::path path_;
};

// Sets (or with nullopt unsets) an environment variable for one scope.
class EnvOverride {
  public:
    EnvOverride(const char *name, std::optional<std::string> value) : name_(name) {
        if (const char *old = getenv(name)) old_ = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvOverride() {
        if (old_) {
            setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    EnvOverride(const EnvOverride &) = delete;
    EnvOverride &operator=(const EnvOverride &) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// Writes DIR/ID-CHARSET.lm: the ranking of `text` as a language model.
inline std::string MakeProfile(const std::string &dir, const std::string &id,
                               const std::string &charset, std::string text) {
    NgramProfile *profile = NgramPrfNew(id.c_str(), charset.c_str(), 1);
    EXPECT_NE(profile, nullptr);
    if (!profile) return "";
    EXPECT_EQ(NgramPrfInsert(profile, reinterpret_cast<unsigned char *>(text.data()),
                             static_cast<int32_t>(text.size())),
              0);
    EXPECT_EQ(NgramPrfSort(profile), 0);
    const std::string name = id + "-" + charset + ".lm";
    const std::string path = dir + "/" + name;
    EXPECT_EQ(NgramPrfSave(profile, path.c_str()), 0);
    NgramPrfDestroy(profile);
    return name;
}

// The profiles most tests use: English, French and German in ISO-8859-1,
// French and German in UTF-8, written into `dir`, in this order.
inline std::vector<std::string> StandardProfiles(const std::string &dir) {
    const std::string en = ReadFile(Data("train_en.txt"));
    const std::string fr = ReadFile(Data("train_fr.txt"));
    const std::string de = ReadFile(Data("train_de.txt"));
    return {
        MakeProfile(dir, "en", "iso-8859-1", en),
        MakeProfile(dir, "fr", "iso-8859-1", Latin1(fr)),
        MakeProfile(dir, "de", "iso-8859-1", Latin1(de)),
        MakeProfile(dir, "fr", "utf8", fr),
        MakeProfile(dir, "de", "utf8", de),
    };
}

// ---- a stand-in for the utility library's conversions --------------------
// Converts ISO-8859-1 and code page 1252 (as Latin-1) to UTF-8 and back, and
// Latin-1 to and from 16-bit Unicode. Enough for the markup recogniser.
struct FakeServices {
    DXServices services{};
    int selected = 0;
    int calls = 0;
};

inline FakeServices &Services() {
    static FakeServices fake;
    return fake;
}

inline bool IsLatin1Charset(int charset) {
    return charset == CS_ISO8859_1 || charset == CS_CP1252;
}

inline int FakeSetSubst(DXServices *, int) {
    return 1;
}
inline int FakeSelect(DXServices *, int charset) {
    Services().selected = charset;
    return 1;
}
inline int FakeConvert(DXServices *, int source, DXBuffer *from, DXBuffer *to, int) {
    ++Services().calls;
    const auto *in = static_cast<const unsigned char *>(from->data);
    auto *out = static_cast<unsigned char *>(to->data);
    int32_t n = 0;
    if (IsLatin1Charset(source) && Services().selected == CS_UTF8) {
        for (int32_t i = 0; i < from->length; ++i) {
            const unsigned char c = in[i];
            if (c < 0x80) {
                if (n + 1 > to->length) return 0;
                out[n++] = c;
            } else {
                if (n + 2 > to->length) return 0;
                out[n++] = static_cast<unsigned char>(0xC0 | (c >> 6));
                out[n++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            }
        }
        to->length = n;
        return 1;
    }
    return 0;
}
inline int FakeToUnicode(DXServices *, DXBuffer *from, DXBuffer *to, int, int) {
    ++Services().calls;
    if (!IsLatin1Charset(Services().selected)) return 0;
    const auto *in = static_cast<const unsigned char *>(from->data);
    auto *out = static_cast<unsigned char *>(to->data);
    if (from->length * 2 > to->length) return 0;
    for (int32_t i = 0; i < from->length; ++i) {
        out[2 * i] = in[i];
        out[2 * i + 1] = 0;
    }
    to->length = from->length * 2;
    return 1;
}

inline DXServices *InstallFakeServices() {
    FakeServices &fake = Services();
    fake.services.slot[DX_SVC_SET_SUBST] = reinterpret_cast<uintptr_t>(&FakeSetSubst);
    fake.services.slot[DX_SVC_SELECT] = reinterpret_cast<uintptr_t>(&FakeSelect);
    fake.services.slot[DX_SVC_CONVERT] = reinterpret_cast<uintptr_t>(&FakeConvert);
    fake.services.slot[DX_SVC_TO_UNICODE] = reinterpret_cast<uintptr_t>(&FakeToUnicode);
    return &fake.services;
}

// ---- an engine context built by hand --------------------------------------

// Owns a LangContext whose profiles are loaded from files; everything else
// stays at the values a fresh engine has.
class HandContext {
  public:
    HandContext() {
        ctx_.convService = &handle_;
        handle_.services = InstallFakeServices();
    }
    ~HandContext() {
        for (int32_t i = 0; i < ctx_.profileCount; ++i) {
            NgramPrfDestroy(ctx_.profiles[i]);
            delete ctx_.profileIds[i];
        }
        delete[] ctx_.profiles;
        delete[] ctx_.profileIds;
        if (ctx_.logFile) fclose(ctx_.logFile);
    }
    HandContext(const HandContext &) = delete;
    HandContext &operator=(const HandContext &) = delete;

    // Loads `paths` in order; the numbers come from the profiles' own
    // identifiers unless `ids` gives them.
    void Load(const std::vector<std::string> &paths, const std::vector<ProfileIds> &ids = {}) {
        ctx_.profiles = new NgramProfile *[paths.size()];
        ctx_.profileIds = new ProfileIds *[paths.size()];
        for (size_t i = 0; i < paths.size(); ++i) {
            NgramProfile *profile = NgramPrfNew(nullptr, nullptr, 0);
            ASSERT_NE(profile, nullptr);
            ASSERT_EQ(NgramPrfLoad(profile, paths[i].c_str()), 0) << paths[i];
            auto *record = new ProfileIds;
            if (i < ids.size()) {
                *record = ids[i];
            } else {
                record->langEnum = LangCode2Enum(profile->languageId);
                record->charsetEnum = Zi18nGetCharsetEnum(profile->charset);
            }
            ctx_.profiles[i] = profile;
            ctx_.profileIds[i] = record;
            ctx_.profileCount = static_cast<int32_t>(i + 1);
        }
    }

    // Sends the debug log to a scratch file.
    void Debug() {
        ctx_.debug = 1;
        ctx_.logFile = tmpfile();
    }
    std::string Log() const {
        if (!ctx_.logFile) return "";
        fflush(ctx_.logFile);
        const long size = ftell(ctx_.logFile);
        std::string out(static_cast<size_t>(size), '\0');
        rewind(ctx_.logFile);
        const size_t got = fread(out.data(), 1, out.size(), ctx_.logFile);
        out.resize(got);
        fseek(ctx_.logFile, 0, SEEK_END);
        return out;
    }

    LangContext *get() { return &ctx_; }
    LangContext *operator->() { return &ctx_; }

  private:
    LangContext ctx_{};
    Zi18nHandle handle_{};
};

// A candidate list as "language charset" strings, best first.
struct Candidate {
    std::string language;
    std::string charset;
    float score;
};

inline std::vector<Candidate> Take(LangCandidate *list) {
    std::vector<Candidate> out;
    if (!list) return out;
    for (LangCandidate *c = list; c->language; ++c) {
        out.push_back({c->language, c->charsetName ? c->charsetName : "(null)", c->score});
        vos_free(c->language);
        vos_free(c->charsetName);
    }
    vos_free(list);
    return out;
}

}  // namespace pipeline_test

#endif
