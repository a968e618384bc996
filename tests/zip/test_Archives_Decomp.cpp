// The Deflate decoder on hand-built and zlib streams, then the CRC-32.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "support/EnregistreurMessages.h"
#include "support/Outils.h"
#include "zip/Archives_Decomp.h"
#include "zip/Cls_CRC32Init.h"
#include "zip/DeflateZlib.h"
#include "zip/Processeur.h"

namespace {

// Canonical codes of a set of lengths.
std::vector<uint32_t> Codes(const std::vector<int>& l) {
    int compte[16] = {}, suivant[16] = {};
    for (int x : l)
        ++compte[x];
    compte[0] = 0;
    for (int n = 1, code = 0; n < 16; ++n)
        suivant[n] = code = (code + compte[n - 1]) << 1;
    std::vector<uint32_t> c(l.size());
    for (size_t s = 0; s < l.size(); ++s)
        c[s] = l[s] ? suivant[l[s]]++ : 0;
    return c;
}

// Literal/length lengths of a complete code over `n` symbols (8 and 9 bits).
std::vector<int> LitComplet(int n) {
    std::vector<int> l(n, 9);
    std::fill(l.begin(), l.begin() + (512 - n), 8);
    return l;
}

// Writes a Deflate stream: values LSB first, Huffman codes MSB first; L and D use the last header's codes.
struct Bits {
    QByteArray o;
    int nb = 0;
    std::vector<int> ll, dl;
    std::vector<uint32_t> lc, dc;
    Bits& Val(uint32_t v, int n, bool code = false) {
        for (int i = 0; i < n; ++i, nb = (nb + 1) & 7) {
            if (nb == 0)
                o.append('\0');
            if (v >> (code ? n - 1 - i : i) & 1)
                o[o.size() - 1] = char(o.back() | 1 << nb);
        }
        return *this;
    }
    Bits& Stocke(bool final, const char* lenNlen, const QByteArray& octets) {
        Val(final, 1).Val(0, 2).nb = 0;
        o += QByteArray(lenNlen, 4) + octets;
        return *this;
    }
    Bits& L(int s) { return Val(lc[s], ll[s], true); }
    Bits& D(int s) { return Val(dc[s], dl[s], true); }
    Bits& Codes(std::vector<int> lit, std::vector<int> dist) {
        ll = std::move(lit), dl = std::move(dist), lc = ::Codes(ll), dc = ::Codes(dl);
        return *this;
    }
    Bits& Fixe() { // a final block of the fixed codes
        std::vector<int> l(288, 8);
        std::fill(l.begin() + 144, l.begin() + 256, 9);
        std::fill(l.begin() + 256, l.begin() + 280, 7);
        return Val(1, 1).Val(1, 2).Codes(l, std::vector<int>(32, 5));
    }
    // A final dynamic block, lengths sent through a code-length code of 4 bits (0-12) and 5 (13-18).
    Bits& Dyn(std::vector<int> lit, std::vector<int> dist) {
        Val(1, 1).Val(2, 2).Val(uint32_t(lit.size() - 257), 5).Val(uint32_t(dist.size() - 1), 5).Val(15, 4);
        std::vector<int> lp(19, 4);
        std::fill(lp.begin() + 13, lp.end(), 5);
        for (int o : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15})
            Val(lp[o], 3);
        const std::vector<uint32_t> cp = ::Codes(lp);
        for (const auto* l : {&lit, &dist})
            for (int x : *l)
                Val(cp[x], lp[x], true);
        return Codes(lit, dist);
    }
};

// Distance codes 0, 1, 4, 6 and 10: base and extra bits.
constexpr int kBases[11] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33};
constexpr int kExtra[11] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4};

QByteArray Motif(const QByteArray& m, int n) { return m.repeated(n / m.size() + 1).left(n); }

// A stream handed over `pas` bytes at a time, and a sink that keeps all.
struct SourceMemoire final : SourceInflate {
    SourceMemoire(const QByteArray& o, size_t p) : octets(o), pas(p) {}
    size_t Lit(uint8_t* d, size_t n) override {
        n = std::min({n, pas, size_t(octets.size()) - lu});
        std::memcpy(d, octets.constData() + lu, n);
        lu += n;
        return n;
    }
    const QByteArray& octets;
    size_t pas, lu = 0;
};
struct PuitsMemoire final : PuitsInflate {
    void Ecrit(const uint8_t* o, size_t n) override { octets.append(reinterpret_cast<const char*>(o), qsizetype(n)); }
    QByteArray octets;
};

} // namespace

// Every stream through the three decoders (whole, into the caller's buffer, streamed a few
// bytes at a time), with and without BMI2: same result and bytes, no reservation of the
// declared size, a refused table leaving the entry as it came.
TEST(Inflate, HandBuiltStreamsAndTheirResults) {
    struct Cas {
        const char* nom;
        QByteArray flux;
        qint64 taille;
        short resultat;
        QByteArray attendu;
        bool arbreRefuse = false;
        int modes = 3; // 1: normal, 2: enhanced, 3: both
    };
    const QByteArray source = LitFichier(CheminFixture("zip/source/texte.txt")) +
                              LitFichier(CheminFixture("zip/source/binaire.bin"));
    auto Fixe = [] { return Bits().Fixe(); };
    const QByteArray bonjo = Bits().Stocke(true, "\x05\x00\xfa\xff", "bonjo").o;
    const QByteArray abc = Fixe().L('a').L('b').L('c').L(256).o;
    QByteArray debut(50000, '\0'); // stored, then copied from distance codes 30 and 31
    for (int k = 0; k < debut.size(); ++k)
        debut[k] = char((k * 7919) >> 5);
    const QByteArray lointain = debut + debut.mid(50000 - 32769, 3) + debut.mid(50003 - 49158, 3);
    const std::vector<int> l286 = LitComplet(286);
    std::vector<int> surcharge = l286;
    surcharge[0] = surcharge[1] = 1;
    std::vector<Cas> cas = {
        {"stored block", bonjo, 5, 0, "bonjo"},
        {"stored block past the expected size", bonjo, 3, -1, ""},
        {"NLEN not the complement: reported, bytes still taken",
         Bits().Stocke(true, "\x03\0\0\0", "abc").o, 3, -2, "abc"},
        {"stored block copied, then LEN past the input",
         Bits().Stocke(false, "\x02\0\xfd\xff", "xy").Stocke(true, "\x0a\0\xf5\xff", "12345").o, 12, -1, "xy"},
        {"285 is 258 without extra bits", Fixe().L('a').L('b').L(285).D(1).L(256).o, 1000, 0, Motif("ab", 260),
         false, 1},
        {"enhanced 285 + 1000", Fixe().L('a').L('b').L(285).Val(1000, 16).D(1).L(256).o, 2000, 0,
         Motif("ab", 1005), false, 2},
        {"284 + 31 is 258 in both modes", Fixe().L('z').L(284).Val(31, 5).D(0).L(256).o, 500, 0, QByteArray(259, 'z')},
        {"distance codes 30 and 31",
         Bits().Stocke(false, "\x50\xc3\xaf\x3c", debut).Fixe().L(257).D(30).Val(0, 14).L(257).D(31)
             .Val(5, 14).L(256).o,
         lointain.size(), 0, lointain},
        {"single one-bit distance code accepted", Bits().Dyn(l286, {1}).L('z').L(257).D(0).L(256).o,
         10, 0, "zzzz"},
        {"no distance code accepted", Bits().Dyn(l286, {0}).L('z').L(256).o, 10, 0, "z"},
        {"block type 3", Bits().Val(1, 1).Val(3, 2).o, 10, -1, ""},
        {"distance before the start", Fixe().L('a').L(258).D(1).L(256).o, 10, -1, "a"},
        {"past the expected size", Fixe().L('a').L('b').L('c').L('d').L(256).o, 2, -1, "ab"},
        {"match past the expected size", Fixe().L('a').L(260).D(0).L(256).o, 4, -1, "aaaa"},
        {"input ends inside the block", abc.left(2), 10, -1, "a"},
        {"literal symbol 286", Bits().Dyn(LitComplet(287), {1}).L('z').L(286).o, 10, -1, "z"},
        {"empty entry", abc, 0, -1, ""},
        {"4 GiB declared", abc, 0xFFFFFFFFll, 0, "abc"},
        {"incomplete distance code", Bits().Dyn(l286, {1, 2}).Val(0, 16).o, 100, 0, {}, true},
        {"over-subscribed literal code", Bits().Dyn(surcharge, {1}).Val(0, 16).o, 100, 0, {}, true},
        {"stored block, then a refused table",
         Bits().Stocke(false, "\x05\x00\xfa\xff", "bonjo").Dyn(surcharge, {1}).Val(0, 16).o, 100, 0, {}, true},
    };
    // A stored block right after a Huffman block ending at the streaming decoder's first refill.
    Bits avant = Fixe();
    avant.o[0] = char(avant.o[0] & ~1); // not the final block
    const int nbAvant = int(InflateurFlux::kTailleMin) - 48;
    for (int k = 0; k < nbAvant; ++k)
        avant.L('a');
    const QByteArray apres = Motif("xyz", 200); // the input goes on past that buffer
    for (int k = 0; k < 48; ++k, avant.L('a'))
        cas.push_back({"stored after a refill", Bits(avant).L(256).Stocke(true, "\xc8\0\x37\xff", apres).o,
                       nbAvant + k + 200, 0, QByteArray(nbAvant + k, 'a') + apres});
    // A far match of the 64 KiB variant after the window moved: 3 bytes from 54,153 back.
    QByteArray loin(150000, '\0');
    for (int k = 0; k < loin.size(); ++k)
        loin[k] = char((k * 2654435761u) >> 13);
    cas.push_back({"far match after the window moved",
                   Bits().Stocke(false, "\xff\xff\0\0", loin.left(65535))
                       .Stocke(false, "\xff\xff\0\0", loin.mid(65535, 65535))
                       .Stocke(false, "\xf2\x49\x0d\xb6", loin.mid(131070))
                       .Fixe().L(257).D(31).Val(5000, 14).L(256).o,
                   150003, 0, loin + loin.mid(150000 - 54153, 3)});
    // Long matches of the 64 KiB variant in the fast loop, at each copy path's distances, after
    // the most bits a turn takes (11-bit literals, 15-bit 285 and its 16 extra bits).
    std::vector<int> l11(286, 0), d8(32, 4);
    for (int s = 0; s < 286; ++s)
        l11[s] = s < 256 || (s >= 259 && s <= 261) ? 8 : s >= 270 ? 15 : 0;
    for (int s : std::initializer_list<int>{'a', 'b', 'c', 'd', 256, 257, 258})
        l11[s] = 11;
    std::fill(d8.begin(), d8.begin() + 16, 8);
    d8[31] = 0;
    Bits longs = Bits().Dyn(l11, d8);
    QByteArray attenduLongs;
    const int plus[6] = {0, 255, 256, 300, 1000, 5000}, codes[5] = {0, 1, 4, 6, 10}, distances[5] = {1, 2, 6, 12, 48};
    for (int k = 0; k < 40; ++k) {
        const int v = plus[k % 6], code = codes[k % 5], distance = distances[k % 5];
        longs.L('a').L('b').L(285).Val(uint32_t(v), 16).D(code).Val(uint32_t(distance - kBases[code]), kExtra[code]);
        attenduLongs += "ab";
        for (int n = 0; n < 3 + v; ++n)
            attenduLongs += attenduLongs[attenduLongs.size() - distance];
    }
    cas.push_back({"long matches of the enhanced variant in the fast loop", longs.L(256).o, attenduLongs.size(), 0,
                   attenduLongs, false, 2});
    // zlib writes symbol 285, which the enhanced variant reads differently.
    for (const char* nom : {"zlib_l1", "zlib_l6", "zlib_l9"})
        cas.push_back({nom, LitFichier(CheminFixture(QString("zip/%1.deflate").arg(nom))), source.size(), 0, source,
                       false, 1});
    // Every zlib level and strategy over varied data, at sizes around the buffers' margins.
    std::mt19937 alea(7);
    for (int essai = 0; essai < 64; ++essai) {
        // The last four cross the streaming decoder's buffers many times over.
        const int taille = essai < 20 ? essai * 7 : essai < 60 ? int(alea() % 300000) : 1200000 + essai;
        QByteArray s(taille, '\0');
        for (int k = 0; k < taille; ++k) {
            s[k] = essai % 4 == 0 ? char(alea())
                 : essai % 4 == 1 ? "abcab\n"[alea() % 6]
                 : essai % 4 == 2 ? (k >= 5 && alea() % 8 ? s[k - 1 - int(alea() % 5)] : char(alea() % 4))
                              : (k >= 40000 && alea() % 64 ? s[k - 33000] : char(alea()));
        }
        cas.push_back({"zlib generated", Deflate(s, 1, essai % 10, (essai / 10) % 4), taille, 0, s, false, 1});
    }
    InflateurFlux flux(0, 0); // one for all: its state must not outlive an entry
    size_t pas = 1;
    // With the BMI2 copy of the Huffman loop where the processor has it, and with the plain one.
    for (bool bmi2 : {true, false}) {
        LimiteJeuxInstructions({bmi2, true, true});
        for (const Cas& c : cas)
            for (bool etendu : {false, true}) {
                if (!(c.modes & (etendu ? 2 : 1)))
                    continue;
                SCOPED_TRACE(testing::Message() << c.nom << (etendu ? " (enhanced), " : ", ") << c.taille
                                                << (bmi2 ? "" : ", without BMI2"));
                EnregistreurMessages rec;
                QByteArray d = c.flux;
                EXPECT_EQ(Inflate(d, c.taille - 1, etendu), c.resultat);
                EXPECT_TRUE(d == (c.arbreRefuse ? c.flux : c.attendu)) << d.left(40).toHex().data();
                EXPECT_LT(d.capacity(), std::max<qsizetype>(2 * d.size(), 1 << 20));

                // Into a buffer of exactly the expected size: the sanitizer sees any overrun.
                if (c.taille < (qint64(1) << 24)) {
                    const size_t taille = size_t(std::max<qint64>(c.taille, 0));
                    std::unique_ptr<uint8_t[]> tampon(new uint8_t[std::max<size_t>(taille, 1)]);
                    const BilanInflate v = InflateVers(reinterpret_cast<const uint8_t*>(c.flux.constData()),
                                                       size_t(c.flux.size()), tampon.get(), taille, etendu);
                    EXPECT_EQ(std::pair(v.resultat, v.arbreInvalide), std::pair(c.resultat, c.arbreRefuse));
                    EXPECT_TRUE(c.arbreRefuse ||
                                QByteArray(reinterpret_cast<const char*>(tampon.get()), qsizetype(v.produit)) == c.attendu);
                }

                pas = pas * 7 % 5003;
                SourceMemoire source(c.flux, pas);
                PuitsMemoire puits;
                const BilanInflate b = flux.Decode(source, puits, c.taille - 1, etendu);
                EXPECT_EQ(std::pair(b.resultat, b.arbreInvalide), std::pair(c.resultat, c.arbreRefuse));
                EXPECT_EQ(b.produit, uint64_t(puits.octets.size()));
                EXPECT_TRUE(c.arbreRefuse || puits.octets == c.attendu) << "streamed, by " << pas;
                EXPECT_EQ(rec.Textes(), c.arbreRefuse ? QStringList(c.taille < (qint64(1) << 24) ? 3 : 2, "Error in tree creation (Static)") : QStringList());
            }
    }
    LimiteJeuxInstructions(JeuxDuProcesseur());
}

// CRC-32: known values three ways in, then the fast sum against zlib over lengths,
// alignments and pieces, by each path the processor may allow.
TEST(CRC32, KnownValuesAndAgreementWithZlib) {
    const std::pair<QByteArray, uint32_t> cas[] = {
        {"", 0}, {"abc", 0x352441C2u}, {"123456789", 0xCBF43926u}, {QByteArray(32, '\0'), 0x190A55ADu}};
    Cls_CRC32Init c;
    for (const auto& [octets, crc] : cas) {
        SCOPED_TRACE(octets.toHex().constData());
        EXPECT_EQ(c.CalcCRC32File(octets), crc);
        EXPECT_EQ(CalculeCRC32(0, octets.constData(), size_t(octets.size())), crc);
        c.ResetCRC32();
        for (char o : octets)
            c.CalcCRC32Byte(uint8_t(o));
        EXPECT_EQ(c.CRC32(), crc);
    }
    std::mt19937 alea(3);
    QByteArray d(70000, '\0');
    for (char& o : d)
        o = char(alea());
    // Each way the processor may allow: 512-bit and 128-bit folding, tables only.
    for (const JeuxInstructions& jeux :
         {JeuxDuProcesseur(), JeuxInstructions{true, true, false}, JeuxInstructions{}}) {
        LimiteJeuxInstructions(jeux);
        SCOPED_TRACE(testing::Message() << "clmul " << JeuxUtilises().clmul << " vpclmul " << JeuxUtilises().vpclmul);
        for (int longueur : {1, 7, 15, 16, 63, 64, 65, 127, 128, 255, 256, 257, 320, 511, 575, 1000, 4096, 65599, 69990})
            for (int decalage : {0, 1, 3, 8}) {
                SCOPED_TRACE(testing::Message() << longueur << "+" << decalage);
                const auto* p = reinterpret_cast<const Bytef*>(d.constData() + decalage);
                const uint32_t attendu = uint32_t(crc32(0, p, uInt(longueur)));
                const size_t tiers = size_t(longueur) / 3;
                EXPECT_EQ(CalculeCRC32(0, p, size_t(longueur)), attendu);
                EXPECT_EQ(CalculeCRC32(CalculeCRC32(0, p, tiers), p + tiers, size_t(longueur) - tiers), attendu);
            }
    }
    LimiteJeuxInstructions(JeuxDuProcesseur());
}
