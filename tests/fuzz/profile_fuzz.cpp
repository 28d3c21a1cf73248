// Fuzz target: the .lm profile reader (NgramPrfLoad), then scoring a small
// document against the loaded model and saving it again.
#include <string.h>

#include "engine/lang_api.h"
#include "fuzz_support.h"
#include "ngram/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 18) return 0;
    const std::string path = glotta_fuzz::WriteScratch("model.lm", data, size);

    NgramProfile *model = NgramPrfNew(nullptr, nullptr, 0);
    FUZZ_CHECK(model);
    const int rc = NgramPrfLoad(model, path.c_str());
    FUZZ_CHECK(rc == LANG_OK || rc == LANG_ERR_BADPROFILE || rc == LANG_ERR_NOMEM);
    if (rc == LANG_OK) {
        NgramProfile *document = NgramPrfNew(nullptr, nullptr, 1);
        FUZZ_CHECK(document);
        unsigned char text[] = "the quick brown fox jumps over the lazy dog, der schnelle Fuchs";
        FUZZ_CHECK(NgramPrfInsert(document, text, sizeof text - 1) == LANG_OK);
        FUZZ_CHECK(NgramPrfSort(document) == LANG_OK);
        const float score = NgramPrfCompute(document, model);
        FUZZ_CHECK(score <= 1.0f);
        NgramPrfDestroy(document);
        const std::string saved = glotta_fuzz::ScratchDir() + "/saved.lm";
        FUZZ_CHECK(NgramPrfSave(model, saved.c_str()) == LANG_OK);
    }
    NgramPrfDestroy(model);
    return 0;
}
