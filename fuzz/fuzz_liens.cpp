// Fuzz target: the link extractor on arbitrary page bytes. Bytes before a NUL
// in the first 100 are used as the base address. Besides crashes and hangs it
// checks that the three lists stay parallel, that kinds are "1" to "5", that a
// page held as text gives what its bytes give, and that the one-pass segment
// removal on bytes agrees with cutting the decoded text and looking again from
// the start.
#include "html/Fonctions_Chemin.h"
#include "html/Fonctions_Internet.h"
#include "search/DecodeEntites.h"

#include <QByteArray>
#include <QStringDecoder>

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
    ListeAuto adresses, types, textes;
    ExtraitLiensOctets(donnees, base, adresses, types, &textes);
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
    ExtraitLiensOctets(donnees, base, adresses2, types2, nullptr);
    Verifie(adresses2.Elements() == adresses.Elements() && types2.Elements() == types.Elements());

    // Valid UTF-8 without carriage returns or a byte order mark reads as its
    // own text: the text gives the same links.
    const bool utf8 = QByteArrayView(donnees).isValidUtf8();
    // Decoded keeping every U+FEFF, a leading one too: the text is then
    // exactly what the bytes hold.
    QStringDecoder decodeur(QStringConverter::Utf8,
                            QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const QString page = utf8 ? QString(decodeur.decode(donnees)) : QString::fromLatin1(donnees);
    if (utf8 && !donnees.contains('\r') && !donnees.startsWith("\xEF\xBB\xBF")) {
        ListeAuto adresses3, types3, textes3;
        ExtraitLiensTexte(page, base, adresses3, types3, &textes3);
        Verifie(adresses3.Elements() == adresses.Elements() && types3.Elements() == types.Elements() &&
                textes3.Elements() == textes.Elements());
    }

    if (utf8 && page.size() <= 4096) {
        const char* delimiteurs[][2] = {
            {"<!--", "-->"},
            {"<Script Language=\"JAVASCRIPT\">", "</Script>"},
            {"//", "\n"},
        };
        // Ignoring case, the naive version compares Qt's full upper case,
        // which may change lengths (and so positions): only plain texts then.
        const bool majusculesSimples = page.toUpper().size() == page.size();
        for (const auto& d : delimiteurs) {
            for (bool casse : {false, true}) {
                if (casse && !majusculesSimples)
                    continue;
                QString attendu = page;
                QByteArray obtenu = donnees;
                SupprimeSegmentsNaif(attendu, QString::fromLatin1(d[0]), QString::fromLatin1(d[1]), casse);
                SupprimeSegments(obtenu, d[0], d[1], casse);
                Verifie(attendu.toUtf8() == obtenu);
            }
        }
    }
    if (page.size() <= 4096) {
        QString decode = page;
        DecodeEntites(decode);
        ProfondeurChemin(page);
        CheminParent(page);
        QString programme, arguments;
        SepareLigneCommande(page, programme, arguments);
    }
    return 0;
}
