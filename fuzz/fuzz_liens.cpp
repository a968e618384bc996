// Fuzz target: the link extractor on arbitrary page bytes. Bytes before a NUL
// in the first 100 are used as the base address. Besides crashes and hangs it
// checks that the three lists stay parallel, that kinds are "1" to "5", and
// that the one-pass segment removal agrees with cutting and looking again from
// the start.
#include "html/Fonctions_Chemin.h"
#include "html/Fonctions_Internet.h"
#include "search/DecodeEntites.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void SupprimeSegmentsNaif(QString& texte, const QString& debut, const QString& fin, bool casse) {
    for (;;) {
        const QString compare = casse ? texte.toUpper() : texte;
        const qsizetype d = compare.indexOf(casse ? debut.toUpper() : debut);
        if (d < 0)
            return;
        const qsizetype f = compare.indexOf(casse ? fin.toUpper() : fin, d + debut.size());
        if (f < 0)
            return;
        texte.remove(d, f + fin.size() - d);
    }
}

void Verifie(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* octets, size_t n) {
    QByteArray donnees(reinterpret_cast<const char*>(octets), static_cast<qsizetype>(n));
    QString base = QStringLiteral("http://serveur/a/b/");
    const qsizetype nul = donnees.left(100).indexOf('\0');
    if (nul >= 0) {
        base = QString::fromLatin1(donnees.left(nul));
        donnees.remove(0, nul + 1);
    }
    const QString page = TextePageHTML(donnees);

    ListeAuto adresses, types, textes;
    ExtraitLiensTexte(page, base, adresses, types, &textes);
    const qint32 liens = adresses.NbElementsListe();
    Verifie(types.NbElementsListe() == liens && textes.NbElementsListe() == liens);
    for (qint32 k = 0; k < liens; ++k) {
        const QString type = types.RenvoieElement(k);
        Verifie(type.size() == 1 && type[0] >= QLatin1Char('1') && type[0] <= QLatin1Char('5'));
        QString texte = textes.RenvoieElement(k);
        DecodeEntites(texte);
    }

    // Without the texts list, the same addresses and kinds.
    ListeAuto adresses2, types2;
    ExtraitLiensTexte(page, base, adresses2, types2, nullptr);
    Verifie(adresses2.Elements() == adresses.Elements() && types2.Elements() == types.Elements());

    if (page.size() <= 4096) {
        const QString delimiteurs[][2] = {
            {QStringLiteral("<!--"), QStringLiteral("-->")},
            {QStringLiteral("<Script Language=\"JAVASCRIPT\">"), QStringLiteral("</Script>")},
            {QStringLiteral("//"), QStringLiteral("\n")},
        };
        // Ignoring case, the naive version compares Qt's full upper case,
        // which may change lengths (and so positions): only plain texts then.
        const bool majusculesSimples = page.toUpper().size() == page.size();
        for (const auto& d : delimiteurs) {
            for (bool casse : {false, true}) {
                if (casse && !majusculesSimples)
                    continue;
                QString attendu = page, obtenu = page;
                SupprimeSegmentsNaif(attendu, d[0], d[1], casse);
                SupprimeSegments(obtenu, d[0], d[1], casse);
                Verifie(attendu == obtenu);
            }
        }
        QString decode = page;
        DecodeEntites(decode);
        ProfondeurChemin(page);
        CheminParent(page);
        QString programme, arguments;
        SepareLigneCommande(page, programme, arguments);
        ValeurAttribut(QStringLiteral("HREF"), page);
    }
    return 0;
}
