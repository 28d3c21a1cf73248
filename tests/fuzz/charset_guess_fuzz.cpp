// Fuzz target: charset guessing from raw bytes (GuessCharset and the tests it
// runs) and the GB / Big5 counts of the Chinese variant test.
#include "charset/charset_guess.h"
#include "engine/lang_api.h"
#include "engine/lang_context.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    std::vector<unsigned char> bytes = glotta_fuzz::Terminated(data, size);
    const unsigned char *text = bytes.data();
    const int32_t length = static_cast<int32_t>(size);

    int32_t charset = -1;
    FUZZ_CHECK(GuessCharset(text, length, &charset) == LANG_OK);
    FUZZ_CHECK(charset == 0 || charset == 7 || charset == 53 || charset == 55 || charset == 100 ||
               charset == 101);
    FUZZ_CHECK(Is2022JP(text, length) <= 1 && IsASCII(text, length) <= 1 &&
               IsUtf8(text, length) <= 1);
    const int utf16 = IsUtf16(text, length);
    FUZZ_CHECK(utf16 == 0 || utf16 == 100 || utf16 == 101);

    for (int kind = 2; kind <= 3; ++kind) {
        const int32_t units = ValidateChinese(kind, text, length);
        FUZZ_CHECK(units >= 0 && units <= length);
    }
    // Other charsets than UTF-8 and 16-bit Unicode are counted as they are,
    // without the conversion service.
    LangContext ctx{};
    const int32_t chinese = WhichChinese(&ctx, 2, text, length, 0);
    FUZZ_CHECK(chinese == 9 || chinese == 10);
    return 0;
}
