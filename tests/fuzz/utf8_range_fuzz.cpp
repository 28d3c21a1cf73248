// Fuzz target: script counting straight on UTF-8 bytes against counting the
// UTF-16 form the converter makes. Whenever RecLangByRangeUtf8 takes the
// bytes, converting them to UTF-16 and back must give its kept bytes
// unchanged, and the UTF-16 form must count to the same language.
#include <cstring>
#include <string>

#include "charset/unicode_range.h"
#include "conv/zi18n_conv.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > 1 << 16) return 0;
    const auto length = static_cast<int32_t>(size);
    int32_t language = -1, kept = -1;
    if (!RecLangByRangeUtf8(data, length, &language, &kept)) return 0;
    FUZZ_CHECK(kept >= 0 && kept <= length);
    // Only a sequence cut off at the end may be left out.
    FUZZ_CHECK(length - kept < 4);

    std::string units(2 * size + 2, '\0');
    int32_t consumed = 0, written = 0;
    Zi18nUtf8ToUnicode(data, length, &consumed, units.data(), static_cast<int32_t>(units.size()),
                       &written, 0);
    int32_t expected = -1;
    FUZZ_CHECK(RecLangByRange(nullptr, reinterpret_cast<const unsigned char *>(units.data()),
                              written, 0, &expected) == LANG_OK);
    FUZZ_CHECK(language == expected);

    std::string back(3 * size + 3, '\0');
    int32_t backWritten = 0;
    if (written > 0) {
        Zi18nUnicodeToUtf8(units.data(), written, &consumed, back.data(),
                           static_cast<int32_t>(back.size()), &backWritten, 0);
    }
    FUZZ_CHECK(backWritten == kept);
    FUZZ_CHECK(std::memcmp(back.data(), data, static_cast<size_t>(kept)) == 0);
    return 0;
}
