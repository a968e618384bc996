// Fuzz target: the Deflate decoder on arbitrary streams, in both modes. The
// first byte picks the mode, the next three the expected size (up to 16 MiB).
#include <QByteArray>
#include <cstddef>
#include <cstdint>

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
    Inflate(donnees, attendu - 1, etendu);
    // Never more than the expected size (a table failure hands the input back).
    if (donnees.size() > attendu && donnees != entree)
        __builtin_trap();
    return 0;
}
