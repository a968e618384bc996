// The Deflate decoder: streams from zlib, and hand-built streams for each rule
// of the format and each failure.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QByteArray>
#include <random>
#include <vector>

#include "support/EnregistreurMessages.h"
#include "support/Outils.h"
#include "zip/Archives_Decomp.h"

namespace {

// Writes a Deflate stream bit by bit (least significant bit first); Huffman codes
// go most significant bit first, as the format sends them.
class Bits {
public:
    Bits& Val(uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            Bit((v >> i) & 1);
        return *this;
    }
    Bits& Code(uint32_t code, int n) {
        for (int i = n - 1; i >= 0; --i)
            Bit((code >> i) & 1);
        return *this;
    }
    Bits& Octets(const QByteArray& b) { // after an alignment
        nb_ = 0;
        octets_.append(b);
        return *this;
    }
    void Aligne() { nb_ = 0; }
    QByteArray Flux() const { return octets_; }

private:
    void Bit(uint32_t b) {
        if (nb_ == 0)
            octets_.append('\0');
        if (b)
            octets_[octets_.size() - 1] = static_cast<char>(octets_.back() | (1 << nb_));
        nb_ = (nb_ + 1) & 7;
    }
    QByteArray octets_;
    int nb_ = 0;
};

// Fixed-code symbols.
void Fixe(Bits& b, int sym) {
    if (sym < 144)
        b.Code(0x30 + sym, 8);
    else if (sym < 256)
        b.Code(0x190 + sym - 144, 9);
    else if (sym < 280)
        b.Code(sym - 256, 7);
    else
        b.Code(0xC0 + sym - 280, 8);
}

// Canonical codes of a set of lengths.
std::vector<uint32_t> Codes(const std::vector<int>& l) {
    int compte[16] = {}, suivant[16] = {};
    for (int x : l)
        ++compte[x];
    compte[0] = 0;
    for (int n = 1, code = 0; n < 16; ++n) {
        code = (code + compte[n - 1]) << 1;
        suivant[n] = code;
    }
    std::vector<uint32_t> c(l.size());
    for (size_t s = 0; s < l.size(); ++s)
        if (l[s])
            c[s] = suivant[l[s]]++;
    return c;
}

// A dynamic block header whose code-length code gives 4 bits to symbols 0-12
// and 5 bits to 13-18; `precode` lists the code-length symbols (with their extra
// bits) to send, by default every length literally.
struct Dynamique {
    std::vector<int> lit, dist;
    std::vector<std::pair<int, int>> precode; // symbol, extra bits value
    std::vector<uint32_t> codesLit, codesDist;

    void Ecrit(Bits& b, bool final) {
        b.Val(final, 1).Val(2, 2).Val(static_cast<uint32_t>(lit.size() - 257), 5);
        b.Val(static_cast<uint32_t>(dist.size() - 1), 5).Val(15, 4);
        std::vector<int> lp(19);
        for (int s = 0; s < 19; ++s)
            lp[s] = s < 13 ? 4 : 5;
        const int ordre[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        for (int o : ordre)
            b.Val(lp[o], 3);
        const std::vector<uint32_t> cp = Codes(lp);
        if (precode.empty()) {
            for (int x : lit)
                precode.push_back({x, 0});
            for (int x : dist)
                precode.push_back({x, 0});
        }
        for (auto [s, extra] : precode) {
            b.Code(cp[s], lp[s]);
            if (s == 16)
                b.Val(extra, 2);
            if (s == 17)
                b.Val(extra, 3);
            if (s == 18)
                b.Val(extra, 7);
        }
        codesLit = Codes(lit);
        codesDist = Codes(dist);
    }
    void Lit(Bits& b, int s) const { b.Code(codesLit[s], lit[s]); }
    void Dist(Bits& b, int s) const { b.Code(codesDist[s], dist[s]); }
};

// Literal/length lengths of a complete code over `n` symbols (8 and 9 bits).
std::vector<int> LitComplet(int n) {
    const int a = 512 - n; // a codes of 8 bits and n - a of 9 bits fill the space
    std::vector<int> l(n);
    for (int s = 0; s < n; ++s)
        l[s] = s < a ? 8 : 9;
    return l;
}

struct Issue {
    short resultat;
    QByteArray donnees;
};

Issue Decode(const QByteArray& flux, qint64 taille, bool etendu = false) {
    QByteArray d = flux;
    const short r = Inflate(d, taille - 1, etendu);
    return {r, d};
}

} // namespace

TEST(Inflate, RawStreamsFromZlibAtThreeLevels) {
    const QByteArray source = LitFichier(CheminFixture("zip/source/texte.txt")) +
                              LitFichier(CheminFixture("zip/source/binaire.bin"));
    for (const char* nom : {"zip/zlib_l1.deflate", "zip/zlib_l6.deflate", "zip/zlib_l9.deflate"}) {
        SCOPED_TRACE(nom);
        const Issue i = Decode(LitFichier(CheminFixture(nom)), source.size());
        EXPECT_EQ(i.resultat, 0);
        EXPECT_TRUE(i.donnees == source);
    }
}

// Every zlib level and strategy over data that exercises literals, short and
// long distances, overlapping copies and stored blocks, at sizes around the
// decoder's buffer margins.
TEST(Inflate, MatchesZlibOnGeneratedData) {
    std::mt19937 alea(7);
    for (int essai = 0; essai < 60; ++essai) {
        const int taille = essai < 20 ? essai * 7 : int(alea() % 300000);
        QByteArray s(taille, '\0');
        const int genre = essai % 4;
        for (int k = 0; k < taille; ++k) {
            if (genre == 0)
                s[k] = char(alea());
            else if (genre == 1)
                s[k] = "abcab\n"[alea() % 6];
            else if (genre == 2)
                s[k] = k >= 5 && alea() % 8 ? s[k - 1 - int(alea() % 5)] : char(alea() % 4);
            else
                s[k] = k >= 40000 && alea() % 64 ? s[k - 33000] : char(alea());
        }
        const int niveau = essai % 10;
        const int strategie = (essai / 10) % 4; // default, filtered, Huffman only, RLE
        z_stream z{};
        deflateInit2(&z, niveau, Z_DEFLATED, -15, 9, strategie);
        QByteArray c(int(deflateBound(&z, taille)) + 64, '\0');
        z.next_in = reinterpret_cast<Bytef*>(s.data());
        z.avail_in = taille;
        z.next_out = reinterpret_cast<Bytef*>(c.data());
        z.avail_out = c.size();
        deflate(&z, Z_FINISH);
        c.resize(int(z.total_out));
        deflateEnd(&z);
        SCOPED_TRACE(testing::Message() << "essai " << essai << " taille " << taille);
        const Issue i = Decode(c, taille);
        EXPECT_EQ(i.resultat, 0);
        EXPECT_TRUE(i.donnees == s);
    }
}

TEST(Inflate, StoredBlocks) {
    Bits ok;
    ok.Val(1, 1).Val(0, 2);
    ok.Aligne();
    ok.Octets(QByteArray("\x05\x00\xfa\xff" "bonjo", 9));
    EXPECT_EQ(Decode(ok.Flux(), 5).donnees, "bonjo");
    EXPECT_EQ(Decode(ok.Flux(), 5).resultat, 0);

    Bits faux; // NLEN is not the complement: reported, the bytes are still taken
    faux.Val(1, 1).Val(0, 2);
    faux.Octets(QByteArray("\x03\x00\x00\x00" "abc", 7));
    const Issue f = Decode(faux.Flux(), 3);
    EXPECT_EQ(f.resultat, -2);
    EXPECT_EQ(f.donnees, "abc");

    Bits court; // a non-final block copied, then LEN past the input
    court.Val(0, 1).Val(0, 2);
    court.Octets(QByteArray("\x02\x00\xfd\xff" "xy", 6));
    court.Val(1, 1).Val(0, 2);
    court.Octets(QByteArray("\x0a\x00\xf5\xff" "12345", 9));
    const Issue c = Decode(court.Flux(), 12);
    EXPECT_EQ(c.resultat, -1);
    EXPECT_EQ(c.donnees, "xy");

    EXPECT_EQ(Decode(ok.Flux(), 3).resultat, -1) << "more than the expected size";
    EXPECT_EQ(Decode(ok.Flux(), 3).donnees, QByteArray());
}

TEST(Inflate, FixedBlocksAndTheEnhancedLength) {
    // "ab", then symbol 285 at distance 2.
    auto flux = [](bool etendu, uint32_t valeur) {
        Bits b;
        b.Val(1, 1).Val(1, 2);
        Fixe(b, 'a');
        Fixe(b, 'b');
        Fixe(b, 285);
        if (etendu)
            b.Val(valeur, 16);
        b.Code(1, 5); // distance code 1: distance 2
        Fixe(b, 256);
        return b.Flux();
    };
    auto motif = [](int n) {
        QByteArray r;
        while (r.size() < n)
            r += "ab";
        return r.left(n);
    };
    for (int fois = 0; fois < 2; ++fois) { // the second call reuses the fixed tables
        const Issue normal = Decode(flux(false, 0), 1000);
        EXPECT_EQ(normal.resultat, 0);
        EXPECT_EQ(normal.donnees, motif(260));
    }
    const Issue etendu = Decode(flux(true, 1000), 2000, true);
    EXPECT_EQ(etendu.resultat, 0);
    EXPECT_EQ(etendu.donnees, motif(1005)) << "3 + 1000 copied bytes";
    EXPECT_EQ(Decode(flux(true, 65535), 70000, true).donnees, motif(65540));

    // Symbol 284 with extra bits 31 is 258 in both modes.
    for (bool mode : {false, true}) {
        Bits b;
        b.Val(1, 1).Val(1, 2);
        Fixe(b, 'z');
        Fixe(b, 284);
        b.Val(31, 5).Code(0, 5);
        Fixe(b, 256);
        EXPECT_EQ(Decode(b.Flux(), 500, mode).donnees, QByteArray(259, 'z'));
    }
}

TEST(Inflate, FarDistanceCodesInBothModes) {
    QByteArray debut(50000, '\0');
    for (int k = 0; k < debut.size(); ++k)
        debut[k] = char((k * 7919) >> 5);
    Bits b;
    b.Val(0, 1).Val(0, 2);
    b.Octets(QByteArray("\x50\xc3\xaf\x3c", 4) + debut);
    b.Val(1, 1).Val(1, 2);
    Fixe(b, 257);
    b.Code(30, 5).Val(0, 14); // distance 32769
    Fixe(b, 257);
    b.Code(31, 5).Val(5, 14); // distance 49158
    Fixe(b, 256);
    QByteArray attendu = debut;
    for (int d : {32769, 49158})
        for (int k = 0; k < 3; ++k)
            attendu.append(attendu[attendu.size() - d]);
    for (bool mode : {false, true}) {
        const Issue i = Decode(b.Flux(), attendu.size(), mode);
        EXPECT_EQ(i.resultat, 0);
        EXPECT_TRUE(i.donnees == attendu);
    }
}

TEST(Inflate, DynamicBlocks) {
    // A single one-bit distance code is accepted, as is having none.
    for (int longueurDist : {1, 0}) {
        SCOPED_TRACE(longueurDist);
        Dynamique d{LitComplet(286), {longueurDist}, {}, {}, {}};
        Bits b;
        d.Ecrit(b, true);
        d.Lit(b, 'x');
        if (longueurDist) {
            d.Lit(b, 257);
            d.Dist(b, 0);
        }
        d.Lit(b, 256);
        const Issue i = Decode(b.Flux(), 10);
        EXPECT_EQ(i.resultat, 0);
        EXPECT_EQ(i.donnees, longueurDist ? "xxxx" : "x");
    }
    // Enhanced mode through a dynamic table.
    Dynamique d{LitComplet(286), std::vector<int>(32, 5), {}, {}, {}};
    Bits b;
    d.Ecrit(b, true);
    d.Lit(b, 'q');
    d.Lit(b, 285);
    b.Val(1000, 16);
    d.Dist(b, 0);
    d.Lit(b, 256);
    EXPECT_EQ(Decode(b.Flux(), 5000, true).donnees, QByteArray(1004, 'q'));
}

// Each way a table can be refused: the message, and the entry handed back as it
// came.
TEST(Inflate, TableFailuresLeaveTheDataUntouched) {
    struct Cas {
        const char* nom;
        Dynamique d;
    };
    std::vector<int> surcharge = LitComplet(286);
    surcharge[0] = 1;
    surcharge[1] = 1;
    std::vector<int> incomplet = LitComplet(286);
    incomplet[285] = 0;
    std::vector<Cas> cas = {
        {"distance code of two bits alone", {LitComplet(286), {2}, {}, {}, {}}},
        {"incomplete distance code", {LitComplet(286), {1, 2}, {}, {}, {}}},
        {"over-subscribed literal code", {surcharge, {1}, {}, {}, {}}},
        {"incomplete literal code", {incomplet, {1}, {}, {}, {}}},
        {"repeat with nothing before", {LitComplet(286), {1}, {{16, 0}}, {}, {}}},
        {"zeros past the lengths", {LitComplet(286), {1}, {{18, 127}, {18, 127}, {18, 127}}, {}, {}}},
    };
    for (Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        EnregistreurMessages rec;
        Bits b;
        c.d.Ecrit(b, true);
        b.Val(0, 16);
        const Issue i = Decode(b.Flux(), 100);
        EXPECT_EQ(rec.Textes(), QStringList{"Error in tree creation (Static)"});
        EXPECT_EQ(i.resultat, 0);
        EXPECT_EQ(i.donnees, b.Flux());
    }
}

TEST(Inflate, StreamFailuresKeepWhatWasProduced) {
    struct Cas {
        const char* nom;
        QByteArray flux;
        qint64 taille;
        QByteArray attendu;
    };
    auto fixe = [](std::initializer_list<int> syms, std::initializer_list<int> dist = {}) {
        Bits b;
        b.Val(1, 1).Val(1, 2);
        auto d = dist.begin();
        for (int s : syms) {
            Fixe(b, s);
            if (s > 256 && d != dist.end())
                b.Code(*d++, 5);
        }
        return b.Flux();
    };
    Bits type3;
    type3.Val(1, 1).Val(3, 2);
    Dynamique d287{LitComplet(287), {1}, {}, {}, {}};
    Bits sym286;
    d287.Ecrit(sym286, true);
    d287.Lit(sym286, 'k');
    d287.Lit(sym286, 286);
    const QByteArray complet = fixe({'a', 'b', 'c', 256});
    std::vector<Cas> cas = {
        {"block type 3", type3.Flux(), 10, ""},
        {"distance before the start", fixe({'a', 258}, {1}), 10, "a"},
        {"past the expected size", fixe({'a', 'b', 'c', 'd', 256}), 2, "ab"},
        {"match past the expected size", fixe({'a', 260, 256}, {0}), 4, "aaaa"},
        {"input ends inside the block", complet.left(2), 10, "a"},
        {"literal symbol 286", sym286.Flux(), 10, "k"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        const Issue i = Decode(c.flux, c.taille);
        EXPECT_EQ(i.resultat, -1);
        EXPECT_EQ(i.donnees, c.attendu);
    }
    EXPECT_EQ(Decode(complet, 0).donnees, QByteArray()) << "an empty entry";
    const Issue court = Decode(complet, 1000);
    EXPECT_EQ(court.resultat, 0) << "fewer bytes than expected is not a decoding failure";
    EXPECT_EQ(court.donnees, "abc");
}

// A header may promise 4 GiB; a short stream gets a buffer of its own size.
TEST(Inflate, HugeDeclaredSizeDoesNotReserveIt) {
    Bits b;
    b.Val(1, 1).Val(1, 2);
    Fixe(b, 'a');
    Fixe(b, 256);
    QByteArray d = b.Flux();
    EXPECT_EQ(Inflate(d, 0xFFFFFFFEll, false), 0);
    EXPECT_EQ(d, "a");
    EXPECT_LT(d.capacity(), 1 << 20);
}
