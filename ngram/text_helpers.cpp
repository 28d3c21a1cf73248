// text_helpers.cpp - byte and string helpers shared by the engine.
#include "ngram/text_helpers.h"

#include <float.h>
#include <math.h>
#include <string.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/vos.h"

namespace {

constexpr bool is_trailing_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

int lang_isnoisy(unsigned char byte) {
    return lang_is_noise(byte) ? 1 : 0;
}

namespace {

#if defined(__x86_64__)
// For each 8-bit mask, the positions of its set bits in order, as the byte
// indices of a shuffle that gathers those bytes to the front (0x80: none).
struct GatherTable {
    uint64_t shuffle[256];
};

constexpr GatherTable make_gather_table() {
    GatherTable table{};
    for (uint32_t mask = 0; mask < 256; ++mask) {
        uint64_t shuffle = ~uint64_t{0} / 255 * 0x80;
        int taken = 0;
        for (uint32_t bit = 0; bit < 8; ++bit) {
            if (mask & (1u << bit)) {
                shuffle &= ~(uint64_t{0xFF} << (8 * taken));
                shuffle |= uint64_t{bit} << (8 * taken);
                ++taken;
            }
        }
        table.shuffle[mask] = shuffle;
    }
    return table;
}

constexpr GatherTable kGather = make_gather_table();

// Compacts whole blocks of 16 bytes while a byte follows the block, and
// returns where the input and the output stand. A byte is kept when it is
// no noise, or when it is the last noise byte before one that is (it then
// becomes the run's space); a run of noise at a block's end that the next
// block's first byte ends gets its space here, so the rest goes on as at the
// start of a buffer. The writes of a block end before its last byte's
// successor, the next byte to read.
__attribute__((target("ssse3,popcnt"))) void compact_blocks(unsigned char *buffer, int32_t length,
                                                            int32_t &in, int32_t &out) {
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i last_noise = _mm_set1_epi8(static_cast<char>(0x3F ^ 0x80));
    const __m128i space = _mm_set1_epi8(' ');
    int32_t i = 0;
    int32_t o = 0;
    for (; length - i > 16; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(buffer + i));
        const __m128i kept = _mm_cmpgt_epi8(_mm_xor_si128(bytes, flip), last_noise);
        const uint32_t words = static_cast<uint32_t>(_mm_movemask_epi8(kept));
        const uint32_t next = lang_is_noise(buffer[i + 16]) ? 0u : 1u;
        const uint32_t keep = words | (words >> 1) | (next << 15);
        const __m128i shown =
            _mm_or_si128(_mm_and_si128(kept, bytes), _mm_andnot_si128(kept, space));
        const __m128i low = _mm_shuffle_epi8(
            shown,
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(&kGather.shuffle[keep & 0xFF])));
        const __m128i high = _mm_shuffle_epi8(
            _mm_srli_si128(shown, 8),
            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(&kGather.shuffle[keep >> 8])));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(buffer + o), low);
        o += __builtin_popcount(keep & 0xFF);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(buffer + o), high);
        o += __builtin_popcount(keep >> 8);
    }
    in = i;
    out = o;
}

bool have_ssse3() {
    static const bool have = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    return have;
}
#endif

}  // namespace

int32_t lang_removenoisydata(unsigned char *buffer, int32_t length) {
    if (!buffer) return 0;
    int32_t out = 0;
    int32_t start = 0;
#if defined(__x86_64__)
    // Sixteen bytes at a time; a noise run cut by the blocks' end has its
    // space already when the byte after the blocks is kept, so the bytes left
    // start with no noise seen.
    if (length > 16 && have_ssse3()) compact_blocks(buffer, length, start, out);
#endif
    // Without branches: words end every few bytes, which a branch per byte
    // mispredicts. Each step writes a space and then the byte at `out`, and
    // keeps what it needs: the space only when a kept byte follows noise,
    // the byte only when it is kept. out + 1 <= in whenever a space is
    // kept, so no byte is overwritten before it is read.
    int32_t noise_seen = 0;
    for (int32_t in = start; in < length; ++in) {
        const unsigned char c = buffer[in];
        const int32_t kept = !lang_is_noise(c);
        buffer[out] = ' ';
        out += kept & noise_seen;
        buffer[out] = c;
        out += kept;
        noise_seen = !kept;
    }
    buffer[out] = 0;
    return out;
}

char *lang_skipheadspace(char *text) {
    if (!text) return nullptr;
    while (*text == ' ' || *text == '\t') ++text;
    return text;
}

int32_t lang_removetrailigspace(char *text) {
    if (!text || !*text) return 0;
    size_t end = strlen(text);
    while (end > 0 && is_trailing_space(text[end - 1])) --end;
    text[end] = 0;
    return end > 0 ? static_cast<int32_t>(end - 1) : 0;
}

int lang_strcasecmp(const char *a, const char *b) {
    if (a == b) return 0;
    if (!a) return -1;
    if (!b) return 1;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
    for (;; ++p, ++q) {
        const int d = lang_ascii_lower(*p) - lang_ascii_lower(*q);
        if (d != 0 || *p == 0) return d;
    }
}

int lang_strncasecmp(const char *a, const char *b, int32_t count) {
    if (count <= 0 || a == b) return 0;
    if (!a) return -1;
    if (!b) return 1;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
    for (int32_t i = 0; i < count; ++i) {
        const int d = lang_ascii_lower(p[i]) - lang_ascii_lower(q[i]);
        if (d != 0 || p[i] == 0) return d;
    }
    return 0;
}

char *lang_strdup(const char *text) {
    if (!text) return nullptr;
    return lang_strdup(std::string_view(text));
}

char *lang_strdup(std::string_view text) {
    char *copy = static_cast<char *>(vos_malloc(text.size() + 1));
    if (!copy) return nullptr;
    if (!text.empty()) memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

bool lang_setstring(char **field, std::string_view value) {
    char *copy = lang_strdup(value);
    if (!copy) return false;
    vos_free(*field);
    *field = copy;
    return true;
}

namespace {

// 10 raised to 0 ... 308 as the C library's pow(10.0, n) gives them (beyond
// 1e22 they are not exact, and not always the nearest double either), so
// that parsing needs no math library. Larger powers are infinite.
// clang-format off
constexpr double kPowersOfTen[] = {
    0x1p+0, 0x1.4p+3, 0x1.9p+6,
    0x1.f4p+9, 0x1.388p+13, 0x1.86ap+16,
    0x1.e848p+19, 0x1.312dp+23, 0x1.7d784p+26,
    0x1.dcd65p+29, 0x1.2a05f2p+33, 0x1.74876e8p+36,
    0x1.d1a94a2p+39, 0x1.2309ce54p+43, 0x1.6bcc41e9p+46,
    0x1.c6bf52634p+49, 0x1.1c37937e08p+53, 0x1.6345785d8ap+56,
    0x1.bc16d674ec8p+59, 0x1.158e460913dp+63, 0x1.5af1d78b58c4p+66,
    0x1.b1ae4d6e2ef5p+69, 0x1.0f0cf064dd592p+73, 0x1.52d02c7e14af7p+76,
    0x1.a784379d99db4p+79, 0x1.08b2a2c280291p+83, 0x1.4adf4b7320335p+86,
    0x1.9d971e4fe8402p+89, 0x1.027e72f1f1281p+93, 0x1.431e0fae6d721p+96,
    0x1.93e5939a08ceap+99, 0x1.f8def8808b024p+102, 0x1.3b8b5b5056e17p+106,
    0x1.8a6e32246c99cp+109, 0x1.ed09bead87c03p+112, 0x1.3426172c74d82p+116,
    0x1.812f9cf7920e3p+119, 0x1.e17b84357691bp+122, 0x1.2ced32a16a1b1p+126,
    0x1.78287f49c4a1dp+129, 0x1.d6329f1c35ca5p+132, 0x1.25dfa371a19e7p+136,
    0x1.6f578c4e0a061p+139, 0x1.cb2d6f618c879p+142, 0x1.1efc659cf7d4cp+146,
    0x1.66bb7f0435c9ep+149, 0x1.c06a5ec5433c6p+152, 0x1.18427b3b4a05cp+156,
    0x1.5e531a0a1c873p+159, 0x1.b5e7e08ca3a8fp+162, 0x1.11b0ec57e649ap+166,
    0x1.561d276ddfdcp+169, 0x1.aba4714957d3p+172, 0x1.0b46c6cdd6e3ep+176,
    0x1.4e1878814c9cep+179, 0x1.a19e96a19fc41p+182, 0x1.05031e2503da9p+186,
    0x1.4643e5ae44d13p+189, 0x1.97d4df19d6057p+192, 0x1.fdca16e04b86dp+195,
    0x1.3e9e4e4c2f344p+199, 0x1.8e45e1df3b015p+202, 0x1.f1d75a5709c1bp+205,
    0x1.3726987666191p+209, 0x1.84f03e93ff9f5p+212, 0x1.e62c4e38ff872p+215,
    0x1.2fdbb0e39fb47p+219, 0x1.7bd29d1c87a19p+222, 0x1.dac74463a989fp+225,
    0x1.28bc8abe49f64p+229, 0x1.72ebad6ddc73dp+232, 0x1.cfa698c95390cp+235,
    0x1.21c81f7dd43a7p+239, 0x1.6a3a275d49491p+242, 0x1.c4c8b1349b9b5p+245,
    0x1.1afd6ec0e1411p+249, 0x1.61bcca7119916p+252, 0x1.ba2bfd0d5ff5bp+255,
    0x1.145b7e285bf99p+259, 0x1.59725db272f7fp+262, 0x1.afcef51f0fb5fp+265,
    0x1.0de1593369d1bp+269, 0x1.5159af8044462p+272, 0x1.a5b01b605557bp+275,
    0x1.078e111c3556dp+279, 0x1.4971956342ac8p+282, 0x1.9bcdfabc1357ap+285,
    0x1.0160bcb58c16cp+289, 0x1.41b8ebe2ef1c7p+292, 0x1.922726dbaae39p+295,
    0x1.f6b0f092959c7p+298, 0x1.3a2e965b9d81dp+302, 0x1.88ba3bf284e24p+305,
    0x1.eae8caef261adp+308, 0x1.32d17ed577d0cp+312, 0x1.7f85de8ad5c4fp+315,
    0x1.df67562d8b363p+318, 0x1.2ba095dc7701ep+322, 0x1.7688bb5394c25p+325,
    0x1.d42aea2879f2ep+328, 0x1.249ad2594c37dp+332, 0x1.6dc186ef9f45cp+335,
    0x1.c931e8ab87173p+338, 0x1.1dbf316b346e8p+342, 0x1.652efdc6018a2p+345,
    0x1.be7abd3781ecap+348, 0x1.170cb642b133fp+352, 0x1.5ccfe3d35d80ep+355,
    0x1.b403dcc834e12p+358, 0x1.108269fd210cbp+362, 0x1.54a3047c694fep+365,
    0x1.a9cbc59b83a3dp+368, 0x1.0a1f5b8132466p+372, 0x1.4ca732617ed8p+375,
    0x1.9fd0fef9de8ep+378, 0x1.03e29f5c2b18cp+382, 0x1.44db473335defp+385,
    0x1.961219000356bp+388, 0x1.fb969f40042c5p+391, 0x1.3d3e2388029bbp+395,
    0x1.8c8dac6a0342ap+398, 0x1.efb1178484135p+401, 0x1.35ceaeb2d28c1p+405,
    0x1.83425a5f872f1p+408, 0x1.e412f0f768fadp+411, 0x1.2e8bd69aa19ccp+415,
    0x1.7a2ecc414a03fp+418, 0x1.d8ba7f519c84fp+421, 0x1.27748f9301d32p+425,
    0x1.7151b377c247ep+428, 0x1.cda62055b2d9ep+431, 0x1.2087d4358fc82p+435,
    0x1.68a9c942f3ba3p+438, 0x1.c2d43b93b0a8cp+441, 0x1.19c4a53c4e697p+445,
    0x1.6035ce8b6203dp+448, 0x1.b843422e3a84dp+451, 0x1.132a095ce493p+455,
    0x1.57f48bb41db7cp+458, 0x1.adf1aea12525bp+461, 0x1.0cb70d24b7379p+465,
    0x1.4fe4d06de5057p+468, 0x1.a3de04895e46dp+471, 0x1.066ac2d5daec4p+475,
    0x1.4805738b51a75p+478, 0x1.9a06d06e26112p+481, 0x1.00444244d7cabp+485,
    0x1.405552d60dbd6p+488, 0x1.906aa78b912ccp+491, 0x1.f485516e7577fp+494,
    0x1.38d352e5096afp+498, 0x1.8708279e4bc5bp+501, 0x1.e8ca3185deb72p+504,
    0x1.317e5ef3ab327p+508, 0x1.7dddf6b095ff1p+511, 0x1.dd55745cbb7edp+514,
    0x1.2a5568b9f52f4p+518, 0x1.74eac2e8727b1p+521, 0x1.d22573a28f19dp+524,
    0x1.2357684599702p+528, 0x1.6c2d4256ffcc3p+531, 0x1.c73892ecbfbf4p+534,
    0x1.1c835bd3f7d78p+538, 0x1.63a432c8f5cd6p+541, 0x1.bc8d3f7b3340cp+544,
    0x1.15d847ad00087p+548, 0x1.5b4e5998400a9p+551, 0x1.b221effe500d4p+554,
    0x1.0f5535fef2084p+558, 0x1.532a837eae8a5p+561, 0x1.a7f5245e5a2cfp+564,
    0x1.08f936baf85c1p+568, 0x1.4b378469b6732p+571, 0x1.9e056584240fep+574,
    0x1.02c35f729689fp+578, 0x1.4374374f3c2c6p+581, 0x1.945145230b378p+584,
    0x1.f965966bce056p+587, 0x1.3bdf7e0360c36p+591, 0x1.8ad75d8438f43p+594,
    0x1.ed8d34e547314p+597, 0x1.3478410f4c7ecp+601, 0x1.819651531f9e8p+604,
    0x1.e1fbe5a7e7861p+607, 0x1.2d3d6f88f0b3dp+611, 0x1.788ccb6b2ce0cp+614,
    0x1.d6affe45f818fp+617, 0x1.262dfeebbb0f9p+621, 0x1.6fb97ea6a9d38p+624,
    0x1.cba7de5054486p+627, 0x1.1f48eaf234ad4p+631, 0x1.671b25aec1d89p+634,
    0x1.c0e1ef1a724ebp+637, 0x1.188d357087713p+641, 0x1.5eb082cca94d7p+644,
    0x1.b65ca37fd3a0dp+647, 0x1.11f9e62fe4448p+651, 0x1.56785fbbdd55ap+654,
    0x1.ac1677aad4ab1p+657, 0x1.0b8e0acac4eafp+661, 0x1.4e718d7d7625ap+664,
    0x1.a20df0dcd3af1p+667, 0x1.0548b68a044d6p+671, 0x1.469ae42c8560cp+674,
    0x1.98419d37a6b8fp+677, 0x1.fe52048590673p+680, 0x1.3ef342d37a408p+684,
    0x1.8eb0138858d0ap+687, 0x1.f25c186a6f04cp+690, 0x1.37798f428563p+694,
    0x1.8557f31326bbcp+697, 0x1.e6adefd7f06aap+700, 0x1.302cb5e6f642ap+704,
    0x1.7c37e360b3d35p+707, 0x1.db45dc38e0c82p+710, 0x1.290ba9a38c7d1p+714,
    0x1.734e940c6f9c6p+717, 0x1.d022390f8b837p+720, 0x1.221563a9b7323p+724,
    0x1.6a9abc9424febp+727, 0x1.c5416bb92e3e6p+730, 0x1.1b48e353bce7p+734,
    0x1.621b1c28ac20cp+737, 0x1.baa1e332d728fp+740, 0x1.14a52dffc6799p+744,
    0x1.59ce797fb817fp+747, 0x1.b04217dfa61dfp+750, 0x1.0e294eebc7d2cp+754,
    0x1.51b3a2a6b9c76p+757, 0x1.a6208b5068394p+760, 0x1.07d457124123dp+764,
    0x1.49c96cd6d16ccp+767, 0x1.9c3bc80c85c7fp+770, 0x1.01a55d07d39cfp+774,
    0x1.420eb449c8843p+777, 0x1.9292615c3aa54p+780, 0x1.f736f9b3494e9p+783,
    0x1.3a825c100dd11p+787, 0x1.8922f31411456p+790, 0x1.eb6bafd91596bp+793,
    0x1.33234de7ad7e3p+797, 0x1.7fec216198ddcp+800, 0x1.dfe729b9ff153p+803,
    0x1.2bf07a143f6d4p+807, 0x1.76ec98994f489p+810, 0x1.d4a7bebfa31abp+813,
    0x1.24e8d737c5f0bp+817, 0x1.6e230d05b76cdp+820, 0x1.c9abd04725481p+823,
    0x1.1e0b622c774dp+827, 0x1.658e3ab795204p+830, 0x1.bef1c9657a686p+833,
    0x1.17571ddf6c814p+837, 0x1.5d2ce55747a18p+840, 0x1.b4781ead1989ep+843,
    0x1.10cb132c2ff63p+847, 0x1.54fdd7f73bf3cp+850, 0x1.aa3d4df50af0bp+853,
    0x1.0a6650b926d67p+857, 0x1.4cffe4e7708cp+860, 0x1.a03fde214caf1p+863,
    0x1.0427ead4cfed6p+867, 0x1.4531e58a03e8cp+870, 0x1.967e5eec84e2fp+873,
    0x1.fc1df6a7a61bbp+876, 0x1.3d92ba28c7d15p+880, 0x1.8cf768b2f9c5ap+883,
    0x1.f03542dfb837p+886, 0x1.362149cbd3226p+890, 0x1.83a99c3ec7ebp+893,
    0x1.e494034e79e5cp+896, 0x1.2edc82110c2f9p+900, 0x1.7a93a2954f3b8p+903,
    0x1.d9388b3aa30a5p+906, 0x1.27c35704a5e67p+910, 0x1.71b42cc5cf601p+913,
    0x1.ce2137f743382p+916, 0x1.20d4c2fa8a031p+920, 0x1.6909f3b92c83dp+923,
    0x1.c34c70a777a4dp+926, 0x1.1a0fc668aac7p+930, 0x1.6093b802d578cp+933,
    0x1.b8b8a6038ad6fp+936, 0x1.137367c236c65p+940, 0x1.585041b2c477fp+943,
    0x1.ae64521f7595ep+946, 0x1.0cfeb353a97dbp+950, 0x1.503e602893dd2p+953,
    0x1.a44df832b8d46p+956, 0x1.06b0bb1fb384cp+960, 0x1.485ce9e7a065fp+963,
    0x1.9a742461887f6p+966, 0x1.008896bcf54fap+970, 0x1.40aabc6c32a38p+973,
    0x1.90d56b873f4c7p+976, 0x1.f50ac6690f1f8p+979, 0x1.3926bc01a973bp+983,
    0x1.87706b0213d0ap+986, 0x1.e94c85c298c4cp+989, 0x1.31cfd3999f7bp+993,
    0x1.7e43c8800759cp+996, 0x1.ddd4baa009303p+999, 0x1.2aa4f4a405be2p+1003,
    0x1.754e31cd072dap+1006, 0x1.d2a1be4048f9p+1009, 0x1.23a516e82d9bap+1013,
    0x1.6c8e5ca239029p+1016, 0x1.c7b1f3cac7433p+1019, 0x1.1ccf385ebc8ap+1023,
};
// clang-format on

double power_of_ten(int exponent) {
    constexpr int kCount = static_cast<int>(sizeof kPowersOfTen / sizeof kPowersOfTen[0]);
    return exponent < kCount ? kPowersOfTen[exponent] : HUGE_VAL;
}

}  // namespace

float lang_atof(char *text) {
    if (!text) return 0.0f;
    const char *p = text;
    double sign = 1.0;
    if (*p == '-') {
        sign = -1.0;
        ++p;
    } else if (*p == '+') {
        ++p;
    }
    double whole = 0.0;
    for (; is_digit(*p); ++p) whole = whole * 10.0 + (*p - '0');
    double fraction = 0.0;
    if (*p == '.') {
        ++p;
        double digits_value = 0.0;
        int digits = 0;
        for (; is_digit(*p); ++p, ++digits) digits_value = digits_value * 10.0 + (*p - '0');
        if (digits > 0) fraction = digits_value / power_of_ten(digits);
    }
    const double value = sign * (whole + fraction);
    // Converting a double beyond the float range is undefined; such text
    // reads as an infinity.
    if (value > FLT_MAX) return HUGE_VALF;
    if (value < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(value);
}
