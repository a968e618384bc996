// Deflate decoder (RFC 1951) for ZIP entries, with the enhanced variant of
// method 9.
//
// What it is for: the archive reader hands us one entry's compressed bytes and
// its recorded size; we give back the file's bytes, decoded in one call, in
// memory (Inflate into a buffer of its own, InflateVers into the caller's),
// or for a large entry handed over in pieces as a window fills
// (InflateurFlux). Entries can be large (the download subsystem unpacks
// whatever a service offers), so the decoder is written for speed:
//
// - Wide bit buffer. Bits are kept in a 64-bit word, least significant bit
//   first. A refill loads eight input bytes at once and keeps at least 49 valid
//   bits, enough for a whole length/literal symbol with its extra bits (15 + 16)
//   or two literals in a row; one more refill covers a distance (15 + 14). Bits
//   above the valid count are either zero or the true next bits, so loads may
//   overlap freely. Near the end of the input the refill goes byte by byte and
//   pads with zero bytes, counted in `surlecture`: consuming any of those padding
//   bits means the stream ran past its input, which is a failure.
//
// - Table decoding of a whole symbol per look-up. Each code has a main table
//   indexed by its first TB bits (11 for literal/length, 8 for distance, 7 for
//   the code-length code). An entry carries the decoded value (literal byte,
//   length base or distance base), the codeword length and the count of extra
//   bits, so one shift consumes codeword and extra bits together and the extra
//   value is read from the bits saved before the shift. Codes longer than TB bits
//   go through a second-level table whose entry in the main table points to it.
//   Unused slots of an incomplete code decode to an invalid entry. A literal
//   entry also carries the width of the table looked up after it, so that its
//   low 16 bits are the control word of a bextr: the next index comes from the
//   bits saved before the literal in one operation, one cycle less on the
//   chain that runs from each look-up to the next. After a length or a
//   distance, the next index comes from the bits already shifted.
//
// - Two paths through a Huffman block. Far from the end of the input (32 bytes,
//   so every refill loads eight real bytes and no padding bit can be consumed)
//   and from the end of the output buffer (room for three literals and a whole
//   match with its overrun), a fast loop decodes up to three literals per turn
//   and a match with no check on bits or room: only the untrusted values are
//   tested (an invalid code, a distance before the start of the output, a
//   length past the buffer). Near either end, one symbol at a time goes through
//   the careful path, which checks the padding and grows the output, then the
//   fast loop takes over again. The fast loop is a function of its own, so
//   that its state stays in registers. It is all variable shifts and masks: a
//   second copy of it, built for BMI1 and BMI2 (bextr, shrx, bzhi), runs where
//   the processor has them.
//
// - Look-ups ahead. In the fast loop the next literal/length entry is looked
//   up as soon as the bits of the symbol before are consumed: before that
//   symbol's byte is stored, and before a match is copied, so the table read
//   never waits behind a store or a mispredicted copy branch (a refill only
//   adds bits above the valid ones, so an entry read before it stays right).
//   The bit count there takes the whole entry off at once: only its low byte
//   means anything, which spares a zero-extension per symbol.
//
// - Fast match copy. With a margin of 32 bytes after the match, a distance of
//   8 or more is copied by 8-byte words (the first 32 bytes without a test:
//   most matches are short), distance 1 by a repeated
//   8-byte pattern, 2 to 7 by 8-byte words advancing by the distance (each
//   store lays down `distance` right bytes). Bytes written past the end of the
//   match are rewritten by what follows.
//
// - The output buffer is reserved once at the expected size, when the input
//   could really produce that much (2 bits for a 258-byte match; 18 bits for
//   65538 bytes in the 64 KiB variant): a header may declare 4 GiB over a few
//   bytes of data, and memory must follow what the data can produce, not what
//   the header says. Pages are touched only as bytes are written, on large
//   pages where the system offers them.
//
// - Stored blocks are one bounds check and one memcpy. When streaming, their
//   bytes go from the input buffer to the sink without passing through the
//   window; the window only gets what a later match may reach: the last 64 KiB,
//   or nothing when the stored blocks that follow in the input bring that much.
//
// - Streaming (InflateurFlux) takes the same paths over buffers of a fixed
//   size kept from one entry to the next, so that no page is faulted in per
//   entry: when the input buffer runs low, what is left moves to its start
//   (with the 8 bytes before, which a stored block may give back to the input)
//   and the source refills it; when the output window fills, all but its last
//   64 KiB (the farthest a match reaches) go to the sink and the rest moves to
//   its start. Both are "an end" for the fast loop, which goes on once the
//   buffer is refilled or emptied. The window never reaches past the expected
//   size, so the fast path's checks stay the same.
//
// Failures: the block loop stops with InflateErreur for a block of type 3, a
// stored block past the input or the expected size, input exhausted in the middle
// of a symbol, a code the tables reject (literal/length symbols 286 and 287, an
// unused slot of an incomplete distance code), a distance reaching before the
// start of the output, or output past the expected size. A table that cannot be
// built (over-subscribed or incomplete codes, a repeat with nothing to repeat or
// running past the lengths) shows "Error in tree creation (Static)" and returns
// the entry untouched.
#include "zip/Archives_Decomp.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#ifdef __linux__
#include <sys/mman.h>
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define RAMAGLIN_BMI2 1
#else
#define RAMAGLIN_BMI2 0
#endif

// The hot loop's helpers are lambdas over its local variables: inlined late,
// they would leave those variables in memory (the compiler sees their
// addresses taken) and put a store and a reload on every symbol.
#if defined(__GNUC__) || defined(__clang__)
#define RAMAGLIN_EN_LIGNE __attribute__((always_inline))
#else
#define RAMAGLIN_EN_LIGNE
#endif

#include "util/Fonctions_Messages.h"
#include "zip/Processeur.h"

namespace {

// ---------------------------------------------------------------------------
// Constants of the format
// ---------------------------------------------------------------------------

// Symbols 257 to 285: base length and extra bits.
constexpr uint16_t kBaseLongueur[29] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,
                                        15, 17, 19, 23, 27, 31, 35, 43,  51,  59,
                                        67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kExtraLongueur[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance codes 0 to 29 of RFC 1951, then 30 and 31 of the 64 KiB variant. Both
// are accepted in either mode: they can only reach bytes already produced.
constexpr uint16_t kBaseDistance[32] = {
    1,    2,    3,    4,    5,    7,     9,     13,    17,    25,    33,
    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025,  1537,
    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kExtraDistance[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// Order in which the code-length code's lengths are sent.
constexpr uint8_t kOrdreLongueurs[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr int kMaxLongueurCode = 15;
constexpr int kBitsLitLong = 11;
constexpr int kBitsDistance = 8;
constexpr int kBitsPrecode = 7;
constexpr int kNbLitLong = 288;
constexpr int kNbDistance = 32;
constexpr int kNbPrecode = 19;
// The farthest a match reaches back: distance code 31 of the 64 KiB variant.
constexpr size_t kHistorique = 65536;

// ---------------------------------------------------------------------------
// Table entries (32 bits)
//   bits 0-7   bits consumed: codeword length + extra bits
//   bits 8-11  codeword length (for a pointer: the second-level table's bits)
//   bits 12-15 kind
//   bits 16-31 value: literal, length or distance base, precode symbol, or the
//              index of the second-level table
// Literal entries differ: their bits 8-15 are the literal/length table's
// width, so that bits 0-15 of the entry are the control word of a bit-field
// extraction (bextr) giving the next look-up's index straight from the bits
// before the literal; the byte is in bits 16-23, and bit 31 is set (a sign
// test). Their shift for extra bits is 11: past the codeword, no extra value.
// Length and distance entries keep the plain layout: their value, which the
// match waits for, takes a handful of instructions, and the look-up after
// them takes its index from the bits already shifted.
// ---------------------------------------------------------------------------
constexpr uint32_t kLitteral = 0x80000000u;
constexpr uint32_t kSpecial = 0x2000; // not a literal, length or distance
constexpr uint32_t kSousTable = 0x4000;
constexpr uint32_t kFinBloc = 0x8000;
constexpr uint32_t kInvalide = kSpecial;

constexpr uint32_t Modele(uint32_t valeur, uint32_t genre, uint32_t extra) {
    return (valeur << 16) | genre | extra;
}

// Largest tables: the main table plus one second-level table per codeword
// prefix; a prefix needs at most 2^(15 - TB) entries and there are at most as
// many prefixes as symbols.
constexpr int kTailleLitLong = (1 << kBitsLitLong) + kNbLitLong * (1 << (kMaxLongueurCode - kBitsLitLong));
constexpr int kTailleDistance = (1 << kBitsDistance) + kNbDistance * (1 << (kMaxLongueurCode - kBitsDistance));
constexpr int kTaillePrecode = 1 << kBitsPrecode;

using TableLitLong = std::array<uint32_t, kTailleLitLong>;
using TableDistance = std::array<uint32_t, kTailleDistance>;

// Per-symbol models (value, kind, extra bits) of the three alphabets.
struct Modeles {
    uint32_t litNormal[kNbLitLong];
    uint32_t litEtendu[kNbLitLong];
    uint32_t distance[kNbDistance];
    uint32_t precode[kNbPrecode];
};

constexpr Modeles ConstruitModeles() {
    Modeles m{};
    for (int s = 0; s < kNbLitLong; ++s) {
        uint32_t v = kInvalide; // 286 and 287 take part in the code but never decode
        if (s < 256)
            v = Modele(s, kLitteral, 0);
        else if (s == 256)
            v = Modele(0, kSpecial | kFinBloc, 0);
        else if (s <= 285)
            v = Modele(kBaseLongueur[s - 257], 0, kExtraLongueur[s - 257]);
        m.litNormal[s] = v;
        m.litEtendu[s] = v;
    }
    // The 64 KiB variant: symbol 285 is 3 + a 16-bit value (up to 65538).
    m.litEtendu[285] = Modele(3, 0, 16);
    for (int s = 0; s < kNbDistance; ++s)
        m.distance[s] = Modele(kBaseDistance[s], 0, kExtraDistance[s]);
    for (int s = 0; s < kNbPrecode; ++s)
        m.precode[s] = Modele(s, 0, 0);
    return m;
}

constexpr Modeles kModeles = ConstruitModeles();

// Bytes with their bits in reverse order.
constexpr std::array<uint8_t, 256> ConstruitInverses() {
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) {
        int r = 0;
        for (int i = 0; i < 8; ++i)
            r |= ((v >> i) & 1) << (7 - i);
        t[size_t(v)] = uint8_t(r);
    }
    return t;
}
constexpr std::array<uint8_t, 256> kInverses = ConstruitInverses();

// The `n` low bits of a codeword (n <= 15) in reverse order.
inline uint32_t InverseBits(uint32_t valeur, int n) {
    const uint32_t r = (uint32_t(kInverses[valeur & 0xFF]) << 8) | kInverses[(valeur >> 8) & 0xFF];
    return r >> (16 - n);
}

// The entry of a symbol whose codeword takes `l` bits of its table (main or
// second-level), in the table whose main part is indexed by `bits` bits (see
// the layout above): bits 8-15 of a literal's entry are the literal/length
// table's width.
constexpr uint32_t Entree(uint32_t modele, uint32_t l, int bits) {
    if (bits == kBitsPrecode || (modele & kSpecial))
        return modele + (l << 8) + l;
    if (bits == kBitsLitLong && (modele & kLitteral))
        return modele + (uint32_t(kBitsLitLong) << 8) + l;
    const uint32_t base = modele >> 16, extra = modele & 0xFF;
    return (base << 16) | (l << 8) | (l + extra);
}


// Builds a decoding table from code lengths (canonical Huffman code, RFC 1951
// 3.2.2). Returns the completeness value: starting from 1, doubled at each length
// and reduced by the number of codes of that length: negative for an
// over-subscribed code (the build stops there), 0 for a complete code, positive
// for an incomplete one (no code at all included). `nbUtilises` gives the count
// of symbols that have a code.
int ConstruitTable(const uint8_t* longueurs, int nbSymboles, const uint32_t* modeles, int bits,
                   uint32_t* table, int& nbUtilises) {
    int compte[kMaxLongueurCode + 1] = {};
    for (int s = 0; s < nbSymboles; ++s)
        ++compte[longueurs[s]];
    compte[0] = 0;
    int maxi = 0;
    for (int l = 1; l <= kMaxLongueurCode; ++l)
        if (compte[l])
            maxi = l;
    int reste = 1;
    for (int l = 1; l <= maxi; ++l) {
        reste = 2 * reste - compte[l];
        if (reste < 0)
            return reste;
    }
    nbUtilises = 0;
    for (int l = 1; l <= maxi; ++l)
        nbUtilises += compte[l];

    const uint32_t tailleMain = 1u << bits;
    // A complete code covers every slot: only an incomplete one leaves some
    // to decode as invalid. Small entries are one block each, and building
    // their tables is a good part of their time.
    if (reste != 0)
        for (uint32_t i = 0; i < tailleMain; ++i)
            table[i] = kInvalide;

    // Symbols in (length, symbol) order, as canonical codes are assigned.
    int debut[kMaxLongueurCode + 2] = {};
    for (int l = 1; l <= kMaxLongueurCode; ++l)
        debut[l + 1] = debut[l] + compte[l];
    uint16_t tries[kNbLitLong];
    for (int s = 0; s < nbSymboles; ++s)
        if (longueurs[s])
            tries[debut[longueurs[s]]++] = static_cast<uint16_t>(s);

    const int bitsSous = maxi > bits ? maxi - bits : 0;
    uint32_t libre = tailleMain;
    uint32_t dernierHaut = UINT32_MAX;
    uint32_t code = 0;
    int i = 0;
    for (int l = 1; l <= maxi; ++l, code <<= 1) {
        for (int k = 0; k < compte[l]; ++k, ++code, ++i) {
            const uint32_t modele = modeles[tries[i]];
            const uint32_t inverse = InverseBits(code, l);
            if (l <= bits) {
                const uint32_t entree = Entree(modele, uint32_t(l), bits);
                for (uint32_t j = inverse; j < tailleMain; j += 1u << l)
                    table[j] = entree;
                continue;
            }
            const uint32_t prefixe = inverse & (tailleMain - 1);
            // Codes in canonical order: those that share their first bits
            // follow one another.
            if (const uint32_t haut = code >> (l - bits); haut != dernierHaut) {
                dernierHaut = haut;
                table[prefixe] = (libre << 16) | kSpecial | kSousTable | (bitsSous << 8);
                for (uint32_t j = 0; j < (1u << bitsSous); ++j)
                    table[libre + j] = kInvalide;
                libre += 1u << bitsSous;
            }
            const uint32_t base = table[prefixe] >> 16;
            const int reste2 = l - bits;
            const uint32_t entree = Entree(modele, uint32_t(reste2), bits);
            for (uint32_t j = inverse >> bits; j < (1u << bitsSous); j += 1u << reste2)
                table[base + j] = entree;
        }
    }
    return reste;
}

// The two tables of a Huffman block, side by side: the hot loop reaches both
// from one base register.
struct TablesHuffman {
    TableLitLong lit;
    TableDistance dist;
};

// The fixed codes of block type 1, built on first use and kept: 288 literal/length
// lengths (8, 9, 7, 8 by ranges) and 32 distance codes of 5 bits, for each mode.
struct TablesFixes {
    TablesHuffman normal;
    TablesHuffman etendu;
    TablesFixes() {
        uint8_t l[kNbLitLong];
        for (int s = 0; s < kNbLitLong; ++s)
            l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        int n;
        ConstruitTable(l, kNbLitLong, kModeles.litNormal, kBitsLitLong, normal.lit.data(), n);
        ConstruitTable(l, kNbLitLong, kModeles.litEtendu, kBitsLitLong, etendu.lit.data(), n);
        uint8_t d[kNbDistance];
        std::memset(d, 5, sizeof d);
        ConstruitTable(d, kNbDistance, kModeles.distance, kBitsDistance, normal.dist.data(), n);
        etendu.dist = normal.dist;
    }
};

const TablesFixes& Fixes() {
    static const TablesFixes tables;
    return tables;
}

inline uint64_t Lit64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v; // little-endian hosts (x86, ARM) only
}

constexpr uint64_t Masque(unsigned n) { return (uint64_t(1) << n) - 1; }

enum class Issue { Continue, Echec, ArbreInvalide, LongueurFausse };

// Decoder state for one call.
struct Decodeur {
    // Input: the compressed entry.
    const uint8_t* entree;
    const uint8_t* finEntree;
    // Bit buffer: `nbBits` valid bits at the low end; `surlecture` zero bytes
    // padded after the end of the input are among them (the highest ones).
    uint64_t tampon = 0;
    unsigned nbBits = 0;
    unsigned surlecture = 0;
    // Output: `produit` bytes at `debutSortie`, in a buffer of `capacite`
    // bytes, never more than `limite` (the expected size). A whole entry has
    // its buffer at that size; a stream, a window that empties into the sink.
    uint8_t* debutSortie = nullptr;
    size_t produit = 0;
    size_t capacite = 0;
    size_t limite = 0;
    bool etendu = false;
    bool dernier = false; // the block being decoded is the last

    // Streaming (InflateurFlux): input comes from `source` into a buffer of
    // `tailleTamponEntree` bytes at `tamponEntree`; output goes to `puits` each
    // time the window fills, keeping the last kHistorique bytes for matches.
    // Both null for a whole entry in memory.
    SourceInflate* source = nullptr;
    uint8_t* tamponEntree = nullptr;
    size_t tailleTamponEntree = 0;
    bool sourceFinie = true;
    PuitsInflate* puits = nullptr;
    uint64_t vide = 0; // bytes that left the window, handed to the sink
    size_t rendu = 0;  // the window's first bytes, handed to the sink already
    size_t tailleFenetre = 0;

    TablesHuffman dyn;
    uint32_t precode[kTaillePrecode];

    // At least 49 valid bits afterwards.
    inline void Remplit() {
        if (finEntree - entree >= 8) {
            tampon |= Lit64(entree) << nbBits;
            entree += (63 - nbBits) >> 3;
            nbBits |= 56;
        } else {
            RemplitLent();
        }
    }
    void RemplitLent() {
        if (finEntree - entree < 8)
            Alimente(8);
        if (finEntree - entree >= 8) {
            Remplit();
            return;
        }
        while (nbBits <= 48) {
            if (entree < finEntree)
                tampon |= uint64_t(*entree++) << nbBits;
            else
                ++surlecture;
            nbBits += 8;
        }
    }
    // True when bits past the end of the input have been consumed.
    inline bool Epuise() const { return surlecture != 0 && nbBits < 8 * surlecture; }

    inline uint32_t Bits(unsigned n) {
        const uint32_t v = static_cast<uint32_t>(tampon & Masque(n));
        tampon >>= n;
        nbBits -= n;
        return v;
    }

    // Decodes one entry of a table (enough bits must be buffered) and consumes
    // its codeword and extra bits; `valeur` receives base + extra.
    template <int TB>
    inline uint32_t Decode(const uint32_t* table, uint32_t& valeur) {
        uint32_t e = table[tampon & Masque(TB)];
        if (e & kSousTable) [[unlikely]] {
            tampon >>= TB;
            nbBits -= TB;
            e = table[(e >> 16) + (tampon & Masque((e >> 8) & 15))];
        }
        const uint64_t garde = tampon;
        const unsigned total = e & 0xFF;
        tampon >>= total;
        nbBits -= total;
        valeur = (e >> 16) + static_cast<uint32_t>((garde & Masque(total)) >> ((e >> 8) & 15));
        return e;
    }

    // Makes at least `besoin` input bytes available when the source still has
    // them: what is left moves to the start of the buffer (with the 8 bytes
    // before it, which a stored block may give back), and the source fills the
    // rest. True when `besoin` bytes are there.
    bool Alimente(size_t besoin) {
        while (size_t(finEntree - entree) < besoin && !sourceFinie) {
            const uint8_t* garde = entree - std::min<ptrdiff_t>(entree - tamponEntree, 8);
            const size_t recul = size_t(entree - garde);
            const size_t reste = size_t(finEntree - garde);
            std::memmove(tamponEntree, garde, reste);
            entree = tamponEntree + recul;
            size_t plein = reste;
            while (plein < tailleTamponEntree) {
                const size_t lu = source->Lit(tamponEntree + plein, tailleTamponEntree - plein);
                if (lu == 0) {
                    sourceFinie = true;
                    break;
                }
                plein += lu;
            }
            finEntree = tamponEntree + plein;
        }
        return size_t(finEntree - entree) >= besoin;
    }

    // Hands the window's bytes not yet handed to the sink, but its last
    // kHistorique, which move to its start: matches reach no further back.
    void Vide() {
        if (!puits || produit <= kHistorique)
            return;
        const size_t n = produit - kHistorique;
        if (rendu < n)
            puits->Ecrit(debutSortie + rendu, n - rendu);
        std::memmove(debutSortie, debutSortie + n, kHistorique);
        rendu = rendu > n ? rendu - n : 0;
        Decale(n);
    }
    // The window's first `n` bytes are gone from it.
    void Decale(size_t n) {
        produit -= n;
        limite -= n;
        vide += n;
        // The fast path writes up to the end of the buffer: never past the
        // expected size.
        capacite = std::min(tailleFenetre, limite);
    }
    // `n` bytes handed to the sink without passing through the window become
    // its last bytes, as matches will look for them. `historique` false: the
    // stored blocks that follow bring the whole history of the next match,
    // and the window is only emptied.
    void Historique(const uint8_t* octets, size_t n, bool historique) {
        if (!historique) {
            Decale(produit);
            vide += n;
            limite -= n;
            capacite = std::min(tailleFenetre, limite);
            rendu = 0;
            return;
        }
        size_t garde = std::min(produit, n >= kHistorique ? 0 : kHistorique - n);
        if (n < kHistorique && produit + n <= capacite)
            garde = produit; // room after what is there: nothing moves
        const size_t pris = std::min(n, kHistorique);
        if (garde < produit) {
            std::memmove(debutSortie, debutSortie + produit - garde, garde);
            Decale(produit - garde);
        }
        std::memcpy(debutSortie + produit, octets + n - pris, pris);
        vide += n - pris;
        limite -= n - pris;
        produit += pris;
        rendu = produit;
        capacite = std::min(tailleFenetre, limite);
    }

    // True when the stored blocks that start at `p` and are already in the
    // input buffer bring kHistorique bytes or more by themselves: the block
    // before them then leaves nothing that a match could reach.
    bool SuiteStockee(const uint8_t* p, bool fin) const {
        size_t total = 0;
        while (!fin && finEntree - p >= 5 && ((p[0] >> 1) & 3) == 0) {
            const size_t n = size_t(p[1] | (p[2] << 8));
            if (size_t(finEntree - p) - 5 < n)
                break;
            total += n;
            if (total >= kHistorique)
                return true;
            fin = p[0] & 1;
            p += 5 + n;
        }
        return false;
    }

    // Makes room for `n` more bytes; false when that would pass the expected size.
    bool Reserve(size_t n) {
        if (n > limite - produit)
            return false;
        if (produit + n <= capacite)
            return true;
        if (!puits)
            return false;
        Vide();
        return produit + n <= capacite;
    }

    Issue BlocStocke();
    Issue LitArbresDynamiques();
    Issue BlocHuffman(const TablesHuffman& tables);
    template <int Variante>
    Issue BoucleHuffman(const TablesHuffman& tables);
#if RAMAGLIN_BMI2
    Issue BlocHuffmanBmi2(const TablesHuffman& tables);
#endif
    Issue CopieLente(size_t longueur, size_t distance);
};

// Stored block (type 0): after the 3 header bits, skip to a byte boundary, then
// LEN and NLEN (16 bits each, little-endian, NLEN = ~LEN), then LEN raw bytes.
// A LEN/NLEN mismatch is reported (-2) but the bytes are still taken. Bounds are
// checked before anything is copied.
Issue Decodeur::BlocStocke() {
    tampon >>= nbBits & 7;
    nbBits &= ~7u;
    if (Epuise())
        return Issue::Echec;
    // Whole bytes still in the buffer go back to the input.
    entree -= nbBits / 8 - surlecture;
    tampon = 0;
    nbBits = 0;
    surlecture = 0;
    if (!Alimente(4))
        return Issue::Echec;
    const unsigned len = entree[0] | (entree[1] << 8);
    const unsigned nlen = entree[2] | (entree[3] << 8);
    entree += 4;
    if (!Alimente(len))
        return Issue::Echec;
    if (puits && len) {
        // Streaming: the bytes go from the input to the sink, after what the
        // window still holds; only what a later match may reach is kept.
        if (len > limite - produit)
            return Issue::Echec;
        if (rendu < produit) {
            puits->Ecrit(debutSortie + rendu, produit - rendu);
            rendu = produit;
        }
        puits->Ecrit(entree, len);
        Historique(entree, len, !SuiteStockee(entree + len, dernier));
        entree += len;
    } else {
        if (!Reserve(len))
            return Issue::Echec;
        if (len) {
            std::memcpy(debutSortie + produit, entree, len);
            entree += len;
            produit += len;
        }
    }
    return len == (~nlen & 0xFFFFu) ? Issue::Continue : Issue::LongueurFausse;
}

// Dynamic block header (type 2): HLIT, HDIST, HCLEN, the code-length code's
// lengths in kOrdreLongueurs order, then HLIT + HDIST lengths coded with it
// (16: repeat the previous length 3-6 times, 17: 3-10 zeros, 18: 11-138 zeros).
Issue Decodeur::LitArbresDynamiques() {
    Remplit();
    const unsigned hlit = Bits(5) + 257;
    const unsigned hdist = Bits(5) + 1;
    const unsigned hclen = Bits(4) + 4;
    uint8_t lp[kNbPrecode] = {};
    for (unsigned i = 0; i < hclen; ++i) {
        Remplit();
        lp[kOrdreLongueurs[i]] = static_cast<uint8_t>(Bits(3));
    }
    int n;
    if (ConstruitTable(lp, kNbPrecode, kModeles.precode, kBitsPrecode, precode, n) != 0)
        return Issue::ArbreInvalide;

    uint8_t longueurs[kNbLitLong + kNbDistance] = {};
    const unsigned total = hlit + hdist;
    unsigned i = 0;
    while (i < total) {
        Remplit();
        uint32_t sym;
        Decode<kBitsPrecode>(precode, sym);
        if (sym < 16) {
            longueurs[i++] = static_cast<uint8_t>(sym);
            continue;
        }
        unsigned repete;
        uint8_t valeur = 0;
        if (sym == 16) {
            if (i == 0)
                return Issue::ArbreInvalide; // nothing to repeat
            valeur = longueurs[i - 1];
            repete = 3 + Bits(2);
        } else if (sym == 17) {
            repete = 3 + Bits(3);
        } else {
            repete = 11 + Bits(7);
        }
        if (repete > total - i)
            return Issue::ArbreInvalide; // runs past the lengths
        std::memset(longueurs + i, valeur, repete);
        i += repete;
    }
    if (Epuise())
        return Issue::ArbreInvalide;

    const uint32_t* modLit = etendu ? kModeles.litEtendu : kModeles.litNormal;
    if (ConstruitTable(longueurs, hlit, modLit, kBitsLitLong, dyn.lit.data(), n) != 0)
        return Issue::ArbreInvalide;
    const int r = ConstruitTable(longueurs + hlit, hdist, kModeles.distance, kBitsDistance,
                                 dyn.dist.data(), n);
    // A single distance code of one bit, or none at all (a block of literals),
    // is what common encoders write for such blocks: accepted. Unused slots
    // decode as invalid.
    if (r < 0 || (r > 0 && n > 1))
        return Issue::ArbreInvalide;
    if (r > 0 && n == 1) {
        for (unsigned d = 0; d < hdist; ++d)
            if (longueurs[hlit + d] > 1)
                return Issue::ArbreInvalide;
    }
    return Issue::Continue;
}

// A match near the end of the buffer (or longer than the fast path allows):
// byte by byte, growing the output, stopping at the expected size.
Issue Decodeur::CopieLente(size_t longueur, size_t distance) {
    size_t n = longueur;
    bool tronque = false;
    if (n > limite - produit) {
        n = limite - produit;
        tronque = true;
    }
    if (n && !Reserve(n))
        return Issue::Echec;
    uint8_t* d = debutSortie + produit;
    const uint8_t* s = d - distance;
    for (size_t k = 0; k < n; ++k)
        d[k] = s[k];
    produit += n;
    return tronque ? Issue::Echec : Issue::Continue;
}

// Match copy with room for kDebordCopie bytes after its end: whole words are
// copied, and the bytes written past the end are rewritten by what follows.
constexpr size_t kDebordCopie = 32;
constexpr ptrdiff_t kMargeEntree = 32; // three refills of at most 7 bytes, 8 read by each
constexpr ptrdiff_t kMargeSortie = 3 + 258 + kDebordCopie;
// Bits a match needs after its length: the distance's codeword and extra
// bits, then the next literal/length look-up's index.
constexpr unsigned kBitsApresLongueur = kMaxLongueurCode + 14 + kBitsLitLong;

// An entry's value: its base plus its extra bits, from the bits saved before
// its shift. The shift takes bits 8-13: the codeword length, and two kind bits
// that are clear in length and distance entries (an end of block or an invalid
// symbol is told apart before its value is used); 63 is the mask shrx applies
// by itself. A literal's gives its byte in the low 8 bits: its shift, 11, is
// past its codeword, so no extra value.
inline uint32_t ValeurEntree(uint64_t garde, uint32_t e) {
    return (e >> 16) + static_cast<uint32_t>((garde & Masque(uint8_t(e))) >> ((e >> 8) & 63));
}

inline void Copie8(uint8_t* d, const uint8_t* s) {
    uint64_t mot;
    std::memcpy(&mot, s, 8);
    std::memcpy(d, &mot, 8);
}

// 32 bytes, both halves loaded before either is stored: the source must end
// at or before the destination's start.
inline void Copie32(uint8_t* d, const uint8_t* s) {
    using Mot16 = uint8_t __attribute__((vector_size(16)));
    Mot16 a, b;
    std::memcpy(&a, s, 16);
    std::memcpy(&b, s + 16, 16);
    std::memcpy(d, &a, 16);
    std::memcpy(d + 16, &b, 16);
}

inline void CopieRapide(uint8_t* d, size_t distance, size_t longueur) {
    const uint8_t* src = d - distance;
    uint8_t* const fin = d + longueur;
    if (distance >= 32) {
        // The usual case: the source lies wholly behind, and whole vectors
        // move it, half as many moves as words would take.
        do {
            Copie32(d, src);
            d += 32;
            src += 32;
        } while (d < fin);
    } else if (distance >= 8) {
        // Most matches are short: the first 32 bytes go without a test.
        Copie8(d, src);
        Copie8(d + 8, src + 8);
        Copie8(d + 16, src + 16);
        Copie8(d + 24, src + 24);
        d += 32;
        src += 32;
        while (d < fin) {
            Copie8(d, src);
            Copie8(d + 8, src + 8);
            d += 16;
            src += 16;
        }
    } else if (distance == 1) {
        const uint64_t motif = uint64_t(*src) * 0x0101010101010101u;
        do {
            std::memcpy(d, &motif, 8);
            d += 8;
        } while (d < fin);
    } else {
        // 2 to 7: each 8-byte store lays down `distance` right bytes, read from
        // bytes already right; the store after it redoes the rest.
        do {
            uint64_t mot;
            std::memcpy(&mot, src, 8);
            std::memcpy(d, &mot, 8);
            d += distance;
            src += distance;
        } while (d < fin);
    }
}

// The fast loop of a Huffman block, apart from the careful one so that its
// state stays in registers: the bit buffer, its count and both positions are
// locals here, handed back once when the loop ends.
struct EtatRapide {
    uint64_t bb;
    unsigned nb;
    const uint8_t* in;
    uint8_t* out;
    // A match the loop leaves to its caller: a long one of the 64 KiB variant.
    size_t longueur, distance;
};
enum class FinRapide { Bord, FinBloc, Echec, Copie };

// Runs while `in` is before `finInRapide` (every refill loads eight real
// bytes, so no padding bit can be consumed) and `out` before `finOutRapide`
// (room for three literals and a whole match with its overrun); both hold on
// entry. Only the untrusted values are checked: an invalid code, a distance
// before `debut`, a length past 258.
template <int Variante>
[[gnu::always_inline]] inline FinRapide CorpsRapide(const TablesHuffman& tables, const uint8_t* debut,
                                                    const uint8_t* finInRapide, const uint8_t* finOutRapide,
                                                    EtatRapide& etat) {
    const uint32_t* const lit = tables.lit.data();
    const uint32_t* const dist = tables.dist.data();
    uint64_t bb = etat.bb;
    unsigned nb = etat.nb;
    const uint8_t* in = etat.in;
    uint8_t* out = etat.out;
    FinRapide fin = FinRapide::Bord;
    constexpr uint64_t kMasqueLit = Masque(kBitsLitLong);

    // At least 56 valid bits afterwards.
    auto remplitRapide = [&]() RAMAGLIN_EN_LIGNE {
        bb |= Lit64(in) << (nb & 63);
        in += 7 - ((nb >> 3) & 7);
        nb |= 56;
    };
    // Consumes a table entry's bits (codeword and extra bits, its low byte).
    // The whole entry is subtracted from the count: only the count's low byte
    // is meaningful here (it never goes below zero), which spares a
    // zero-extension per symbol; it is trimmed when the loop ends.
    auto consomme = [&](uint32_t e) RAMAGLIN_EN_LIGNE {
        bb >>= uint8_t(e);
        nb -= e;
    };
    // The main-table index of the symbol after a literal or a length, from
    // the bits before it: one extraction where the processor has it (the
    // entry's bits 0-15 are its control word), else a shift and a mask.
    auto extrait = [&](uint64_t avant, uint32_t e, uint64_t masque) RAMAGLIN_EN_LIGNE {
#if RAMAGLIN_BMI2
        if constexpr (Variante == 1) {
            uint64_t i;
            asm("bextr %2, %1, %0" : "=r"(i) : "r"(avant), "r"(uint64_t(e)));
            return size_t(i);
        }
#endif
        return size_t((avant >> uint8_t(e)) & masque);
    };
    auto apresLitteral = [&](uint32_t e) RAMAGLIN_EN_LIGNE { return extrait(bb, e, kMasqueLit); };
    // A length's or a distance's value (ValeurEntree), the mask of its bits by
    // one instruction where the processor has it (bzhi reads the count from
    // the entry's low byte).
    auto valeurDe = [&](uint64_t garde, uint32_t e) RAMAGLIN_EN_LIGNE {
#if RAMAGLIN_BMI2
        if constexpr (Variante == 1) {
            uint64_t bits;
            asm("bzhi %2, %1, %0" : "=r"(bits) : "r"(garde), "r"(uint64_t(e)));
            return (e >> 16) + static_cast<uint32_t>(bits >> ((e >> 8) & 63));
        }
#endif
        return ValeurEntree(garde, e);
    };
    auto apresLongueur = [&]() RAMAGLIN_EN_LIGNE { return size_t(bb & Masque(kBitsDistance)); };
    auto apresDistance = [&]() RAMAGLIN_EN_LIGNE { return size_t(bb & kMasqueLit); };

    // At the top of each turn, at least 56 valid bits, and `e` already holds
    // the main-table entry of the next literal/length codeword: each look-up
    // is issued before the store of the byte before it, and the next one
    // before a match is copied, so that neither waits for the other. A refill
    // only adds bits above the valid ones, so an entry looked up before it
    // stays right.
    remplitRapide();
    uint32_t e = lit[bb & kMasqueLit];
    do {
        if (e & kLitteral) {
            // Literals of the main table (11 bits at most): up to three a
            // turn, the third after a refill.
            size_t i = apresLitteral(e);
            consomme(e);
            uint8_t octet = static_cast<uint8_t>(e >> 16);
            e = lit[i];
            *out++ = octet;
            if (e & kLitteral) {
                i = apresLitteral(e);
                consomme(e);
                octet = static_cast<uint8_t>(e >> 16);
                e = lit[i];
                *out++ = octet;
                if (e & kLitteral) {
                    i = apresLitteral(e);
                    consomme(e);
                    octet = static_cast<uint8_t>(e >> 16);
                    e = lit[i];
                    remplitRapide();
                    *out++ = octet;
                    continue;
                }
            }
        }
        // 22 bits or fewer used since the refill: 34 left, enough for a
        // codeword of the second level with its 16 extra bits.
        if (e & kSousTable) [[unlikely]] {
            bb >>= kBitsLitLong;
            nb -= kBitsLitLong;
            e = lit[(e >> 16) + (bb & Masque((e >> 8) & 15))];
            if (e & kLitteral) {
                consomme(e);
                const uint8_t octet = static_cast<uint8_t>(e >> 16);
                remplitRapide();
                e = lit[bb & kMasqueLit];
                *out++ = octet;
                continue;
            }
        }
        uint64_t garde = bb;
        consomme(e);
        if (e & kSpecial) [[unlikely]] {
            fin = (e & kFinBloc) ? FinRapide::FinBloc : FinRapide::Echec; // 256, or 286 and 287
            break;
        }
        const size_t longueur = valeurDe(garde, e);
        // The distance's main-table entry is read before the refill, which
        // then runs beside that load instead of ahead of it. Its 8 bits are
        // there even when the count says fewer: a refill leaves all 64 bits
        // of the buffer real (the count only tracks whole bytes taken), and a
        // turn takes at most 53 of them before this point (two literals of
        // 11 bits, a length codeword of 15 and the 16 extra bits of symbol
        // 285 in the 64 KiB variant).
        e = dist[apresLongueur()];
        // The distance (a codeword of 15 bits and 14 extra bits at most) and
        // the look-up after it (11) mostly fit in what is left: a turn that
        // began with this match, or with one short literal, needs no refill.
        if (uint8_t(nb) < kBitsApresLongueur)
            remplitRapide();
        if (e & kSousTable) [[unlikely]] {
            bb >>= kBitsDistance;
            nb -= kBitsDistance;
            e = dist[(e >> 16) + (bb & Masque((e >> 8) & 15))];
        }
        garde = bb;
        consomme(e);
        const size_t distance = valeurDe(garde, e);
        if ((e & kSpecial) || distance > size_t(out - debut)) [[unlikely]] {
            fin = FinRapide::Echec;
            break;
        }
        // 29 bits or fewer for the distance: the next look-up has its 11, and
        // goes before the copy.
        e = lit[apresDistance()];
        remplitRapide();
        // The margin holds a match of 258 bytes with its overrun: only the
        // longer ones of the 64 KiB variant go to the caller.
        if (longueur > 258) [[unlikely]] {
            etat.longueur = longueur;
            etat.distance = distance;
            fin = FinRapide::Copie;
            break;
        }
        CopieRapide(out, distance, longueur);
        out += longueur;
    } while (in < finInRapide && out < finOutRapide);
    etat.bb = bb;
    etat.nb = nb & 0xFF;
    etat.in = in;
    etat.out = out;
    return fin;
}

[[gnu::noinline]] FinRapide RapideSimple(const TablesHuffman& tables, const uint8_t* debut, const uint8_t* finIn,
                                         const uint8_t* finOut, EtatRapide& etat) {
    return CorpsRapide<0>(tables, debut, finIn, finOut, etat);
}

// The loop is all variable shifts and masks: where the processor has BMI2
// (shrx, shlx, bzhi: one micro-operation each, any register), a copy of it
// built for those instructions runs faster.
#if RAMAGLIN_BMI2
__attribute__((target("bmi,bmi2"), noinline)) FinRapide RapideBmi2(const TablesHuffman& tables, const uint8_t* debut,
                                                               const uint8_t* finIn, const uint8_t* finOut,
                                                               EtatRapide& etat) {
    return CorpsRapide<1>(tables, debut, finIn, finOut, etat);
}
#endif

template <int Variante>
inline FinRapide BoucleRapide(const TablesHuffman& tables, const uint8_t* debut, const uint8_t* finIn,
                              const uint8_t* finOut, EtatRapide& etat) {
#if RAMAGLIN_BMI2
    if constexpr (Variante == 1)
        return RapideBmi2(tables, debut, finIn, finOut, etat);
#endif
    return RapideSimple(tables, debut, finIn, finOut, etat);
}

// Huffman block (type 1 with the fixed tables, type 2 with the ones just read):
// literal/length symbols until 256; a length (257-285, base + extra bits) is
// followed by a distance symbol (base + extra bits) and copies from that far back
// in the output, overlapping copies repeating the recent bytes.
//
// The hot loop works on local copies of the bit buffer and of the positions:
// byte stores through the output pointer may alias anything, and the compiler
// would otherwise reload every member of the state after each one.
template <int Variante>
[[gnu::always_inline]] inline Issue Decodeur::BoucleHuffman(const TablesHuffman& tables) {
    const uint32_t* const lit = tables.lit.data();
    const uint32_t* const dist = tables.dist.data();
    uint64_t bb = tampon;
    unsigned nb = nbBits;
    const uint8_t* in = entree;
    const uint8_t* finIn = finEntree;
    // Byte stores through `out` may alias any member: the start of the output
    // is kept in a local too, or it would be reloaded at every match.
    uint8_t* debut = debutSortie;
    uint8_t* out = debut + produit;
    uint8_t* finOut = debut + capacite;
    unsigned bourrage = surlecture;

    // Far from the end of the input (every refill loads eight real bytes, so no
    // padding bit can be consumed) and from the end of the output buffer (room
    // for three literals and a whole match with its overrun), symbols are
    // decoded without any per-symbol check but the ones on untrusted values.
    auto borneRapide = [&]() RAMAGLIN_EN_LIGNE { return finIn - in > kMargeEntree ? finIn - kMargeEntree : in; };
    const uint8_t* finInRapide = borneRapide();

    auto sauve = [&]() RAMAGLIN_EN_LIGNE {
        tampon = bb;
        nbBits = nb & 0xFF;
        entree = in;
        produit = size_t(out - debut);
    };
    auto recharge = [&]() RAMAGLIN_EN_LIGNE {
        bb = tampon;
        nb = nbBits;
        in = entree;
        finIn = finEntree;
        debut = debutSortie;
        out = debut + produit;
        finOut = debut + capacite;
        bourrage = surlecture;
        finInRapide = borneRapide();
    };
    // At least 49 valid bits afterwards (see the design note at the top).
    auto remplit = [&]() RAMAGLIN_EN_LIGNE {
        if (finIn - in >= 8) [[likely]] {
            bb |= Lit64(in) << nb;
            in += (63 - nb) >> 3;
            nb |= 56;
        } else {
            sauve();
            RemplitLent();
            recharge();
        }
    };
    auto epuise = [&]() RAMAGLIN_EN_LIGNE { return bourrage != 0 && nb < 8 * bourrage; };
    // Consumes one symbol with its extra bits; `decode` also gives its value
    // (ValeurEntree, from the bits saved before the shift).
    uint64_t garde = 0;
    auto decodeEntree = [&](const uint32_t* table, unsigned tb) RAMAGLIN_EN_LIGNE {
        uint32_t e = table[bb & Masque(tb)];
        if (e & kSousTable) [[unlikely]] {
            bb >>= tb;
            nb -= tb;
            e = table[(e >> 16) + (bb & Masque((e >> 8) & 15))];
        }
        garde = bb;
        const unsigned total = e & 0xFF;
        bb >>= total;
        nb -= total;
        return e;
    };
    auto decode = [&](const uint32_t* table, unsigned tb, uint32_t& valeur) RAMAGLIN_EN_LIGNE {
        const uint32_t e = decodeEntree(table, tb);
        valeur = ValeurEntree(garde, e);
        return e;
    };
    // Room for one more literal; false at the expected size.
    auto place = [&]() RAMAGLIN_EN_LIGNE {
        if (out < finOut) [[likely]]
            return true;
        sauve();
        const bool ok = Reserve(1);
        recharge();
        return ok;
    };

    // A match once its distance is checked: by whole words with room for the
    // overrun, else (a long match of the 64 KiB variant near the end of the
    // buffer) byte by byte, growing the output.
    auto copie = [&](size_t longueur, size_t distance) RAMAGLIN_EN_LIGNE {
        if (size_t(finOut - out) < longueur + kDebordCopie) [[unlikely]] {
            sauve();
            const Issue r = CopieLente(longueur, distance);
            recharge();
            return r;
        }
        CopieRapide(out, distance, longueur);
        out += longueur;
        return Issue::Continue;
    };

    for (;;) {
        if (in < finInRapide && finOut - out > kMargeSortie) {
            EtatRapide r{bb, nb, in, out, 0, 0};
            const FinRapide f = BoucleRapide<Variante>(tables, debut, finInRapide, finOut - kMargeSortie, r);
            bb = r.bb;
            nb = r.nb;
            in = r.in;
            out = r.out;
            if (f == FinRapide::FinBloc) {
                sauve();
                return Issue::Continue;
            }
            if (f == FinRapide::Echec) {
                sauve();
                return Issue::Echec;
            }
            if (f == FinRapide::Copie) {
                if (const Issue i = copie(r.longueur, r.distance); i != Issue::Continue) [[unlikely]]
                    return i;
                continue;
            }
        }

        // When streaming, an end is often only the end of a buffer: the input
        // is refilled, or the window handed to the sink, and the fast path
        // goes on.
        if (!sourceFinie && finIn - in <= kMargeEntree) {
            sauve();
            Alimente(size_t(kMargeEntree) + 1);
            recharge();
            if (in < finInRapide)
                continue;
        }
        if (puits && finOut - out <= kMargeSortie && size_t(out - debut) > kHistorique) {
            sauve();
            Vide();
            recharge();
            continue;
        }

        // Near an end: one symbol with every check, then back to the fast path
        // if the output has grown away from its end.
        remplit();
        uint32_t valeur;
        uint32_t e = decode(lit, kBitsLitLong, valeur);
        if (e & kLitteral) {
            if (epuise() || !place()) [[unlikely]]
                break;
            *out++ = static_cast<uint8_t>(valeur);
            // A second symbol fits in the bits already buffered.
            e = decode(lit, kBitsLitLong, valeur);
            if (e & kLitteral) {
                if (epuise() || !place()) [[unlikely]]
                    break;
                *out++ = static_cast<uint8_t>(valeur);
                continue;
            }
        }
        if (e & kSpecial) [[unlikely]] {
            if (epuise() || !(e & kFinBloc))
                break; // past the input, or symbol 286 or 287
            sauve();
            return Issue::Continue;
        }
        const size_t longueur = valeur;
        remplit();
        e = decode(dist, kBitsDistance, valeur);
        if ((e & kSpecial) || epuise()) [[unlikely]]
            break; // unused slot of an incomplete distance code
        const size_t distance = valeur;
        if (distance > size_t(out - debut)) [[unlikely]]
            break;
        if (const Issue r = copie(longueur, distance); r != Issue::Continue) [[unlikely]]
            return r;
    }
    sauve();
    return Issue::Echec;
}

// The careful loop too is all variable shifts and masks: where the processor
// has BMI2 (shrx, shlx, bzhi: one micro-operation each, any register), a copy
// of it is built for those instructions.
#if RAMAGLIN_BMI2
__attribute__((target("bmi2"))) Issue Decodeur::BlocHuffmanBmi2(const TablesHuffman& tables) {
    return BoucleHuffman<1>(tables);
}
#endif

Issue Decodeur::BlocHuffman(const TablesHuffman& tables) {
#if RAMAGLIN_BMI2
    if (JeuxUtilises().bmi2)
        return BlocHuffmanBmi2(tables);
#endif
    return BoucleHuffman<0>(tables);
}

} // namespace

// A large buffer is written once from end to end: large pages spare the kernel
// one fault per 4 KiB (a fifth of the time on big entries, far more in a
// virtual machine where each fault is costly).
void ConseillePagesLarges(void* octets, size_t n) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kPage = uintptr_t(2) << 20;
    if (n < 2 * kPage)
        return;
    const uintptr_t debut = (reinterpret_cast<uintptr_t>(octets) + kPage - 1) & ~(kPage - 1);
    const uintptr_t fin = (reinterpret_cast<uintptr_t>(octets) + n) & ~(kPage - 1);
    if (fin > debut)
        madvise(reinterpret_cast<void*>(debut), fin - debut, MADV_HUGEPAGE);
#else
    (void)octets;
    (void)n;
#endif
}

namespace {

// The block loop, for a whole entry or a stream: InflateOk, InflateErreur or
// InflateLongueurStockee, and `arbre` set when a table could not be built
// (the message is shown here).
short DecodeBlocs(Decodeur& d, bool& arbre) {
    short resultat = InflateOk;
    arbre = false;
    bool dernier = false;
    while (!dernier) {
        d.Remplit();
        dernier = d.dernier = d.Bits(1) != 0;
        const unsigned type = d.Bits(2);
        if (d.Epuise())
            return InflateErreur;
        Issue issue = Issue::Continue;
        if (type == 0) {
            issue = d.BlocStocke();
            if (issue == Issue::LongueurFausse) {
                resultat = InflateLongueurStockee;
                issue = Issue::Continue;
            }
        } else if (type == 1) {
            const TablesFixes& f = Fixes();
            issue = d.BlocHuffman(d.etendu ? f.etendu : f.normal);
        } else if (type == 2) {
            issue = d.LitArbresDynamiques();
            if (issue == Issue::Continue)
                issue = d.BlocHuffman(d.dyn);
        } else {
            issue = Issue::Echec;
        }
        if (issue == Issue::ArbreInvalide) {
            MsgBox(QStringLiteral("Error in tree creation (Static)"));
            arbre = true;
            return resultat;
        }
        if (issue == Issue::Echec)
            return InflateErreur;
    }
    return resultat;
}

size_t Limite(qint64 lastIndex) { return lastIndex >= 0 ? static_cast<size_t>(lastIndex) + 1 : 0; }

// A decoder for one whole entry in memory. Not value-initialised: its tables
// (44 KiB) are built before they are read, and zeroing them cost more than
// decoding a small entry.
std::unique_ptr<Decodeur> DecodeurEnMemoire(const uint8_t* entree, size_t n, size_t limite, bool enhanced) {
    std::unique_ptr<Decodeur> d(new Decodeur);
    d->entree = entree;
    d->finEntree = entree + n;
    d->etendu = enhanced;
    d->limite = limite;
    return d;
}

} // namespace

BilanInflate InflateVers(const uint8_t* entree, size_t n, uint8_t* sortie, size_t taille, bool enhanced) {
    std::unique_ptr<Decodeur> dec = DecodeurEnMemoire(entree, n, taille, enhanced);
    Decodeur& d = *dec;
    d.debutSortie = taille ? sortie : nullptr;
    d.capacite = taille;
    BilanInflate bilan;
    bilan.resultat = DecodeBlocs(d, bilan.arbreInvalide);
    bilan.produit = d.produit;
    return bilan;
}

short Inflate(QByteArray& data, qint64 lastIndex, bool enhanced) {
    // The buffer is reserved at the expected size when the input could really
    // produce that much: a 258-byte match costs at least 2 bits (65538 bytes
    // for 18 bits in the 64 KiB variant), so nothing can come out beyond that
    // bound. Pages are only touched as bytes are written; growing from a
    // smaller guess cost about a quarter of the time on well-compressed text.
    // A header that declares more than that gets the bound: the data cannot
    // fill more.
    const size_t entree = size_t(data.size());
    const size_t parOctet = enhanced ? 29128 : 1032;
    const size_t plafond = entree > (SIZE_MAX >> 16) / parOctet ? SIZE_MAX : entree * parOctet + (size_t(1) << 16);
    const size_t taille = std::min(Limite(lastIndex), plafond);
    QByteArray sortie;
    if (taille) {
        sortie.resize(static_cast<qsizetype>(taille));
        ConseillePagesLarges(sortie.data(), taille);
    }
    const BilanInflate bilan = InflateVers(reinterpret_cast<const uint8_t*>(data.constData()), entree,
                                           reinterpret_cast<uint8_t*>(sortie.data()), taille, enhanced);
    if (bilan.arbreInvalide)
        return bilan.resultat; // `data` still holds the compressed bytes

    if (bilan.produit == 0)
        sortie = QByteArray();
    else
        sortie.resize(static_cast<qsizetype>(bilan.produit));
    if (taille > bilan.produit + bilan.produit / 4 + 4096)
        sortie.squeeze();
    data = std::move(sortie);
    return bilan.resultat;
}

struct InflateurFlux::Etat {
    Etat(size_t e, size_t f) : tailleEntree(e), tailleFenetre(f), entree(new uint8_t[e]), fenetre(new uint8_t[f]) {}
    Decodeur decodeur;
    size_t tailleEntree, tailleFenetre;
    std::unique_ptr<uint8_t[]> entree, fenetre;
};

InflateurFlux::InflateurFlux(size_t tailleEntree, size_t tailleVidage)
    : etat_(std::make_unique<Etat>(std::max(tailleEntree, kTailleMin),
                                   kHistorique + std::max(tailleVidage, kTailleMin))) {}
InflateurFlux::~InflateurFlux() = default;

BilanInflate InflateurFlux::Decode(SourceInflate& source, PuitsInflate& puits, qint64 lastIndex, bool enhanced) {
    Decodeur& d = etat_->decodeur;
    d.tampon = 0;
    d.nbBits = 0;
    d.surlecture = 0;
    d.source = &source;
    d.tamponEntree = etat_->entree.get();
    d.tailleTamponEntree = etat_->tailleEntree;
    d.entree = d.finEntree = d.tamponEntree;
    d.sourceFinie = false;
    d.puits = &puits;
    d.vide = 0;
    d.rendu = 0;
    d.etendu = enhanced;
    d.debutSortie = etat_->fenetre.get();
    d.produit = 0;
    d.limite = Limite(lastIndex);
    d.tailleFenetre = etat_->tailleFenetre;
    d.capacite = std::min(d.tailleFenetre, d.limite);

    BilanInflate bilan;
    bilan.resultat = DecodeBlocs(d, bilan.arbreInvalide);
    if (!bilan.arbreInvalide && d.produit > d.rendu)
        puits.Ecrit(d.debutSortie + d.rendu, d.produit - d.rendu);
    // What the sink received: a stored block hands its bytes over at once, so
    // a table refused later may follow bytes already handed.
    bilan.produit = d.vide + (bilan.arbreInvalide ? d.rendu : d.produit);
    d.source = nullptr;
    d.puits = nullptr;
    return bilan;
}
