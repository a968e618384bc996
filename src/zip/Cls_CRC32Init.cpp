// CRC-32: a byte-wise register for the key updates, and a fast sum for whole
// entries (the fast sum runs over every byte we extract, so it must keep up with
// the inflater: slice-by-8 everywhere, carry-less multiply folding on x86-64,
// on 512-bit registers where the processor has them; chosen at run time).
#include "zip/Cls_CRC32Init.h"
#include "zip/Processeur.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define RAMAGLIN_CRC_CLMUL 1
#endif

namespace {

// Tables of slice-by-8: table k gives the CRC contribution of a byte followed by
// k zero bytes. Table 0 is the classic byte table. Computed at compile time.
using TablesCRC = std::array<std::array<uint32_t, 256>, 8>;

constexpr TablesCRC ConstruitTables() {
    TablesCRC t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr TablesCRC kTables = ConstruitTables();

// Register form (not complemented) on both sides.
uint32_t CrcTables(uint32_t r, const uint8_t* p, size_t n) {
    while (n && (reinterpret_cast<uintptr_t>(p) & 7)) {
        r = kTables[0][(r ^ *p++) & 0xFF] ^ (r >> 8);
        --n;
    }
    while (n >= 8) {
        uint32_t a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + 4, 4);
        a ^= r; // little-endian: the first byte is the low byte
        r = kTables[7][a & 0xFF] ^ kTables[6][(a >> 8) & 0xFF] ^ kTables[5][(a >> 16) & 0xFF] ^
            kTables[4][a >> 24] ^ kTables[3][b & 0xFF] ^ kTables[2][(b >> 8) & 0xFF] ^
            kTables[1][(b >> 16) & 0xFF] ^ kTables[0][b >> 24];
        p += 8;
        n -= 8;
    }
    while (n--)
        r = kTables[0][(r ^ *p++) & 0xFF] ^ (r >> 8);
    return r;
}

#ifdef RAMAGLIN_CRC_CLMUL
// Folding with carry-less multiplication (the method of Gopal et al., "Fast CRC
// computation for generic polynomials using PCLMULQDQ"): four 128-bit lanes are
// folded 64 bytes at a time, then into one lane, then reduced to 32 bits with
// Barrett's method. The constants are x^k mod P for the reflected polynomial:
// (x^(4*128+32), x^(4*128-32)), (x^(128+32), x^(128-32)), x^64, then P and mu.
#define RAMAGLIN_CLMUL __attribute__((target("pclmul,sse4.1")))

RAMAGLIN_CLMUL inline __m128i Charge(const uint8_t* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// One fold: both 64-bit halves multiplied by their constant, plus the next block.
RAMAGLIN_CLMUL inline __m128i Plie(__m128i x, __m128i k, __m128i suivant) {
    const __m128i bas = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i haut = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(bas, haut), suivant);
}

constexpr int64_t kPli16Bas = 0x01751997d0, kPli16Haut = 0x00ccaa009e; // 16 bytes on
constexpr int64_t kPli64Bas = 0x0154442bd4, kPli64Haut = 0x01c6e41596; // 64 bytes on

// One 128-bit lane left, `n` (a multiple of 16) bytes still to fold into it:
// folds them, then reduces to the 32-bit register.
RAMAGLIN_CLMUL uint32_t Reduit(__m128i x1, const uint8_t* p, size_t n) {
    const __m128i k3k4 = _mm_set_epi64x(kPli16Haut, kPli16Bas);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i bas32 = _mm_setr_epi32(-1, 0, -1, 0);
    while (n >= 16) {
        x1 = Plie(x1, k3k4, Charge(p));
        p += 16;
        n -= 16;
    }
    // 128 bits to 64.
    __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    // 64 bits to 32 (plus the part below).
    x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(_mm_and_si128(x, bas32), k5, 0x00));
    // Barrett reduction.
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, bas32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, bas32), poly, 0x00);
    x = _mm_xor_si128(x, t);
    return static_cast<uint32_t>(_mm_extract_epi32(x, 1));
}

// Takes the register form and a length that is a multiple of 16, at least 64.
RAMAGLIN_CLMUL uint32_t CrcClmul(uint32_t r, const uint8_t* p, size_t n) {
    const __m128i k1k2 = _mm_set_epi64x(kPli64Haut, kPli64Bas);
    const __m128i k3k4 = _mm_set_epi64x(kPli16Haut, kPli16Bas);

    __m128i x1 = _mm_xor_si128(Charge(p), _mm_cvtsi32_si128(static_cast<int>(r)));
    __m128i x2 = Charge(p + 16), x3 = Charge(p + 32), x4 = Charge(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64) {
        x1 = Plie(x1, k1k2, Charge(p));
        x2 = Plie(x2, k1k2, Charge(p + 16));
        x3 = Plie(x3, k1k2, Charge(p + 32));
        x4 = Plie(x4, k1k2, Charge(p + 48));
        p += 64;
        n -= 64;
    }
    x1 = Plie(x1, k3k4, x2);
    x1 = Plie(x1, k3k4, x3);
    x1 = Plie(x1, k3k4, x4);
    return Reduit(x1, p, n);
}

// The same folding on 512-bit registers (four lanes each) where the processor
// multiplies them: four registers fold 256 bytes a turn, which keeps the
// multiplier busy through its latency; the lanes are then folded into one and
// finished as above.
#define RAMAGLIN_VPCLMUL __attribute__((target("vpclmulqdq,avx512f,avx512vl,pclmul,sse4.1")))

RAMAGLIN_VPCLMUL inline __m512i Plie512(__m512i x, __m512i k, __m512i suivant) {
    const __m512i bas = _mm512_clmulepi64_epi128(x, k, 0x00);
    const __m512i haut = _mm512_clmulepi64_epi128(x, k, 0x11);
    return _mm512_ternarylogic_epi64(bas, haut, suivant, 0x96); // three-way xor
}

RAMAGLIN_VPCLMUL inline __m512i Charge512(const uint8_t* q) { return _mm512_loadu_si512(q); }

// Takes the register form and a length that is a multiple of 16, at least 256.
RAMAGLIN_VPCLMUL uint32_t CrcVpclmul(uint32_t r, const uint8_t* p, size_t n) {
    const __m512i k256 =
        _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_set_epi64x(0x01322d1430, 0x011542778a));
    const __m512i k64 = _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_set_epi64x(kPli64Haut, kPli64Bas));
    const __m128i k3k4 = _mm_set_epi64x(kPli16Haut, kPli16Bas);

    const __m512i depart = _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(r)));
    __m512i z0 = _mm512_xor_si512(Charge512(p), depart);
    __m512i z1 = Charge512(p + 64), z2 = Charge512(p + 128), z3 = Charge512(p + 192);
    p += 256;
    n -= 256;
    while (n >= 256) {
        z0 = Plie512(z0, k256, Charge512(p));
        z1 = Plie512(z1, k256, Charge512(p + 64));
        z2 = Plie512(z2, k256, Charge512(p + 128));
        z3 = Plie512(z3, k256, Charge512(p + 192));
        p += 256;
        n -= 256;
    }
    z1 = Plie512(z0, k64, z1);
    z2 = Plie512(z1, k64, z2);
    z3 = Plie512(z2, k64, z3);
    while (n >= 64) {
        z3 = Plie512(z3, k64, Charge512(p));
        p += 64;
        n -= 64;
    }
    __m128i x = _mm512_maskz_extracti32x4_epi32(0xF, z3, 0);
    x = Plie(x, k3k4, _mm512_maskz_extracti32x4_epi32(0xF, z3, 1));
    x = Plie(x, k3k4, _mm512_maskz_extracti32x4_epi32(0xF, z3, 2));
    x = Plie(x, k3k4, _mm512_maskz_extracti32x4_epi32(0xF, z3, 3));
    return Reduit(x, p, n);
}

enum class Methode { Tables, Clmul, Vpclmul };

// From what the processor reports (and the system saves).
Methode MethodeDisponible() {
    const JeuxInstructions j = JeuxUtilises();
    return j.vpclmul ? Methode::Vpclmul : j.clmul ? Methode::Clmul : Methode::Tables;
}
#endif

} // namespace

uint32_t CalculeCRC32(uint32_t crc, const void* octets, size_t n) {
    const auto* p = static_cast<const uint8_t*>(octets);
    uint32_t r = ~crc;
#ifdef RAMAGLIN_CRC_CLMUL
    const Methode m = n >= 64 ? MethodeDisponible() : Methode::Tables;
    if (m != Methode::Tables) {
        const size_t bloc = n & ~size_t(15);
        r = (m == Methode::Vpclmul && bloc >= 256) ? CrcVpclmul(r, p, bloc) : CrcClmul(r, p, bloc);
        p += bloc;
        n -= bloc;
    }
#endif
    return ~CrcTables(r, p, n);
}

const uint32_t* TableCRC32() { return kTables[0].data(); }

Cls_CRC32Init::Cls_CRC32Init() = default;

void Cls_CRC32Init::ResetCRC32() { registre_ = 0xFFFFFFFFu; }

void Cls_CRC32Init::CalcCRC32Byte(uint8_t NewVal) {
    registre_ = kTables[0][(registre_ ^ NewVal) & 0xFF] ^ (registre_ >> 8);
}

uint32_t Cls_CRC32Init::CRC32() const { return ~registre_; }

void Cls_CRC32Init::CRC32(uint32_t CrcValue) { registre_ = CrcValue; }

uint32_t Cls_CRC32Init::GetcrcTable(int TabNum) const {
    return (TabNum >= 0 && TabNum < 256) ? kTables[0][TabNum] : 0;
}

uint32_t Cls_CRC32Init::CalcCRC32File(const QByteArray& ByteArray) {
    registre_ = CalculeCRC32(0, ByteArray.constData(), static_cast<size_t>(ByteArray.size()));
    return registre_;
}
