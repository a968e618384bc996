// Fuzz target: the Deflate decoder on arbitrary streams, in both modes, whole
// and streamed. The first byte picks the mode (bit 0) and how many bytes the
// streaming decoder's source hands over at a time (the others), the next three
// the expected size (up to 16 MiB). Both decoders must agree on everything.
// Then the same bytes go the other way: compressed by zlib (the level and the
// strategy picked by the second and third bytes), they must come back exactly,
// whole and streamed: hostile streams rarely reach far into the fast loop,
// valid ones of every shape do.
#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "util/Fonctions_Messages.h"
#include "zip/Archives_Decomp.h"

#include <zlib.h>

namespace {
class Muet final : public GestionnaireMessages {
public:
    ReponseMessage Affiche(const QString&, IconeMessage, BoutonsMessage, const QString&) override {
        return ReponseMessage::Ok;
    }
    bool Demande(const QString&, const QString&, QString&) override { return false; }
};

struct Source final : SourceInflate {
    Source(const uint8_t* o, size_t n, size_t p) : octets(o), reste(n), pas(p) {}
    size_t Lit(uint8_t* d, size_t n) override {
        n = std::min({n, pas, reste});
        std::memcpy(d, octets, n);
        octets += n;
        reste -= n;
        return n;
    }
    const uint8_t* octets;
    size_t reste, pas;
};
struct Puits final : PuitsInflate {
    void Ecrit(const uint8_t* o, size_t n) override { octets.append(reinterpret_cast<const char*>(o), qsizetype(n)); }
    QByteArray octets;
};
// zlib's raw Deflate of `d` (level, strategy and window size from `a` and `b`).
QByteArray Compresse(const uint8_t* d, size_t n, uint8_t a, uint8_t b) {
    static const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    z_stream z{};
    if (deflateInit2(&z, a % 10, Z_DEFLATED, -(9 + (b / 5) % 7), 8, kStrategies[b % 5]) != Z_OK)
        return QByteArray();
    // deflateBound is loose but not always enough with small windows: room to spare.
    QByteArray sortie(qsizetype(deflateBound(&z, uLong(n)) + n / 8 + 64), '\0');
    z.next_in = const_cast<Bytef*>(d);
    z.avail_in = uInt(n);
    z.next_out = reinterpret_cast<Bytef*>(sortie.data());
    z.avail_out = uInt(sortie.size());
    const int r = deflate(&z, Z_FINISH);
    sortie.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return r == Z_STREAM_END ? sortie : QByteArray();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* octets, size_t n) {
    static Muet muet;
    static bool installe = (InstalleGestionnaireMessages(&muet), true);
    (void)installe;
    if (n < 4)
        return 0;
    const bool etendu = octets[0] & 1;
    const qint64 attendu = octets[1] | (octets[2] << 8) | (qint64(octets[3]) << 16);
    const QByteArray entree(reinterpret_cast<const char*>(octets + 4), static_cast<qsizetype>(n - 4));
    QByteArray donnees = entree;
    const short r = Inflate(donnees, attendu - 1, etendu);
    // Never more than the expected size (a table failure hands the input back).
    if (donnees.size() > attendu && donnees != entree)
        __builtin_trap();

    // The smallest buffers, kept from one input to the next as the archive
    // reader keeps them from one entry to the next.
    static InflateurFlux flux(0, 0);
    Source source(octets + 4, n - 4, size_t(octets[0] >> 1) * 997 + 1);
    Puits puits;
    const BilanInflate b = flux.Decode(source, puits, attendu - 1, etendu);
    if (b.resultat != r || b.produit != uint64_t(puits.octets.size()))
        __builtin_trap();
    if (b.arbreInvalide ? donnees != entree : puits.octets != donnees)
        __builtin_trap();

    // The round trip, at the exact size as an archive gives it.
    const QByteArray compresse = Compresse(octets, n, octets[1], octets[2]);
    if (compresse.isEmpty())
        __builtin_trap();
    QByteArray retour = compresse;
    if (Inflate(retour, qint64(n) - 1, false) != InflateOk ||
        std::memcmp(retour.constData(), octets, n) != 0 || size_t(retour.size()) != n)
        __builtin_trap();
    Source source2(reinterpret_cast<const uint8_t*>(compresse.constData()), size_t(compresse.size()),
                   size_t(octets[3]) * 997 + 1);
    Puits puits2;
    const BilanInflate b2 = flux.Decode(source2, puits2, qint64(n) - 1, false);
    if (b2.resultat != InflateOk || puits2.octets != retour)
        __builtin_trap();
    return 0;
}
