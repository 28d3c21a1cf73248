// Fuzz target: markup cleaning (SGMLCutTags) and reference replacement
// (ReplaceEntity, both modes). The first two bytes choose the capacity and
// whether scripts and styles are removed.
#include <string.h>

#include "engine/lang_api.h"
#include "fuzz_support.h"
#include "pipeline/markup_clean.h"
#include "platform/vos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > 1 << 20) return 0;
    const int32_t capacity = data[0] == 0xFF ? 2048 : data[0] * 8;
    const int removeScripts = data[1] & 1;
    data += 2;
    size -= 2;
    const int32_t length = static_cast<int32_t>(size);

    unsigned char *text = nullptr;
    int32_t textLength = -1;
    int32_t references = -1;
    FUZZ_CHECK(SGMLCutTags(data, length, capacity, removeScripts, &text, &textLength,
                           &references) == LANG_OK);
    FUZZ_CHECK(textLength >= 0 && textLength <= capacity && textLength <= length);
    FUZZ_CHECK(references >= 0);
    if (!text) {
        FUZZ_CHECK(textLength == 0);
        return 0;
    }
    FUZZ_CHECK(text[textLength] == '\0');

    for (int raw = 0; raw <= 1; ++raw) {
        std::vector<unsigned char> copy(text, text + textLength + 1);
        int32_t replaced = textLength;
        FUZZ_CHECK(ReplaceEntity(copy.data(), &replaced, raw) == LANG_OK);
        FUZZ_CHECK(replaced >= 0 && replaced <= textLength && copy[replaced] == '\0');
    }
    vos_free(text);
    return 0;
}
