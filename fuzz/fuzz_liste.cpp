// The list copy held in memory against the plain reading of the same bytes:
// every line and every column must come out as the text reader gives them,
// whatever the bytes (invalid UTF-8, lone CRs and LFs, tabs, NULs), and a
// rewrite of the kept lines must read back as those lines.
#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "search/LignesListe.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Texte.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    const QByteArray octets(reinterpret_cast<const char*>(donnees), qsizetype(taille));
    LignesListe lignes;
    lignes.DefinitOctets(octets);
    const QStringList attendues = DecoupeLignes(DecodeTexte(octets));
    if (lignes.Nombre() != attendues.size())
        std::abort();
    std::vector<bool> retiree(size_t(lignes.Nombre()));
    for (qsizetype i = 0; i < lignes.Nombre(); ++i) {
        if (lignes.Ligne(i) != attendues[i])
            std::abort();
        for (int c = 0; c <= 4; ++c)
            if (lignes.Colonne(i, c) != ExtraitColonne(attendues[i], c, QStringLiteral("\t")))
                std::abort();
        retiree[size_t(i)] = (i + qsizetype(taille)) % 3 == 0;
    }
    QStringList gardees;
    for (qsizetype i = 0; i < attendues.size(); ++i)
        if (!retiree[size_t(i)])
            gardees << attendues[i];
    const std::vector<qint32> nouvelIndice = lignes.Retire(retiree);
    LignesListe relue;
    relue.DefinitOctets(lignes.Texte());
    // A kept line may hold a lone LF: written with CR LF after it, it reads
    // back the same, since only CR ends a line. (A first line that begins
    // with U+FEFF reads back as a byte order mark, as any text file would.)
    if (lignes.Nombre() != gardees.size())
        std::abort();
    const bool marqueEnTete = !gardees.isEmpty() && gardees[0].startsWith(QChar(0xFEFF));
    if (!marqueEnTete && relue.Nombre() != gardees.size())
        std::abort();
    for (qsizetype i = 0; i < gardees.size(); ++i)
        if (lignes.Ligne(i) != gardees[i] || (!marqueEnTete && relue.Ligne(i) != gardees[i]))
            std::abort();
    for (size_t i = 0; i < nouvelIndice.size(); ++i)
        if ((nouvelIndice[i] < 0) != bool(retiree[i]))
            std::abort();
    return 0;
}
