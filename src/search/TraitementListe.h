// The list file of a service and the steps that filter it: the embedded
// parameter block, the folder, identifier and version comparisons, and the
// selection's size. No widgets here: the main window calls these and shows the
// result.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

inline const QString MarqueurListe = QStringLiteral("xxx Le Ramaglin V1 xxx");
inline const QString DebutParametres = QStringLiteral("-PARAMETRES-");
inline const QString FinParametres = QStringLiteral("-FIN PARAMETRES-");

// Set when a step of the list processing could not rewrite the list (which
// then stays as it was before that step); the search clears it before its
// processing and checks it after.
extern bool EcritureListeEchouee;

// Reads the lines of a list file (CR LF or lone CR end a line). False when the
// file cannot be opened.
bool LitLignesListe(const QString& chemin, QStringList& lignes);

// Rewrites a list file through its work file (chemin + `suffixe`): every line
// followed by CR LF, flushed to the disk, then renamed over the list in one
// step. False on any failure (a full disk, a folder that cannot be written, a
// refused rename): the list is then exactly as it was and no work file stays.
bool RecritListe(const QString& chemin, const QStringList& lignes,
                 const QString& suffixe = QStringLiteral("2"));

// The variables that decide where files are written and whether one is
// started: a list that anyone on its path could have changed (fetched in clear
// and not signed) may not set them.
const QSet<QString>& VariablesReserveesListeSure();

// Removes the marker line and the parameter block from the list file and loads
// the block's parameters, straight from memory. False (with its message) when
// the marker is missing. Unless `listeSure`, the block's lines that set a
// reserved variable are ignored, and the user is told once which ones.
bool RecupereParametres(const QString& chemin, bool listeSure);

// Each comparison rewrites the list with the lines it keeps, shows its message
// when none stays, and returns whether some line stayed (the caller then marks
// its search as done). `reponse` is the processing's answer, updated as each
// comparison says.
bool ComparaisonRepertoire(const QString& chemin, bool& reponse);
bool ComparaisonIdentifiant(const QString& chemin, bool& reponse);
bool ComparaisonVersion(const QString& chemin, bool& reponse);

// Link mode: the list file is an HTML page; it becomes a list of its links, one
// line each as address TAB text (the decoded anchor text, or the address when
// the link has none). Returns the number of links kept; with none, the list is
// left empty and the user told.
int ModeLiens(const QString& chemin);

// A version text as its first three dotted parts, each read as a lenient 16-bit number.
struct Version {
    int p1 = 0, p2 = 0, p3 = 0;
    auto operator<=>(const Version&) const = default;
};
Version LitVersion(const QString& texte);

// Column `colonne` of every line of the list (what the result list shows).
QStringList ColonneDesLignes(const QStringList& lignes, int colonne);

// Count of the selected rows and the total of their size column, read from the
// list's text. `selection[i]` tells whether row i (line i + 1) is selected; a
// row past the last line counts, with no size.
struct ResumeSelection {
    int nombre = 0;
    double total = 0;
};
ResumeSelection CalculeSelection(const QString& texteListe, const std::vector<bool>& selection,
                                 bool tailleVoulue, int colonneTaille);
