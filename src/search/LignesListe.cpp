// The list copy held in memory.
#include "search/LignesListe.h"

#include <QFile>
#include <algorithm>
#include <cstring>

#include "util/Fonctions_Texte.h"

namespace {

bool Utf8Valide(const QByteArray& octets) {
    // Validated in place: decoding a large file only to validate it would
    // make and drop its whole text in UTF-16.
    return QByteArrayView(octets).isValidUtf8();
}

} // namespace

bool LignesListe::Charge(const QString& chemin) {
    QFile fichier(chemin);
    if (!fichier.open(QIODevice::ReadOnly)) {
        DefinitOctets(QByteArray());
        return false;
    }
    DefinitOctets(fichier.readAll());
    return true;
}

void LignesListe::DefinitOctets(const QByteArray& octets) {
    if (Utf8Valide(octets)) {
        // The file's byte order mark goes, as the program's text reader drops it
        // (a second one right after it with it).
        qsizetype marques = 0;
        while (marques < 6 && octets.mid(marques, 3) == "\xEF\xBB\xBF")
            marques += 3;
        octets_ = marques ? octets.mid(marques) : octets;
    } else {
        // Old lists in Windows-1252: held in UTF-8 like the others.
        QString texte(octets.size(), Qt::Uninitialized);
        QChar* sortie = texte.data();
        for (qsizetype i = 0; i < octets.size(); ++i)
            sortie[i] = CaractereWindows1252(static_cast<unsigned char>(octets[i]));
        octets_ = texte.toUtf8();
    }
    Decoupe();
}

void LignesListe::Decoupe() {
    // New vectors rather than cleared ones: the offsets of a large list (or
    // page) are let go when the lines are replaced.
    debuts_ = {};
    longueurs_ = {};
    const char* d = octets_.constData();
    const qsizetype n = octets_.size();
    bool normal = true;
    qsizetype debut = 0;
    while (debut < n) {
        const void* cr = std::memchr(d + debut, '\r', size_t(n - debut));
        const qsizetype fin = cr ? static_cast<const char*>(cr) - d : n;
        debuts_.push_back(debut);
        longueurs_.push_back(qint32(fin - debut));
        debut = fin + 1;
        if (cr && debut < n && d[debut] == '\n')
            ++debut;
        else
            normal = false;
    }
    normal_ = normal;
}

QByteArrayView LignesListe::Octets(qsizetype i) const {
    return QByteArrayView(octets_.constData() + debuts_[size_t(i)], longueurs_[size_t(i)]);
}

QByteArrayView LignesListe::ColonneOctets(qsizetype i, int colonne) const {
    if (colonne < 1)
        return {};
    // memchr straight on the block: summing a column over a million selected
    // rows is mostly this search.
    const QByteArrayView ligne = Octets(i);
    const char* debut = ligne.data();
    const char* const fin = debut + ligne.size();
    for (int champ = 1; champ < colonne; ++champ) {
        const void* tab = std::memchr(debut, '\t', size_t(fin - debut));
        if (!tab)
            return {};
        debut = static_cast<const char*>(tab) + 1;
    }
    const void* tab = std::memchr(debut, '\t', size_t(fin - debut));
    return QByteArrayView(debut, (tab ? static_cast<const char*>(tab) : fin) - debut);
}

std::vector<qint32> LignesListe::Retire(const std::vector<bool>& retiree) {
    std::vector<qint32> nouvelIndice(debuts_.size(), -1);
    const auto ote = [&](size_t i) { return i < retiree.size() && retiree[i]; };
    if (normal_) {
        // Every line already has its CR LF: the kept ones move down in place,
        // without a second copy of the list in memory.
        char* d = octets_.data();
        qint64 ecrit = 0;
        size_t k = 0;
        for (size_t i = 0; i < debuts_.size(); ++i) {
            if (ote(i))
                continue;
            const qint64 de = debuts_[i];
            const qint64 n = qint64(longueurs_[i]) + 2;
            if (de != ecrit)
                std::memmove(d + ecrit, d + de, size_t(n));
            nouvelIndice[i] = qint32(k);
            debuts_[k] = ecrit;
            longueurs_[k] = longueurs_[i];
            ecrit += n;
            ++k;
        }
        debuts_.resize(k);
        longueurs_.resize(k);
        octets_.truncate(ecrit);
        if (ecrit < octets_.capacity() / 2)
            octets_.squeeze();
        return nouvelIndice;
    }
    QByteArray gardes;
    gardes.reserve(octets_.size());
    std::vector<qint64> debuts;
    std::vector<qint32> longueurs;
    debuts.reserve(debuts_.size());
    longueurs.reserve(debuts_.size());
    for (size_t i = 0; i < debuts_.size(); ++i) {
        if (ote(i))
            continue;
        nouvelIndice[i] = qint32(debuts.size());
        debuts.push_back(gardes.size());
        longueurs.push_back(longueurs_[i]);
        gardes.append(Octets(qsizetype(i)));
        gardes.append("\r\n");
    }
    octets_ = std::move(gardes);
    debuts_ = std::move(debuts);
    longueurs_ = std::move(longueurs);
    normal_ = true;
    return nouvelIndice;
}

QByteArray LignesListe::Texte(const std::vector<bool>* sauf) const {
    const auto exclue = [&](qsizetype i) { return sauf && size_t(i) < sauf->size() && (*sauf)[size_t(i)]; };
    if (normal_) {
        // Runs of kept lines are already written as the list copy holds
        // them: each run is copied in one piece, the whole block shared.
        if (!sauf || std::find(sauf->begin(), sauf->end(), true) == sauf->end())
            return octets_;
        QByteArray texte;
        texte.reserve(octets_.size());
        qsizetype i = 0;
        while (i < Nombre()) {
            if (exclue(i)) {
                ++i;
                continue;
            }
            qsizetype j = i + 1;
            while (j < Nombre() && !exclue(j))
                ++j;
            const qint64 debut = debuts_[size_t(i)];
            const qint64 fin = debuts_[size_t(j - 1)] + longueurs_[size_t(j - 1)] + 2;
            texte.append(octets_.constData() + debut, fin - debut);
            i = j;
        }
        return texte;
    }
    QByteArray texte;
    texte.reserve(octets_.size() + qsizetype(debuts_.size()));
    for (qsizetype i = 0; i < Nombre(); ++i) {
        if (exclue(i))
            continue;
        texte.append(Octets(i));
        texte.append("\r\n");
    }
    return texte;
}

void LignesListe::AjouteCRManquants(QByteArray& octets) {
    const char* d = octets.constData();
    const qsizetype n = octets.size();
    qsizetype seuls = 0;
    for (const char* p = d; (p = static_cast<const char*>(std::memchr(p, '\n', size_t(d + n - p)))); ++p)
        seuls += p == d || p[-1] != '\r';
    if (seuls == 0)
        return; // the usual case: nothing copied
    QByteArray repare(n + seuls, Qt::Uninitialized);
    char* w = repare.data();
    qsizetype debut = 0;
    while (debut < n) {
        const void* lf = std::memchr(d + debut, '\n', size_t(n - debut));
        const qsizetype fin = lf ? static_cast<const char*>(lf) - d : n;
        std::memcpy(w, d + debut, size_t(fin - debut));
        w += fin - debut;
        if (!lf)
            break;
        if (fin == 0 || d[fin - 1] != '\r')
            *w++ = '\r';
        *w++ = '\n';
        debut = fin + 1;
    }
    octets = std::move(repare);
}

QString LignesListe::Texte(QByteArrayView octets) {
    // The conversion takes a leading U+FEFF for a byte order mark and drops
    // it: those that begin the bytes are part of the line, and kept.
    qsizetype marques = 0;
    while (octets.sliced(marques).startsWith("\xEF\xBB\xBF"))
        marques += 3;
    if (marques == 0)
        return QString::fromUtf8(octets);
    return QString(marques / 3, QChar(0xFEFF)) + QString::fromUtf8(octets.sliced(marques));
}
