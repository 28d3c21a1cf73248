// pipeline_test_support.h - sample texts and profiles, candidate lists, a
// conversion library stand-in that knows Latin-1, and engine
// contexts built by hand, for the pipeline, charset and doctype tests.
#ifndef GLOTTA_TESTS_PIPELINE_TEST_SUPPORT_H
#define GLOTTA_TESTS_PIPELINE_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "conv/zi18n_conv.h"
#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "engine_test_support.h"
#include "ngram/profile.h"
#include "pipeline/lang_tables.h"
#include "platform/vos.h"

namespace pipeline_test {

namespace fs = std::filesystem;

inline std::string Data(const std::string &name) {
    return std::string(GLOTTA_TEST_DATA) + "/pipeline/" + name;
}

using glotta_test::ReadFile;

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

// 16-bit text, low byte first unless asked otherwise.
inline std::string Utf16(std::u16string_view text, bool bigEndian = false) {
    std::string out;
    for (char16_t u : text) {
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}
inline std::string Utf16(const std::string &latin1) {
    std::u16string wide;
    for (unsigned char c : latin1) wide += static_cast<char16_t>(c);
    return Utf16(wide);
}

using glotta_test::LogText;
using glotta_test::TempDir;

// Writes DIR/ID-CHARSET.lm, the ranking of `text`; returns the file name.
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
    EXPECT_EQ(NgramPrfSave(profile, (dir + "/" + name).c_str()), 0);
    NgramPrfDestroy(profile);
    return name;
}

// English, French and German in ISO-8859-1, then French and German in UTF-8.
inline std::vector<std::string> StandardProfiles(const std::string &dir) {
    const std::string en = ReadFile(Data("train_en.txt"));
    const std::string fr = ReadFile(Data("train_fr.txt"));
    const std::string de = ReadFile(Data("train_de.txt"));
    return {MakeProfile(dir, "en", "iso-8859-1", en),
            MakeProfile(dir, "fr", "iso-8859-1", Latin1(fr)),
            MakeProfile(dir, "de", "iso-8859-1", Latin1(de)), MakeProfile(dir, "fr", "utf8", fr),
            MakeProfile(dir, "de", "utf8", de)};
}

// ---- a stand-in for the utility library's conversions --------------------
// ISO-8859-1 and code page 1252 (as Latin-1) to UTF-8.
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
    if (!IsLatin1Charset(source) || Services().selected != CS_UTF8) return 0;
    const auto *in = static_cast<const unsigned char *>(from->data);
    auto *out = static_cast<unsigned char *>(to->data);
    int32_t n = 0;
    for (int32_t i = 0; i < from->length; ++i) {
        if (n + 2 > to->length) return 0;
        if (in[i] < 0x80) {
            out[n++] = in[i];
        } else {
            out[n++] = static_cast<unsigned char>(0xC0 | (in[i] >> 6));
            out[n++] = static_cast<unsigned char>(0x80 | (in[i] & 0x3F));
        }
    }
    to->length = n;
    return 1;
}
inline DXServices *InstallFakeServices() {
    FakeServices &fake = Services();
    fake.services.slot[DX_SVC_SET_SUBST] = reinterpret_cast<uintptr_t>(&FakeSetSubst);
    fake.services.slot[DX_SVC_SELECT] = reinterpret_cast<uintptr_t>(&FakeSelect);
    fake.services.slot[DX_SVC_CONVERT] = reinterpret_cast<uintptr_t>(&FakeConvert);
    return &fake.services;
}

// ---- a scripted filter plug-in --------------------------------------------
// Opening a document reads the whole file through the stream callbacks; the
// text is the file's bytes as UTF-16 units, handed out `chunkUnits` at a
// time. A file that starts with "BROKEN" does not open, one that starts with
// "LOCKED" gives no text.
struct FakeFilter {
    size_t chunkUnits = 100;
    bool openFails = false, openTextFails = false, closesStream = false;
    int failReadAt = -1;  // chunk index whose read fails
    int reads = 0, closes = 0;
    std::string content;
};
inline FakeFilter g_fake;

struct FakeDocument {
    std::string utf16;
    bool locked;
};

inline void *FakeOpenDocument(void *, DXStream *stream) {
    if (g_fake.openFails || stream->open(stream) != 1) return nullptr;
    // Position the way format readers do.
    EXPECT_EQ(stream->seek(stream, 0, DX_SEEK_END), 1);
    std::string content(static_cast<size_t>(stream->tell(stream)), '\0');
    EXPECT_EQ(stream->seek(stream, 0, DX_SEEK_SET), 1);
    int n = 0;
    for (size_t got = 0; got < content.size(); got += n) {
        if ((n = stream->read(stream, content.data() + got, int(content.size() - got))) <= 0) break;
    }
    if (g_fake.closesStream) stream->close(stream);
    g_fake.content = content;
    if (content.rfind("BROKEN", 0) == 0) return nullptr;
    return new FakeDocument{Utf16(content), content.rfind("LOCKED", 0) == 0};
}
inline void FakeCloseDocument(void *, void *document) {
    ++g_fake.closes;
    delete static_cast<FakeDocument *>(document);
}
inline int FakeOpenText(void *, void *document) {
    return g_fake.openTextFails || static_cast<FakeDocument *>(document)->locked ? 5 : 0;
}
inline int FakeReadText(void *, void *document, DXTextChunk *chunk, int) {
    std::string &text = static_cast<FakeDocument *>(document)->utf16;
    if (g_fake.reads++ == g_fake.failReadAt) return 7;
    const size_t n = std::min(g_fake.chunkUnits * 2, text.size());
    chunk->length = static_cast<int32_t>(n);
    chunk->data = n ? malloc(n) : nullptr;
    if (n) memcpy(chunk->data, text.data(), n);
    text.erase(0, n);
    return 0;
}
inline void InstallFakeFilter(DXFilterInterface &api) {
    g_fake = FakeFilter{};
    api.openDocument = FakeOpenDocument;
    api.closeDocument = FakeCloseDocument;
    api.openText = FakeOpenText;
    api.readText = FakeReadText;
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
    // Writes the named profiles into `dir` and loads them.
    void LoadFrom(const std::string &dir, const std::vector<std::string> &names) {
        std::vector<std::string> paths;
        for (const std::string &name : names) paths.push_back(dir + "/" + name);
        Load(paths);
    }

    // Sends the debug log to a scratch file.
    void Debug() {
        ctx_.debug = 1;
        ctx_.logFile = tmpfile();
    }
    std::string Log() const { return LogText(ctx_.logFile); }

    LangContext *get() { return &ctx_; }
    LangContext *operator->() { return &ctx_; }

  private:
    LangContext ctx_{};
    Zi18nHandle handle_{};
};

// ---- candidate lists -------------------------------------------------------

struct Candidate {
    std::string language;
    std::string charset;
    float score;
    bool operator==(const Candidate &) const = default;
};
inline std::ostream &operator<<(std::ostream &out, const Candidate &c) {
    return out << c.language << "/" << c.charset << "/" << c.score;
}

// A list as the engine makes it: strings from vos_malloc, a zero terminator.
inline LangCandidate *MakeList(const std::vector<Candidate> &entries) {
    auto *list =
        static_cast<LangCandidate *>(vos_calloc(entries.size() + 1, sizeof(LangCandidate)));
    for (size_t i = 0; i < entries.size(); ++i) {
        list[i].language = static_cast<char *>(vos_malloc(entries[i].language.size() + 1));
        strcpy(list[i].language, entries[i].language.c_str());
        list[i].charsetName = static_cast<char *>(vos_malloc(entries[i].charset.size() + 1));
        strcpy(list[i].charsetName, entries[i].charset.c_str());
        list[i].score = entries[i].score;
    }
    return list;
}

// Copies a list and releases it; a missing charset name reads "(null)".
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

inline std::vector<std::string> Languages(const std::vector<Candidate> &list) {
    std::vector<std::string> out;
    for (const Candidate &c : list) out.push_back(c.language);
    return out;
}

}  // namespace pipeline_test

#endif
