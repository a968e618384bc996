// Developer tool: lists the links the extractor finds in a saved page, made
// absolute against a base address, one per line as address TAB kind TAB text,
// in the extractor's order. With --liste, the page goes through the search's
// link mode instead (held as a fetched list is, then turned into rows) and the
// rows it gives are printed, each as address TAB decoded text.
//   ramaglin-liens [--liste] PAGE BASE
#include "config/Fonctions_Variables.h"
#include "html/Fonctions_Internet.h"
#include "search/LignesListe.h"
#include "search/TraitementListe.h"

#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const bool liste = argc == 4 && std::strcmp(argv[1], "--liste") == 0;
    if (argc != 3 && !liste) {
        std::fprintf(stderr, "utilisation : ramaglin-liens [--liste] PAGE BASE\n");
        return 2;
    }
    const QString page = QString::fromLocal8Bit(argv[argc - 2]);
    const QString base = QString::fromLocal8Bit(argv[argc - 1]);
    QFile sortie;
    if (!sortie.open(stdout, QIODevice::WriteOnly))
        return 1;
    if (liste) {
        // As a search holds a fetched list: lone LF ends made CR LF, then the lines.
        QFile fichier(page);
        if (!fichier.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "ramaglin-liens : lecture impossible de %s\n", argv[argc - 2]);
            return 1;
        }
        LignesListe lignes;
        {
            QByteArray octets = fichier.readAll();
            LignesListe::AjouteCRManquants(octets);
            lignes.DefinitOctets(octets);
        }
        TableVariables reglages;
        reglages.Definit(QStringLiteral("ADRESSE_BASE_LIENS_INTERNET"), QStringLiteral("TXT"), base, 1);
        reglages.Definit(QStringLiteral("SUPPR_LIENS_DIFF_TXT"), QStringLiteral("TXT"), QString(), 1);
        ModeLiens(lignes, reglages);
        for (qsizetype i = 0; i < lignes.Nombre(); ++i) {
            sortie.write(lignes.Octets(i).toByteArray());
            sortie.write("\n");
        }
        return sortie.error() == QFileDevice::NoError ? 0 : 1;
    }
    ListeAuto adresses, types, textes;
    if (!ExtraitLiensHTML(page, base, adresses, types, &textes)) {
        std::fprintf(stderr, "ramaglin-liens : lecture impossible de %s\n", argv[argc - 2]);
        return 1;
    }
    QTextStream flux(&sortie);
    flux.setEncoding(QStringConverter::Utf8);
    const qint32 n = adresses.NbElementsListe();
    for (qint32 k = 0; k < n; ++k) {
        flux << adresses.RenvoieElement(k) << '\t' << types.RenvoieElement(k) << '\t'
             << textes.RenvoieElement(k) << '\n';
    }
    flux.flush();
    return flux.status() == QTextStream::Ok ? 0 : 1;
}
