// Text operations on local paths, network paths and internet addresses alike:
// root, folder, file name, extension, parent, and making a link found in a page
// absolute. They never touch the file system. "/" and "\" are both separators.
#pragma once

#include <QString>

// Root of a path: a drive ("c:"), a network server prefix ("\\machine\"), or one
// of the schemes HTTP://, FTP://, MAILTO:, HTTPS://, TELNET://, NEWS:// as
// written in the path; empty for a relative path. `estAdresseInternet` is true
// only for a scheme.
QString RacineChemin(const QString& chemin, bool& estAdresseInternet);
QString RacineChemin(const QString& chemin);

// True when the path begins with one of the six schemes (any case).
bool EstAdresseInternet(const QString& chemin);

// Root followed by the rest up to and including its last separator:
// "http://serveur/rep/f.zip" gives "http://serveur/rep/", "C:\setup.zip" "C:",
// a bare file name "".
QString RepertoireChemin(const QString& chemin);

// Text after the last separator; a path without separator is returned whole,
// "/f.zip" gives "".
QString NomFichierChemin(const QString& chemin);

// True when `nom`, a name that came from a server, names something inside the
// folder it is put after: not empty, not the folder itself ("."), no root, no
// drive, and every element acceptable (util/NomsFichiers.h: no "..", nor what
// Windows reads as "..", no control character, the Windows rules on Windows).
bool NomDansDossier(const QString& nom);

// Text after the last ".", in capitals, one surrounding pair of double quotes
// ignored: "archive.tar.gz" gives "GZ", "lisezmoi" "".
QString ExtensionFichier(const QString& chemin);

// Last element of the path after its root ("http://serveur/a/" gives "a").
QString DernierElementChemin(const QString& chemin);

// Number of elements after the root (an empty rest counts 1).
int ProfondeurChemin(const QString& chemin);

// The path one level up, ending with its separator ("http://serveur/a/b/" gives
// "http://serveur/a/"); a one-element path is its own parent, without its
// trailing separator ("http://serveur/" gives "http://serveur").
QString CheminParent(const QString& chemin);

// Absolute form of a link found in a page whose folder address is `base`. A link
// with a root is returned as it is; "./" is dropped; each "../" and a leading
// "/" go one level up from the base.
QString ResoutLien(const QString& base, const QString& lien);

// Splits a command line at its first space outside double quotes; a program
// written between quotes loses them.
void SepareLigneCommande(const QString& ligneCommande, QString& programme, QString& arguments);

// Number of occurrences of a character in a text.
int CompteOccurrences(const QString& texte, QChar caractere);
