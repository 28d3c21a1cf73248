// The Chinese variant test and the code-range dispatch with real conversions
// through the utility plug-in.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "charset/charset_guess.h"
#include "charset/unicode_range.h"
#include "conv/zi18n_conv.h"
#include "engine/lang_context.h"
#include "pipeline/charset_norm.h"
#include "platform/vos.h"

namespace {

constexpr const char *kPluginPath = GLOTTA_BINARY_DIR "/filters/dxutil/dxutil.so";

const char kTraditional[] =
    "\xE9\x80\x99\xE6\x98\xAF\xE4\xB8\x80\xE5\x80\x8B\xE9\x97\x9C\xE6\x96\xBC\xE8\x87\xBA\xE7"
    "\x81\xA3\xE6\xAD\xB7\xE5\x8F\xB2\xE8\x88\x87\xE6\x96\x87\xE5\x8C\x96\xE7\x9A\x84\xE7\xB0"
    "\xA1\xE7\x9F\xAD\xE8\xAA\xAA\xE6\x98\x8E\xEF\xBC\x8C\xE5\x9C\x8B\xE5\xAE\xB6\xE5\x9C\x96"
    "\xE6\x9B\xB8\xE9\xA4\xA8\xE8\x97\x8F\xE6\x9B\xB8\xE8\xB1\x90\xE5\xAF\x8C\xE3\x80\x82";
const char kSimplified[] =
    "\xE8\xBF\x99\xE6\x98\xAF\xE4\xB8\x80\xE4\xB8\xAA\xE5\x85\xB3\xE4\xBA\x8E\xE4\xB8\xAD\xE5"
    "\x9B\xBD\xE5\x8E\x86\xE5\x8F\xB2\xE4\xB8\x8E\xE6\x96\x87\xE5\x8C\x96\xE7\x9A\x84\xE7\xAE"
    "\x80\xE7\x9F\xAD\xE8\xAF\xB4\xE6\x98\x8E\xEF\xBC\x8C\xE5\x9B\xBD\xE5\xAE\xB6\xE5\x9B\xBE"
    "\xE4\xB9\xA6\xE9\xA6\x86\xE8\x97\x8F\xE4\xB9\xA6\xE4\xB8\xB0\xE5\xAF\x8C\xE3\x80\x82";

class PluginConversions : public ::testing::Test {
  protected:
    void SetUp() override {
        // The plug-in stays loaded until the process ends, as in the engine.
        void *library = vos_dlopen(kPluginPath, VOS_RTLD_LAZY);
        ASSERT_NE(library, nullptr) << kPluginPath;
        auto create =
            reinterpret_cast<DXCreateServicesFn>(vos_dlsym(library, DX_SYM_CREATE_SERVICES));
        destroy_ =
            reinterpret_cast<DXDestroyServicesFn>(vos_dlsym(library, DX_SYM_DESTROY_SERVICES));
        ASSERT_TRUE(create && destroy_);
        services_ = create(nullptr, nullptr, nullptr, 0);
        ASSERT_NE(services_, nullptr);
        ASSERT_EQ(MutexInit(nullptr, &mutex_, 0), 0);
        handle_ = Zi18nHandle{library, services_, &mutex_};
        ctx_.convService = &handle_;
    }
    void TearDown() override {
        if (services_) destroy_(services_);
        MutexDestroy(nullptr, &mutex_);
    }

    // UTF-16 of a UTF-8 text, low byte first unless asked otherwise.
    std::vector<unsigned char> utf16(const char *utf8, int bigEndian = 0) {
        unsigned char *out = nullptr;
        int32_t length = 0;
        EXPECT_EQ(LangConvert(&ctx_, 53, reinterpret_cast<const unsigned char *>(utf8),
                              static_cast<int32_t>(strlen(utf8)), 51, &out, &length, bigEndian),
                  0);
        std::vector<unsigned char> text(out, out + length);
        vos_free(out);
        return text;
    }

    int32_t which(const std::vector<unsigned char> &text, int32_t charset, int bigEndian = 0) {
        return WhichChinese(&ctx_, charset, text.data(), static_cast<int32_t>(text.size()),
                            bigEndian);
    }

    DXDestroyServicesFn destroy_ = nullptr;
    DXServices *services_ = nullptr;
    VosMutex mutex_{};
    Zi18nHandle handle_{};
    LangContext ctx_{};
};

TEST_F(PluginConversions, TraditionalAndSimplifiedFromUnicode) {
    EXPECT_EQ(which(utf16(kTraditional), 51), 10);
    EXPECT_EQ(which(utf16(kSimplified), 51), 9);
    EXPECT_EQ(which(utf16(kTraditional, 1), 51, 1), 10);
}

TEST_F(PluginConversions, TraditionalAndSimplifiedFromUtf8) {
    auto bytes = [](const char *text) {
        return std::vector<unsigned char>(text, text + strlen(text));
    };
    EXPECT_EQ(which(bytes(kTraditional), 53), 10);
    EXPECT_EQ(which(bytes(kSimplified), 53), 9);
}

TEST_F(PluginConversions, LegacyBytesAreCountedAsTheyAre) {
    unsigned char *big5 = nullptr;
    int32_t length = 0;
    std::vector<unsigned char> wide = utf16(kTraditional);
    ASSERT_EQ(LangConvert(&ctx_, 51, wide.data(), static_cast<int32_t>(wide.size()), 3, &big5,
                          &length, 0),
              0);
    std::vector<unsigned char> text(big5, big5 + length);
    vos_free(big5);
    EXPECT_EQ(which(text, 3), 10);
}

TEST_F(PluginConversions, HanTextGetsItsVariantFromTheRangeDispatch) {
    for (auto [text, code] : {std::pair{kTraditional, "zt"}, std::pair{kSimplified, "zh"}}) {
        std::vector<unsigned char> wide = utf16(text);
        LangCandidate *list = nullptr;
        ASSERT_EQ(
            RecUniLangCode(&ctx_, 51, wide.data(), static_cast<int32_t>(wide.size()), 0, &list), 0);
        ASSERT_NE(list, nullptr);
        EXPECT_STREQ(list[0].language, code);
        EXPECT_STREQ(list[0].charsetName, "Unknown");
        EXPECT_EQ(list[0].score, 1.0f);
        EXPECT_EQ(list[1].language, nullptr);
        vos_free(list[0].language);
        vos_free(list[0].charsetName);
        vos_free(list);
    }
}

TEST_F(PluginConversions, CyrillicToCodePage1251) {
    // "Привет, мир" in UTF-16.
    std::vector<unsigned char> wide =
        utf16("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80");
    unsigned char *out = nullptr;
    int32_t length = 0;
    ASSERT_EQ(
        LangConvert(&ctx_, 51, wide.data(), static_cast<int32_t>(wide.size()), 6, &out, &length, 0),
        0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), static_cast<size_t>(length)),
              "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0");
    EXPECT_EQ(out[length], 0);
    vos_free(out);
}

}  // namespace
