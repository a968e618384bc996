// Fuzz target: the Deflate decoder on arbitrary streams, in both modes, whole
// and streamed. The first byte picks the mode (bit 0) and how many bytes the
// streaming decoder's source hands over at a time (the others), the next three
// the expected size (up to 16 MiB). Both decoders must agree on everything.
#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "util/Fonctions_Messages.h"
#include "zip/Archives_Decomp.h"

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
    return 0;
}
