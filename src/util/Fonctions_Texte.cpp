// Decoding of the text files the program reads, and their line rule.
#include "util/Fonctions_Texte.h"

#include <QFile>
#include <QStringDecoder>

QChar CaractereWindows1252(unsigned char octet) {
    // 0x80..0x9F differ from Latin-1; everything else is the same code point.
    static const char16_t haut[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    if (octet >= 0x80 && octet <= 0x9F)
        return QChar(haut[octet - 0x80]);
    return QChar(char16_t(octet));
}

QString DecodeTexte(const QByteArray& octets) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString texte = utf8.decode(octets);
    if (!utf8.hasError()) {
        // The decoder keeps a BOM as U+FEFF unless told otherwise; drop it.
        if (texte.startsWith(QChar(0xFEFF)))
            texte.remove(0, 1);
        return texte;
    }
    texte.resize(octets.size());
    QChar* sortie = texte.data();
    for (qsizetype i = 0; i < octets.size(); ++i)
        sortie[i] = CaractereWindows1252(static_cast<unsigned char>(octets[i]));
    return texte;
}

QStringList DecoupeLignes(const QString& texte) {
    QStringList lignes;
    const qsizetype n = texte.size();
    qsizetype debut = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (texte[i] != QLatin1Char('\r'))
            continue;
        lignes.append(texte.mid(debut, i - debut));
        if (i + 1 < n && texte[i + 1] == QLatin1Char('\n'))
            ++i;
        debut = i + 1;
    }
    if (debut < n)
        lignes.append(texte.mid(debut));
    return lignes;
}

bool LitLignesFichier(const QString& chemin, QStringList& lignes) {
    lignes.clear();
    QFile fichier(chemin);
    if (!fichier.open(QIODevice::ReadOnly))
        return false;
    lignes = DecoupeLignes(DecodeTexte(fichier.readAll()));
    return true;
}
