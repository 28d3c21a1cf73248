// The Chinese variant test with real conversions through the utility plug-in.
#include <gtest/gtest.h>

#include <string>

#include "charset/charset_guess.h"
#include "charset/unicode_range.h"
#include "pipeline/charset_norm.h"
#include "pipeline_test_support.h"

using namespace pipeline_test;

namespace {

const char kTraditional[] = "這是一個關於臺灣歷史與文化的簡短說明，國家圖書館藏書豐富。";
const char kSimplified[] = "这是一个关于中国历史与文化的简短说明，国家图书馆藏书丰富。";

class PluginConversions : public testing::Test {
  protected:
    void SetUp() override {
        // The plug-in stays loaded until the process ends, as in the engine.
        const char *path = GLOTTA_BINARY_DIR "/filters/dxutil/dxutil.so";
        void *library = vos_dlopen(path, VOS_RTLD_LAZY);
        ASSERT_NE(library, nullptr) << path;
        auto create =
            reinterpret_cast<DXCreateServicesFn>(vos_dlsym(library, DX_SYM_CREATE_SERVICES));
        destroy_ =
            reinterpret_cast<DXDestroyServicesFn>(vos_dlsym(library, DX_SYM_DESTROY_SERVICES));
        ASSERT_TRUE(create && destroy_);
        services_ = create(nullptr, nullptr, nullptr, 0);
        ASSERT_NE(services_, nullptr);
        ASSERT_EQ(MutexInit(nullptr, &mutex_, 0), 0);
        handle_ = Zi18nHandle{library, services_, &mutex_};
        ctx_->convService = &handle_;
    }
    void TearDown() override {
        if (services_) destroy_(services_);
        MutexDestroy(nullptr, &mutex_);
    }

    std::string convert(int32_t from, const std::string &text, int32_t to, int bigEndian = 0) {
        unsigned char *out = nullptr;
        int32_t length = 0;
        EXPECT_EQ(
            LangConvert(ctx_.get(), from, reinterpret_cast<const unsigned char *>(text.data()),
                        static_cast<int32_t>(text.size()), to, &out, &length, bigEndian),
            0);
        std::string result(reinterpret_cast<char *>(out), static_cast<size_t>(length));
        vos_free(out);
        return result;
    }
    int32_t which(const std::string &text, int32_t charset, int bigEndian = 0) {
        return WhichChinese(ctx_.get(), charset,
                            reinterpret_cast<const unsigned char *>(text.data()),
                            static_cast<int32_t>(text.size()), bigEndian);
    }

    DXDestroyServicesFn destroy_ = nullptr;
    DXServices *services_ = nullptr;
    VosMutex mutex_{};
    Zi18nHandle handle_{};
    HandContext ctx_;
};

// Low-byte-first UTF-16 from UTF-8 documents is covered end to end
// (text_utf8_chinese_variants); these are the other sources.
TEST_F(PluginConversions, TraditionalOrSimplified) {
    EXPECT_EQ(which(convert(53, kTraditional, 51, 1), 51, 1), 10);
    EXPECT_EQ(which(convert(53, kSimplified, 51, 1), 51, 1), 9);
    EXPECT_EQ(which(kTraditional, 53), 10);
    EXPECT_EQ(which(kSimplified, 53), 9);
    EXPECT_EQ(which(convert(53, kTraditional, 3), 3), 10);
}

}  // namespace
