// Small file operations shared by the whole program. None shows a message:
// failures are the false (or 0) results.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
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
