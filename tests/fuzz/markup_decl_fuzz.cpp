// Fuzz target: the language and charset declarations of HTML, SGML and XML
// (HtmlLangExtract, MetaExtract, XmlExtract and the attribute parser).
#include <string.h>

#include "charset/markup_decl.h"
#include "engine/lang_api.h"
#include "fuzz_support.h"
#include "platform/vos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    std::vector<unsigned char> bytes = glotta_fuzz::Terminated(data, size);
    char *text = reinterpret_cast<char *>(bytes.data());
    const int32_t length = static_cast<int32_t>(size);

    for (int32_t kind = 1; kind <= 5; ++kind) {
        char *language = nullptr;
        FUZZ_CHECK(ExtractLanguage(kind, text, length, &language) == LANG_OK);
        if (language) {
            // A declared language is a short token, nothing a file name or a
            // record could be forged from.
            const size_t n = strlen(language);
            FUZZ_CHECK(n >= 1 && n <= 31);
            FUZZ_CHECK(strspn(language,
                              "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                              "0123456789-_") == n);
            vos_free(language);
        }
        int32_t charset = -1;
        FUZZ_CHECK(ExtractCharset(kind, text, length, &charset) == LANG_OK);
        FUZZ_CHECK(charset >= 0);
    }
    // The XML reader puts back whatever it changes.
    FUZZ_CHECK(memcmp(bytes.data(), data, size) == 0 && bytes[size] == '\0');

    // The attribute parser on the whole input as one tag body ('>' or not).
    MetaAttr attributes[META_ATTR_SLOTS] = {};
    const int rc = GetMetaAttr(text, text + length, attributes);
    int filled = 0;
    for (MetaAttr &slot : attributes) {
        if (slot.name) ++filled;
        vos_free(slot.name);
        vos_free(slot.value);
    }
    // A tag is read with at most nine attributes; a tenth fills the last
    // slot and fails the tag.
    FUZZ_CHECK(rc == LANG_OK ? filled < META_ATTR_SLOTS : rc == LANG_ERR_IDENTIFY);
    return 0;
}
