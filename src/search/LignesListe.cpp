// The list copy held in memory.
#include "search/LignesListe.h"

#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>

#include "util/Fonctions_Texte.h"

namespace {

bool Utf8Valide(const QByteArray& octets) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    // Decoding a large file only to validate it would double its memory for a
    // moment: the decoder is fed in slices, each cut before a character's
    // first byte so that no character is split, their text dropped at once.
    constexpr qsizetype Tranche = 1 << 20;
    qsizetype debut = 0;
    while (debut < octets.size()) {
        qsizetype fin = std::min(debut + Tranche, octets.size());
        // At most 3 continuation bytes follow a first byte.
        for (int recul = 0; recul < 3 && fin < octets.size() && fin > debut + 1 &&
                            (static_cast<unsigned char>(octets[fin]) & 0xC0) == 0x80;
             ++recul)
            --fin;
        const QString texte = utf8.decode(QByteArrayView(octets).sliced(debut, fin - debut));
        if (utf8.hasError())
            return false;
        debut = fin;
    }
    return true;
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
        octets_ = octets.startsWith("\xEF\xBB\xBF") ? octets.mid(3) : octets;
    } else {
        // Old lists in Windows-1252: held in UTF-8 like the others.
        QString texte(octets.size(), Qt::Uninitialized);
        QChar* sortie = texte.data();
        for (qsizetype i = 0; i < octets.size(); ++i)
            sortie[i] = CaractereWindows1252(static_cast<unsigned char>(octets[i]));
        octets_ = texte.toUtf8();
    }
    debuts_.clear();
    longueurs_.clear();
    const char* d = octets_.constData();
    const qsizetype n = octets_.size();
    qsizetype debut = 0;
    while (debut < n) {
        const void* cr = std::memchr(d + debut, '\r', size_t(n - debut));
        const qsizetype fin = cr ? static_cast<const char*>(cr) - d : n;
        debuts_.push_back(debut);
        longueurs_.push_back(qint32(fin - debut));
        debut = fin + 1;
        if (cr && debut < n && d[debut] == '\n')
            ++debut;
    }
}

QByteArrayView LignesListe::Octets(qsizetype i) const {
    return QByteArrayView(octets_.constData() + debuts_[size_t(i)], longueurs_[size_t(i)]);
}

QByteArrayView LignesListe::ColonneOctets(qsizetype i, int colonne) const {
    if (colonne < 1)
        return {};
    const QByteArrayView ligne = Octets(i);
    qsizetype debut = 0;
    for (int champ = 1; champ < colonne; ++champ) {
        const qsizetype tab = ligne.indexOf('\t', debut);
        if (tab < 0)
            return {};
        debut = tab + 1;
    }
    const qsizetype fin = ligne.indexOf('\t', debut);
    return ligne.sliced(debut, (fin < 0 ? ligne.size() : fin) - debut);
}

std::vector<qint32> LignesListe::Retire(const std::vector<bool>& retiree) {
    std::vector<qint32> nouvelIndice(debuts_.size(), -1);
    QByteArray gardes;
    gardes.reserve(octets_.size());
    std::vector<qint64> debuts;
    std::vector<qint32> longueurs;
    debuts.reserve(debuts_.size());
    longueurs.reserve(debuts_.size());
    for (size_t i = 0; i < debuts_.size(); ++i) {
        if (i < retiree.size() && retiree[i])
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
    return nouvelIndice;
}

QByteArray LignesListe::Texte(const std::vector<bool>* sauf) const {
    QByteArray texte;
    texte.reserve(octets_.size() + qsizetype(debuts_.size()));
    for (qsizetype i = 0; i < Nombre(); ++i) {
        if (sauf && size_t(i) < sauf->size() && (*sauf)[size_t(i)])
            continue;
        texte.append(Octets(i));
        texte.append("\r\n");
    }
    return texte;
}
