// Small file operations shared by the whole program. None shows a message:
// failures are the false (or 0) results.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <memory>

bool FichierExiste(const QString& chemin);
qint64 TailleFichier(const QString& chemin);
bool EffaceFichier(const QString& chemin, bool corbeille);
bool RenommeFichier(const QString& ancien, const QString& nouveau);
bool CreeFichierVide(const QString& chemin);
bool EstCheminReseau(const QString& chemin);
// Moves the files to the system's trash; 0 when all went, else the number that did not.
int EnvoieCorbeille(const QStringList& fichiers);
// Copies bytes debutSource..finSource (1-based, inclusive) of `source` into `cible`
// from position debutCible, in blocks of 10000 bytes. An existing target is written
// into, not emptied.
bool CopieBlocFichier(const QString& source, const QString& cible, qint64 debutSource,
                      qint64 finSource, qint64 debutCible);
// Removes bytes debut..fin (1-based, inclusive) of the file, through `temporaire`.
bool RetireBlocFichier(const QString& chemin, const QString& temporaire, qint64 debut,
                       qint64 fin);

// A file rewritten so that no failure can cost its old content: the new
// content goes to a work file named `travail` + "." + a random suffix
// (beside it, so on the same file system; created exclusively, never through
// an existing file or link), is flushed to the disk, and the work file is
// then renamed over the original, which the system does in one step. With
// `suivreLien`, a link in the original's place is kept and the file it leads
// to is rewritten; without, the link itself is replaced. Until that rename the
// original is untouched; after a failure (a full disk, a folder that cannot
// be written, a rename refused), or when the object goes without Remplace,
// the work file is removed and the original is exactly as it was.
class FichierTravail final {
public:
    FichierTravail(const QString& chemin, const QString& travail, bool suivreLien = true);
    ~FichierTravail();
    FichierTravail(const FichierTravail&) = delete;
    FichierTravail& operator=(const FichierTravail&) = delete;

    // Creates (or empties) the work file; false when the folder refuses it.
    bool Ouvre();
    // Appends to the work file; false once any write has failed.
    bool Ecrit(QByteArrayView octets);
    // Flushes the work file to the disk and puts it in the original's place,
    // with the original's permissions. False on any failure so far.
    bool Remplace();

private:
    void Abandonne();

    QString chemin_;
    QString travail_;
    QFile fichier_;
    bool ouvert_ = false;
    bool erreur_ = false;
};

// Reads the whole regular file at `chemin` into `octets`, refusing a
// symbolic link in its place (never followed) and a file larger than
// `tailleMax` bytes (-1: no limit). False when it cannot be read so.
bool LitFichierSansLien(const QString& chemin, QByteArray& octets, qint64 tailleMax = -1);

// A path as the system's calls take it (the file system's encoding).
std::filesystem::path CheminNatif(const QString& chemin);

// The whole new content of `chemin` in one call, through the work file
// `travail` as above. False when it could not be written or put in place:
// the original is then as it was and no work file is left.
bool RemplaceParFichierTravail(const QString& chemin, const QByteArray& contenu,
                               const QString& travail, bool suivreLien = true);

// Folder listing with a wildcard pattern ("dossier/*.*"), Windows rules on every
// platform: "*.*" matches every name, "?" one character, case is ignored. "." and
// ".." are not listed.
struct DonneesFichier {
    QString nom;
    qint64 taille = 0;
    bool dossier = false;
    QDateTime modification;
};

class RechercheFichiers; // an open enumeration
using PoigneeRecherche = std::shared_ptr<RechercheFichiers>;

// Starts an enumeration: false (and an empty handle) when nothing matches. With
// `fermer`, the enumeration is closed at once (an existence test).
bool CherchePremierFichier(const QString& motif, DonneesFichier& donnees,
                           PoigneeRecherche& poignee, bool fermer);
// Next entry; false at the end, and the handle is then closed.
bool ChercheFichierSuivant(PoigneeRecherche& poignee, DonneesFichier& donnees);

// Every name matching the pattern, in one call (for large folders); with
// `fichiersSeulement`, folders are left out.
QStringList NomsFichiersMotif(const QString& motif, bool fichiersSeulement = false);
// The wildcard test itself.
bool CorrespondMotif(const QString& nom, const QString& motif);

// The separator this platform writes between folders ("\" on Windows, "/" elsewhere).
QChar SeparateurDossier();
// `chemin` with a final separator (either "\" or "/" counts as one already).
QString AvecSeparateurFinal(const QString& chemin);
