// Developer tool: lists the links the extractor finds in a saved page, made
// absolute against a base address, one per line as address TAB kind TAB text,
// in the extractor's order.
//   ramaglin-liens PAGE BASE
#include "html/Fonctions_Internet.h"

#include <QFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "utilisation : ramaglin-liens PAGE BASE\n");
        return 2;
    }
    const QString page = QString::fromLocal8Bit(argv[1]);
    const QString base = QString::fromLocal8Bit(argv[2]);
    ListeAuto adresses, types, textes;
    if (!ExtraitLiensHTML(page, base, adresses, types, &textes)) {
        std::fprintf(stderr, "ramaglin-liens : lecture impossible de %s\n", argv[1]);
        return 1;
    }
    QFile sortie;
    if (!sortie.open(stdout, QIODevice::WriteOnly))
        return 1;
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
