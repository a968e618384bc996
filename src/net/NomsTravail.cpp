// The work file of a fetch.
#include "net/NomsTravail.h"

#include <filesystem>
#include <system_error>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include "util/Fonctions_Fichier.h"

namespace DetailTransfert {

// An empty work file beside `destination`, so that the final rename stays on
// the same file system; empty text when the folder does not take it. Made with
// an exclusive creation under a random name: cheaper than a temporary-file
// object, which on some file systems first makes an unnamed file and then
// gives it a name, for each of thousands of small files.
QString CreeFichierTemporaire(const QString& destination) {
    const QString dossier = QFileInfo(destination).absolutePath() + QLatin1Char('/');
    const QString nom = QFileInfo(destination).fileName();
    for (int essai = 0; essai < 8; ++essai) {
        const QString hasard =
            QString::number(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFull, 36);
        // Named after the destination when the name leaves room for the
        // suffix, with a short name of its own otherwise.
        const QString chemin = nom.toUtf8().size() + 20 <= 255
                                   ? dossier + nom + QLatin1Char('.') + hasard + QStringLiteral(".part")
                                   : dossier + QStringLiteral(".ramaglin-") + hasard + QStringLiteral(".part");
        QFile fichier(chemin);
        if (fichier.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return chemin;
        if (fichier.error() != QFileDevice::OpenError || QFile::exists(chemin) == false)
            if (!QFileInfo(dossier).isDir() || !QFileInfo(dossier).isWritable())
                return QString();
    }
    return QString();
}

// Puts the work file in the destination's place (replacing an older file).
bool RemplaceDestination(const QString& temporaire, const QString& destination) {
    std::error_code erreur;
    std::filesystem::rename(CheminNatif(temporaire), CheminNatif(destination), erreur);
    return !erreur;
}


} // namespace DetailTransfert
