// Fuzz target: an options list, then a parameter file read against it. The
// input is the options list up to its first NUL byte, the parameter file
// after it. Whatever they hold, the table stays within its capacity, holds
// each name once, and every value the parameter file gave is the one read.
#include <QByteArray>
#include <QSet>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "Soutien.h"
#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    Muet::Installe();
    static QTemporaryDir dossier;
    const QByteArray octets(reinterpret_cast<const char*>(donnees), qsizetype(taille));
    const qsizetype nul = octets.indexOf('\0');
    const QString options = dossier.filePath(QStringLiteral("options.dat"));
    const QString parametres = dossier.filePath(QStringLiteral("service.txt"));
    if (!EcritOctets(options, nul < 0 ? octets : octets.left(nul)) ||
        !EcritOctets(parametres, nul < 0 ? QByteArray() : octets.mid(nul + 1)))
        std::abort();
    ChargeListeOptions(options, 1, nullptr, true);
    LitFichierParametres(parametres, 1);
    if (NombreVariables() < 0 || NombreVariables() > CapaciteVariables)
        std::abort();
    QSet<QString> noms;
    for (int i = 1; i <= NombreVariables(); ++i) {
        const QString& nom = VariableNumero(i).nom;
        if (noms.contains(nom))
            std::abort();
        noms.insert(nom);
    }
    return 0;
}
