// The line-end repair of a fetched text file.
#include "net/Fonctions_Internet_INET.h"

#include <cstring>
#include <memory>

#include <QFile>

#include "util/Fonctions_Fichier.h"

namespace {

// True when the block holds a LF without its CR (`precedent`: the byte
// before the block).
bool AUnLFSeul(const char* debut, const char* fin, char precedent) {
    for (const char* p = debut; (p = static_cast<const char*>(std::memchr(p, '\n', size_t(fin - p))));
         ++p)
        if ((p == debut ? precedent : p[-1]) != '\r')
            return true;
    return false;
}

// Copies the block to `sortie` with a CR put before each LF that lacks one;
// returns the end of what was written (`sortie` holds twice the block).
char* AjouteLesCR(const char* debut, const char* fin, char precedent, char* sortie) {
    const char* morceau = debut;
    for (const char* p; (p = static_cast<const char*>(std::memchr(morceau, '\n', size_t(fin - morceau))));
         morceau = p + 1) {
        std::memcpy(sortie, morceau, size_t(p - morceau));
        sortie += p - morceau;
        if ((p == debut ? precedent : p[-1]) != '\r')
            *sortie++ = '\r';
        *sortie++ = '\n';
    }
    std::memcpy(sortie, morceau, size_t(fin - morceau));
    return sortie + (fin - morceau);
}

} // namespace

bool ConvertitFinsDeLigne(const QString& source, const QString& temporaire) {
    // Large blocks scanned with memchr: a list of a million lines is repaired
    // at the speed of the disk. A list whose lines already end in CR LF is
    // only read: the work file is started at the first LF that lacks its CR,
    // with the bytes before its block copied as they are.
    constexpr qint64 Bloc = 64 * 1024;
    QFile entree(source);
    if (!entree.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    QByteArray bloc(Bloc, Qt::Uninitialized);
    QByteArray converti(2 * Bloc, Qt::Uninitialized);
    std::unique_ptr<FichierTravail> sortie;
    char precedent = 0; // last byte of the previous block
    qint64 position = 0; // of the block in the source
    for (;;) {
        const qint64 lus = entree.read(bloc.data(), Bloc);
        if (lus < 0)
            return false;
        if (lus == 0)
            break;
        const char* debut = bloc.constData();
        if (!sortie) {
            if (!AUnLFSeul(debut, debut + lus, precedent)) {
                precedent = debut[lus - 1];
                position += lus;
                continue;
            }
            sortie = std::make_unique<FichierTravail>(source, temporaire);
            if (!sortie->Ouvre() || !entree.seek(0))
                return false;
            for (qint64 copie = 0; copie < position;) {
                const qint64 n = entree.read(converti.data(), std::min(Bloc, position - copie));
                if (n <= 0 || !sortie->Ecrit(QByteArrayView(converti.constData(), n)))
                    return false;
                copie += n;
            }
            if (!entree.seek(position + lus))
                return false;
        }
        const char* fin = AjouteLesCR(debut, debut + lus, precedent, converti.data());
        if (!sortie->Ecrit(QByteArrayView(converti.constData(), fin - converti.constData())))
            return false;
        precedent = debut[lus - 1];
        position += lus;
    }
    entree.close(); // some systems refuse to replace a file that is open
    return !sortie || sortie->Remplace();
}
