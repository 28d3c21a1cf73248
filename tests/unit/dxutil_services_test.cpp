// The utility plug-in loaded as the engine loads it, driven through the
// conversion service end to end.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "conv/zi18n_conv.h"
#include "filters/dxutil/dxutil_charsets.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char *kPluginPath = GLOTTA_BINARY_DIR "/filters/dxutil/dxutil.so";

Bytes bytes(const char *s) {
    return Bytes(s, s + std::strlen(s));
}

// UTF-16 (low byte first) of a UTF-8 literal, through the built-in decoder.
Bytes utf16(const char *utf8) {
    Bytes out(2 * std::strlen(utf8) + 2);
    int32_t consumed = 0, length = 0;
    EXPECT_EQ(Zi18nUtf8ToUnicode(utf8, static_cast<int32_t>(std::strlen(utf8)), &consumed,
                                 out.data(), static_cast<int32_t>(out.size()), &length, 0),
              0);
    out.resize(static_cast<size_t>(length));
    return out;
}

class Plugin : public ::testing::Test {
  protected:
    void SetUp() override {
        library = dlopen(kPluginPath, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        create = reinterpret_cast<DXCreateServicesFn>(dlsym(library, DX_SYM_CREATE_SERVICES));
        createEx =
            reinterpret_cast<DXCreateServicesExFn>(dlsym(library, DX_SYM_CREATE_SERVICES_EX));
        destroy = reinterpret_cast<DXDestroyServicesFn>(dlsym(library, DX_SYM_DESTROY_SERVICES));
        ASSERT_TRUE(create && createEx && destroy);
        services = create(nullptr, nullptr, "/nonexistent/filters/", 0);
        ASSERT_NE(services, nullptr);
        ASSERT_EQ(MutexInit(nullptr, &mutex, 0), 0);
        ctx = Zi18nHandle{library, services, &mutex};
    }
    void TearDown() override {
        if (services) destroy(services);
        MutexDestroy(nullptr, &mutex);
        if (library) dlclose(library);
    }

    // Converts with an output of `size` bytes; `out` holds the produced bytes.
    int convert(int32_t source, const Bytes &in, int32_t target, int32_t size = -1, int big = 0) {
        if (size < 0) size = static_cast<int32_t>(6 * in.size() + 8);
        buffer.assign(static_cast<size_t>(size) + 16, 0xEE);
        consumed = length = -7;
        const int rc = IZi18nConvert(&ctx, source, in.data(), static_cast<int32_t>(in.size()),
                                     &consumed, target, buffer.data(), size, &length, big);
        out.assign(buffer.begin(), buffer.begin() + (length > 0 ? length : 0));
        return rc;
    }

    void *library = nullptr;
    DXCreateServicesFn create = nullptr;
    DXCreateServicesExFn createEx = nullptr;
    DXDestroyServicesFn destroy = nullptr;
    DXServices *services = nullptr;
    VosMutex mutex{};
    Zi18nHandle ctx{};
    Bytes buffer, out;
    int32_t consumed = 0, length = 0;
};

// Counts units the way the Chinese variant test does: single bytes below
// 0x80 other than "?", and pairs whose bytes lie in the given ranges.
int count_units(const Bytes &text, int firstLow, int firstHigh, int secondLow, int secondHigh) {
    int count = 0;
    for (size_t i = 0; i + 1 < text.size();) {
        const int c = text[i++];
        if (c < 0x80) {
            count += c != '?';
            continue;
        }
        const int d = text[i++];
        count += c >= firstLow && c <= firstHigh && d >= secondLow && d <= secondHigh;
    }
    return count;
}

}  // namespace

TEST_F(Plugin, ExportsOnlyItsEntryPoints) {
    const std::string command = std::string("nm -D --defined-only ") + kPluginPath + " 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        names.push_back(text.substr(text.rfind(' ') + 1));
    }
    if (pclose(pipe) != 0 && names.empty()) GTEST_SKIP() << "nm is not available";
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DXSACreateZAPIServices", "DXSACreateZAPIServicesEx",
                                               "DXSADestroyZAPIServices"}));
}

TEST_F(Plugin, ServicesObjectHasItsSlots) {
    for (int slot : {DX_SVC_RELEASE, DX_SVC_TO_UNICODE, DX_SVC_FROM_UNICODE, DX_SVC_CONVERT,
                     DX_SVC_SET_SUBST, DX_SVC_SELECT}) {
        EXPECT_NE(services->slot[slot], 0u) << slot;
    }
    EXPECT_EQ(services->slot[DX_SVC_LMBCS_SETTING], 28u);
    DXServices *other = createEx(nullptr, nullptr, nullptr, 0, DX_SERVICES_EX_FLAGS);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, services);
    reinterpret_cast<DXSvcReleaseFn>(other->slot[DX_SVC_RELEASE])(other);
    destroy(nullptr);
}

TEST_F(Plugin, Cp1252ToUnicode) {
    EXPECT_EQ(convert(7, bytes("caf\xE9 \x80"), 51), 0);
    EXPECT_EQ(out, utf16("café €"));
    EXPECT_EQ(consumed, 6);
    EXPECT_EQ(convert(7, bytes("\xE9"), 51, -1, 1), 0);
    EXPECT_EQ(out, (Bytes{0x00, 0xE9}));
}

TEST_F(Plugin, UnicodeToCp1251) {
    EXPECT_EQ(convert(51, utf16("Привет, мир"), 6), 0);
    EXPECT_EQ(out, bytes("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0"));
}

TEST_F(Plugin, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(convert(51, utf16("a\xE2\x82\xAC\xE4\xB8\xAD"), 28), 0);  // a, euro, CJK
    EXPECT_EQ(out, bytes("a??"));
    // Invalid Shift-JIS: a lead byte followed by a byte that cannot trail it.
    EXPECT_EQ(convert(1, Bytes{'x', 0x81, 0x0A, 'y'}, 51), 0);
    const Bytes units = out;
    EXPECT_NE(std::find(units.begin(), units.end(), '?'), units.end());
    for (size_t i = 0; i + 1 < units.size(); i += 2) {
        const int unit = units[i] | units[i + 1] << 8;
        EXPECT_NE(unit, 0xFFFD);
        EXPECT_NE(unit, 0x1A);
    }
    // An unpaired surrogate on the way out of UTF-16.
    EXPECT_EQ(convert(51, Bytes{'a', 0, 0x00, 0xD8, 'b', 0}, 7), 0);
    EXPECT_EQ(out, bytes("a?b"));
}

TEST_F(Plugin, MultiByteCharsetsSubstituteAQuestionMark) {
    // Thai is in none of these charsets.
    for (int32_t charset : {1, 2, 3, 4, 55, 56, 57, 63, 66, 67, 68}) {
        ASSERT_EQ(convert(51,
                          utf16("a\xE0\xB8\x81"
                                "b"),
                          charset),
                  0)
            << charset;
        // ISO-2022-KR starts with its designator sequence.
        const Bytes expected = charset == 57 ? bytes("a\x1B$)C?b") : bytes("a?b");
        EXPECT_EQ(out, expected) << charset;
    }
}

TEST_F(Plugin, LossyConversionIsReported) {
    EXPECT_EQ(convert(6, bytes("\xCF\xF0\xE8 ok?"), 7), ZI18N_ERR_LOSSY);
    EXPECT_EQ(out, bytes("??? ok?"));
    // Within a compatibility group nothing is checked (and nothing is lost).
    EXPECT_EQ(convert(7, bytes("caf\xE9"), 14), 0);
    EXPECT_EQ(out, bytes("caf\xE9"));
    EXPECT_EQ(convert(6, bytes("\xCF\xF0\xE8"), 18), 0);
    EXPECT_EQ(out, bytes("\xBF\xE0\xD8"));
}

TEST_F(Plugin, Koi8rTargetThroughTheDetour) {
    EXPECT_EQ(convert(6, bytes("\xCF\xF0\xE8\xE2\xE5\xF2"), 73), 0);
    EXPECT_EQ(out, bytes("\xF0\xD2\xC9\xD7\xC5\xD4"));
    EXPECT_EQ(convert(39, bytes("\x8F\xE0\xA8"), 73), 0);  // code page 866
    EXPECT_EQ(out, bytes("\xF0\xD2\xC9"));
    EXPECT_EQ(convert(73, bytes("\xF0\xD2\xC9"), 6), 0);  // and back, through the library
    EXPECT_EQ(out, bytes("\xCF\xF0\xE8"));
}

TEST_F(Plugin, Big5RoundTrip) {
    const Bytes text = utf16("中文繁體字，這們國");
    ASSERT_EQ(convert(51, text, 3), 0);
    const Bytes big5 = out;
    EXPECT_EQ(big5.size(), 18u);
    EXPECT_EQ(Bytes(big5.begin(), big5.begin() + 4), (Bytes{0xA4, 0xA4, 0xA4, 0xE5}));
    ASSERT_EQ(convert(3, big5, 51), 0);
    EXPECT_EQ(out, text);
}

TEST_F(Plugin, GbRoundTrip) {
    const Bytes text = utf16("中文简体字，这们国");
    ASSERT_EQ(convert(51, text, 2), 0);
    const Bytes gb = out;
    EXPECT_EQ(Bytes(gb.begin(), gb.begin() + 4), (Bytes{0xD6, 0xD0, 0xCE, 0xC4}));
    ASSERT_EQ(convert(2, gb, 51), 0);
    EXPECT_EQ(out, text);
    ASSERT_EQ(convert(2, gb, 53), 0);
    EXPECT_EQ(out, bytes("中文简体字，这们国"));
}

TEST_F(Plugin, GbAndBig5RangesTellTheVariantsApart) {
    // Traditional-only characters land outside the counted GB ranges, and
    // Simplified-only characters are missing from Big5.
    const Bytes traditional = utf16("這們國體");
    const Bytes simplified = utf16("这们国");
    auto gbCount = [](const Bytes &t) { return count_units(t, 0xA1, 0xFA, 0xA1, 0xFE); };
    auto big5Count = [](const Bytes &t) { return count_units(t, 0xA1, 0xF9, 0x41, 0xFE); };
    ASSERT_EQ(convert(51, traditional, 2), 0);
    EXPECT_EQ(gbCount(out), 0);
    ASSERT_EQ(convert(51, traditional, 3), 0);
    EXPECT_EQ(big5Count(out), 4);
    ASSERT_EQ(convert(51, simplified, 2), 0);
    EXPECT_EQ(gbCount(out), 3);
    ASSERT_EQ(convert(51, simplified, 3), 0);
    EXPECT_EQ(out, bytes("???"));
}

TEST_F(Plugin, Utf8ThroughTheLibrary) {
    EXPECT_EQ(convert(53, bytes("Grüße"), 7), 0);
    EXPECT_EQ(out, bytes("Gr\xFC\xDF"
                         "e"));
    EXPECT_EQ(convert(7,
                      bytes("Gr\xFC\xDF"
                            "e"),
                      53),
              0);
    EXPECT_EQ(out, bytes("Grüße"));
    EXPECT_EQ(convert(53, bytes("日本語"), 1), 0);
    EXPECT_EQ(out, bytes("\x93\xFA\x96\x7B\x8C\xEA"));
}

TEST_F(Plugin, Lmbcs) {
    const Bytes text = utf16("Grüße €");
    ASSERT_EQ(convert(51, text, 50), 0);
    const Bytes lmbcs = out;
    EXPECT_EQ(lmbcs[0], 'G');
    ASSERT_EQ(convert(50, lmbcs, 51), 0);
    EXPECT_EQ(out, text);
    EXPECT_EQ(services->slot[DX_SVC_LMBCS_SETTING], 28u);
    ASSERT_EQ(convert(50, lmbcs, 53), 0);
    EXPECT_EQ(out, bytes("Grüße €"));
    // Cyrillic goes into LMBCS too, through a group byte.
    ASSERT_EQ(convert(6, bytes("\xCF\xF0\xE8"), 50), 0);
    ASSERT_EQ(convert(50, out, 6), 0);
    EXPECT_EQ(out, bytes("\xCF\xF0\xE8"));
}

TEST_F(Plugin, LmbcsToUnicodeHonoursTheByteOrder) {
    ASSERT_EQ(convert(51, utf16("aé"), 50), 0);
    const Bytes lmbcs = out;
    ASSERT_EQ(convert(50, lmbcs, 51, -1, 1), 0);
    EXPECT_EQ(out, (Bytes{0x00, 'a', 0x00, 0xE9}));
    ASSERT_EQ(convert(50, lmbcs, 73, -1, 1), 0);  // the KOI8-R detour reads what it wrote
    EXPECT_EQ(out, bytes("a?"));
}

TEST_F(Plugin, LmbcsSettingPicksTheOptimisationGroup) {
    // With the Cyrillic group as default, Cyrillic needs no group bytes.
    services->slot[DX_SVC_LMBCS_SETTING] = 6;
    auto select = reinterpret_cast<DXSvcSelectFn>(services->slot[DX_SVC_SELECT]);
    auto fromUnicode = reinterpret_cast<DXSvcFromUnicodeFn>(services->slot[DX_SVC_FROM_UNICODE]);
    const Bytes text = utf16("Привет");
    Bytes dest(64);
    DXBuffer src{const_cast<uint8_t *>(text.data()), static_cast<int32_t>(text.size())};
    DXBuffer dst{dest.data(), 64};
    ASSERT_TRUE(select(services, 50));
    ASSERT_TRUE(fromUnicode(services, &src, &dst, '?', 0));
    const int32_t russianDefault = dst.length;
    services->slot[DX_SVC_LMBCS_SETTING] = 28;
    dst = DXBuffer{dest.data(), 64};
    ASSERT_TRUE(select(services, 50));
    ASSERT_TRUE(fromUnicode(services, &src, &dst, '?', 0));
    EXPECT_LT(russianDefault, dst.length);
}

TEST_F(Plugin, TooSmallOutputFailsWithoutOverflow) {
    EXPECT_EQ(convert(7, bytes("abcd"), 51, 3), ZI18N_ERR_LIBRARY);
    EXPECT_EQ(length, 0);
    for (size_t i = 3; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
    EXPECT_EQ(convert(51, utf16("日本語"), 1, 5), ZI18N_ERR_LIBRARY);
    for (size_t i = 5; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
}

TEST_F(Plugin, UnsupportedCharsetIsALibraryError) {
    EXPECT_EQ(convert(80, bytes("abc"), 51), ZI18N_ERR_LIBRARY);  // VISCII
    EXPECT_EQ(convert(51, utf16("abc"), 62), ZI18N_ERR_LIBRARY);  // GB 12345
    EXPECT_EQ(convert(7, bytes("abc"), 999), ZI18N_ERR_LIBRARY);
    EXPECT_EQ(convert(7, bytes("abc"), 53), 0);  // the object still works
}

TEST_F(Plugin, TerminatedSourceThroughTheLibrary) {
    uint8_t dest[16];
    int32_t c = 0, l = 0;
    EXPECT_EQ(IZi18nConvert(&ctx, 7, "ab\xE9", -1, &c, 51, dest, 16, &l, 0), 0);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(l, 6);
    EXPECT_EQ(dest[4], 0xE9);
}

TEST_F(Plugin, OperationsRejectBadBuffers) {
    auto select = reinterpret_cast<DXSvcSelectFn>(services->slot[DX_SVC_SELECT]);
    auto toUnicode = reinterpret_cast<DXSvcToUnicodeFn>(services->slot[DX_SVC_TO_UNICODE]);
    auto convertOp = reinterpret_cast<DXSvcConvertFn>(services->slot[DX_SVC_CONVERT]);
    auto setSubst = reinterpret_cast<DXSvcSetSubstFn>(services->slot[DX_SVC_SET_SUBST]);
    uint8_t data[8] = {'a', 'b'};
    DXBuffer src{data, 2};
    DXBuffer dst{data + 2, 6};
    EXPECT_FALSE(toUnicode(services, &src, &dst, '?', 0));  // nothing selected yet
    ASSERT_TRUE(select(services, 7));
    EXPECT_FALSE(toUnicode(services, nullptr, &dst, '?', 0));
    DXBuffer negative{data, -1};
    EXPECT_FALSE(toUnicode(services, &negative, &dst, '?', 0));
    DXBuffer noData{nullptr, 4};
    EXPECT_FALSE(toUnicode(services, &src, &noData, '?', 0));
    EXPECT_FALSE(convertOp(services, 0, &src, &dst, '?'));
    EXPECT_FALSE(setSubst(services, 0));
    EXPECT_FALSE(select(services, 64));
    DXBuffer empty{data, 0};
    EXPECT_TRUE(toUnicode(services, &empty, &dst, '?', 0));
    EXPECT_EQ(dst.length, 0);
}

TEST_F(Plugin, SubstitutionCharacterIsHonoured) {
    auto select = reinterpret_cast<DXSvcSelectFn>(services->slot[DX_SVC_SELECT]);
    auto fromUnicode = reinterpret_cast<DXSvcFromUnicodeFn>(services->slot[DX_SVC_FROM_UNICODE]);
    const Bytes text = utf16("aЖ");
    Bytes dest(8);
    DXBuffer src{const_cast<uint8_t *>(text.data()), static_cast<int32_t>(text.size())};
    DXBuffer dst{dest.data(), 8};
    ASSERT_TRUE(select(services, 7));
    ASSERT_TRUE(fromUnicode(services, &src, &dst, '*', 0));
    EXPECT_EQ(Bytes(dest.begin(), dest.begin() + dst.length), bytes("a*"));
}

// Every number the alias table knows either has a converter that ICU opens
// or is listed with the reason it has none.
TEST_F(Plugin, EveryCharsetNumberIsAccountedFor) {
    auto select = reinterpret_cast<DXSvcSelectFn>(services->slot[DX_SVC_SELECT]);
    auto toUnicode = reinterpret_cast<DXSvcToUnicodeFn>(services->slot[DX_SVC_TO_UNICODE]);
    int supported = 0;
    for (const CharsetInfo *row = CharsetInfoList; row->fragment; ++row) {
        const dxutil::CharsetMapping *mapping = dxutil::find_charset_mapping(row->charset);
        ASSERT_NE(mapping, nullptr) << row->fragment << " " << row->charset;
        if (!mapping->icuName) {
            EXPECT_NE(mapping->unsupported, nullptr);
            EXPECT_FALSE(select(services, row->charset)) << row->charset;
            continue;
        }
        EXPECT_EQ(mapping->unsupported, nullptr);
        ASSERT_TRUE(select(services, row->charset)) << mapping->icuName;
        uint8_t in[1] = {0x41};
        uint8_t units[16];
        DXBuffer src{in, 1};
        DXBuffer dst{units, 16};
        EXPECT_TRUE(toUnicode(services, &src, &dst, '?', 0)) << mapping->icuName;
        ++supported;
    }
    EXPECT_GT(supported, 90);
    for (const dxutil::LmbcsGroup &group : dxutil::kLmbcsGroups) {
        services->slot[DX_SVC_LMBCS_SETTING] = static_cast<uintptr_t>(group.charset);
        EXPECT_TRUE(select(services, 50)) << group.icuName;
    }
}

namespace {

class ScopedLibraryPath {
  public:
    explicit ScopedLibraryPath(const std::string &value) {
        if (const char *old = std::getenv("LD_LIBRARY_PATH")) saved_ = old;
        setenv("LD_LIBRARY_PATH", value.c_str(), 1);
    }
    ~ScopedLibraryPath() {
        if (saved_) {
            setenv("LD_LIBRARY_PATH", saved_->c_str(), 1);
        } else {
            unsetenv("LD_LIBRARY_PATH");
        }
    }

  private:
    std::optional<std::string> saved_;
};

}  // namespace

TEST(StandAlone, InitFindsThePluginAndCloseReleasesIt) {
    const fs::path root =
        fs::temp_directory_path() / ("dxutil_standalone_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "bin");
    fs::create_directories(root / "filters");
    std::ofstream(root / "bin" / "libzi18n.so") << "";
    fs::create_symlink(kPluginPath, root / "filters" / "dxutil.so");
    {
        ScopedLibraryPath path((root / "bin").string());
        Zi18nHandle *ctx = nullptr;
        ASSERT_EQ(Zi18nInit(&ctx), 0);
        ASSERT_NE(ctx, nullptr);
        EXPECT_NE(ctx->library, nullptr);
        EXPECT_NE(ctx->services, nullptr);
        EXPECT_NE(ctx->mutex, nullptr);
        uint8_t dest[16];
        int32_t c = 0, l = 0;
        EXPECT_EQ(
            Zi18nConvert(ctx, "windows-1251", "\xCF\xF0\xE8", 3, &c, "KOI8-R", dest, 16, &l, 0), 0);
        EXPECT_EQ(l, 3);
        EXPECT_EQ(dest[0], 0xF0);
        EXPECT_EQ(Zi18nConvert(ctx, "windows-1251", "\xCF\xF0\xE8", 3, &c, "windows-1252", dest, 16,
                               &l, 0),
                  ZI18N_ERR_LOSSY);
        EXPECT_EQ(Zi18nClose(ctx), 0);

        // Every allocation of the start-up can fail cleanly.
        for (long budget = 0; budget < 4; ++budget) {
            Zi18nHandle *partial = reinterpret_cast<Zi18nHandle *>(1);
            vos_fail_alloc_after(budget);
            EXPECT_EQ(Zi18nInit(&partial), ZI18N_ERR_NOMEM) << budget;
            vos_fail_alloc_after(-1);
            EXPECT_EQ(partial, nullptr);
        }
    }
    fs::remove_all(root);
}
