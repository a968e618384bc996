// Fuzz target: a list file with its marker and parameter block, read against
// the program's own options list. Inputs of an odd size come as from a list
// fetched in clear and unsigned: then no reserved variable may change. When
// the marker is there, the list left behind is exactly the lines after the
// block.
#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Soutien.h"
#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "search/LignesListe.h"
#include "search/TraitementListe.h"
#include "util/Fonctions_Texte.h"

#ifndef RAMAGLIN_SOURCE_DIR
#error "RAMAGLIN_SOURCE_DIR must name the source folder"
#endif

namespace {
[[noreturn]] void Echoue(const char* raison) {
    std::fprintf(stderr, "fuzz_bloc: %s\n", raison);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    Muet::Installe();
    static QTemporaryDir dossier;
    const QString options = QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat");
    ChargeListeOptions(options, 1, nullptr, true);
    const QByteArray octets(reinterpret_cast<const char*>(donnees), qsizetype(taille));
    const QString chemin = dossier.filePath(QStringLiteral("Liste.tmp"));
    if (!EcritOctets(chemin, octets))
        std::abort();
    const bool sure = taille % 2 == 0;
    for (const QString& nom : VariablesReserveesListeSure())
        AffecteVariable(nom, QStringLiteral("sentinelle"));

    QStringList attendues;
    LitLignesListe(chemin, attendues);
    const bool marque = !attendues.isEmpty() && attendues[0] == MarqueurListe;
    qsizetype i = 1;
    if (marque && i < attendues.size() && attendues[i] == DebutParametres) {
        while (++i < attendues.size() && attendues[i] != FinParametres) {
        }
        ++i;
    }
    attendues = marque ? attendues.mid(std::min(i, attendues.size())) : attendues;

    // The block is read into a search's own copy of the settings; the lines
    // left are those of the one LignesListe the search holds.
    TableVariables reglages = VariablesService();
    LignesListe lignes;
    lignes.DefinitOctets(octets);
    if (RecupereParametres(lignes, reglages, sure) != marque)
        Echoue("marker read differently");
    for (const QString& nom : VariablesReserveesListeSure()) {
        if (LitVariable(nom) != QLatin1String("sentinelle"))
            Echoue("the service's own settings changed");
        if (!sure && reglages.Lit(nom) != QLatin1String("sentinelle"))
            Echoue(qPrintable(QStringLiteral("reserved variable changed: ") + nom + QLatin1Char('=') +
                              reglages.Lit(nom)));
    }
    if (!marque)
        return 0;
    QStringList restees;
    for (qsizetype k = 0; k < lignes.Nombre(); ++k)
        restees << lignes.Ligne(k);
    if (restees != attendues)
        Echoue("list left is not the lines after the block");
    return 0;
}
