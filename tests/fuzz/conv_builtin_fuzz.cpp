// Fuzz target: the built-in conversions UTF-8 -> UTF-16, UTF-16 -> UTF-8,
// UTF-16 -> KOI8-R and the UTF-16 byte swap. The first byte chooses the
// output size (tight sizes exercise the shortfall accounting) and the byte
// order.
#include <string.h>

#include "conv/zi18n_conv.h"
#include "fuzz_support.h"

namespace {

typedef int (*Conversion)(const void *, int32_t, int32_t *, void *, int32_t, int32_t *, int);

int swap(const void *input, int32_t inputLength, int32_t *consumed, void *output,
         int32_t outputSize, int32_t *outputLength, int) {
    return Zi18nUnicodeEndianSwap(input, inputLength, consumed, output, outputSize, outputLength);
}

void check(Conversion convert, const uint8_t *input, int32_t length, int32_t outputSize,
           int bigEndian) {
    // Guard bytes after the output catch writes past its size.
    std::vector<unsigned char> output(static_cast<size_t>(outputSize) + 8, 0xA5);
    int32_t consumed = -1;
    int32_t written = 0;
    const int rc =
        convert(input, length, &consumed, output.data(), outputSize, &written, bigEndian);
    for (size_t i = static_cast<size_t>(outputSize); i < output.size(); ++i) {
        FUZZ_CHECK(output[i] == 0xA5);
    }
    if (rc == ZI18N_ERR_NOINPUT || rc == ZI18N_ERR_NOOUTPUT) return;
    FUZZ_CHECK(rc == 0 || rc == ZI18N_ERR_SHORTOUTPUT || rc == ZI18N_ERR_PARTIAL);
    FUZZ_CHECK(consumed >= 0 && consumed <= length);
    FUZZ_CHECK(written <= outputSize);
    FUZZ_CHECK((rc == ZI18N_ERR_SHORTOUTPUT) == (written < 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 1 << 18) return 0;
    const int bigEndian = data[0] & 1;
    const int32_t length = static_cast<int32_t>(size - 1);
    const uint8_t *input = data + 1;
    // Roomy (4 bytes per input byte) or tight (a fraction of the input).
    const int32_t outputSize = (data[0] & 0x80)
                                   ? length * 4 + 4
                                   : static_cast<int32_t>((data[0] >> 1) % 64) * length / 64 + 1;

    const Conversion conversions[] = {Zi18nUtf8ToUnicode, Zi18nUnicodeToUtf8, Zi18nUnicodeToKoi8r,
                                      swap};
    for (Conversion convert : conversions) check(convert, input, length, outputSize, bigEndian);
    return 0;
}
