// Fuzz target: the language-name file reader (loadNameMapping) and the
// lookups that read its table.
#include <string.h>

#include "fuzz_support.h"
#include "tool/tool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 16) return 0;
    glotta_fuzz::WriteScratch("langname.cfg", data, size);
    FUZZ_CHECK(loadNameMapping(glotta_fuzz::ScratchDir().c_str()) == 0);
    for (const char *id : {"en", "un", "xx", ""}) {
        const char *name = LangCode2Name(id);
        FUZZ_CHECK(name && !strchr(name, '\n') && !strchr(name, ' '));
    }
    return 0;
}
