// Fresh signed lists: a signature proves who wrote a list, not when. Whoever
// sits on a plain-HTTP path could otherwise keep serving an older list, still
// correctly signed, long after the service replaced it. So a signed list may
// carry in its parameter block (covered by the signature like the rest):
//   VERSION_LISTE=N           a number the service raises with each new list
//   EXPIRE_LISTE=AAAA-MM-JJ   the last day the list may be used
// and the program remembers, per service, the highest version it accepted.
//
// For the search, once the list's signature verified:
//   1. LitFraicheurListe on the list's bytes (the signed ones);
//   2. ControleFraicheur: an empty text accepts the list, any other text is
//      the reason to show the user and the list is refused;
//   3. once the list is accepted, RetientVersionListe; false means the
//      version could not be kept (the user should be told: the next search
//      could not refuse an older list), the list itself stays accepted.
// Both take the same `cleService`: the caller's digest of what identifies the
// service (the same text on every search of that service). It is opaque here:
// only its SHA-256 names the service's file, so any text is safe.
//
// The highest versions live in $XDG_STATE_HOME/ramaglin/ (~/.local/state/
// ramaglin/ when XDG_STATE_HOME is unset or not absolute), one small file per
// service named by that SHA-256 in hexadecimal.
#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringView>

// The two lines of a list's block as written; an empty text: no such line.
struct FraicheurListe {
    QString version; // VERSION_LISTE
    QString expire;  // EXPIRE_LISTE
};

// VERSION_LISTE's rule: 1 to 18 decimal digits (0-9 only: no sign, no space),
// so that any version fits a 64-bit integer. False when the text breaks it.
bool LitVersionListe(QStringView texte, quint64& version);

// EXPIRE_LISTE's rule: AAAA-MM-JJ, digits only, a day that exists in the
// calendar. False when the text breaks it.
bool LitExpirationListe(QStringView texte, QDate& date);

// The two lines from a list's text: its first line must be the marker, and
// only the block right after it counts (as the search reads it), up to
// "-FIN PARAMETRES-" or the end; CR LF, a lone LF or a lone CR ends a line.
// When a line comes twice, the last one counts. Both texts are empty when
// there is no marker or no block.
//
// Read them from the very bytes whose signature verified rather than from the
// variables the block set: a variable keeps its value from an earlier list
// when a new list does not set it.
FraicheurListe LitFraicheurListe(QByteArrayView liste);

// Whether a signed list of the service `cleService` may be used: an empty
// text when it may, otherwise the reason, in French, for the user:
//   "version de liste illisible (VERSION_LISTE)"
//   "date d'expiration de liste illisible (EXPIRE_LISTE)"
//   "liste expirée depuis le JJ/MM/AAAA"      `aujourdhui` after EXPIRE_LISTE
//   "liste plus ancienne que la dernière acceptée"
// A list without VERSION_LISTE counts as version 0: once a versioned list was
// accepted, an unversioned one is older. The same version is accepted again
// (the same list fetched anew). Only reads the service's file, so a folder
// that cannot be written does not stop the search; a file that cannot be
// trusted (a link, not a regular file, garbled) counts as no version known.
QString ControleFraicheur(const QString& cleService, const FraicheurListe& fraicheur,
                          const QDate& aujourdhui = QDate::currentDate());

// Records the version of a list just accepted as the service's highest, when
// it is higher than the one kept (never lowers it). True when it is kept
// (or nothing needed to change); false when VERSION_LISTE is not well formed
// or when the folder or the file could not be created or written.
bool RetientVersionListe(const QString& cleService, const FraicheurListe& fraicheur);

// The folder of those files, as the environment gives it now.
QString DossierFraicheur();

// The other small memories the program keeps in that folder go through the
// same care: a file is read only when it is a regular file of at most
// `tailleMax` bytes, opened without following a link (an empty array
// otherwise), and written through a work file created exclusively under a
// random name, then renamed over it; the folder is made for its owner alone.
bool CreeDossierEtat(const QString& chemin);
QByteArray LitFichierEtat(const QString& dossier, const QByteArray& nom, qsizetype tailleMax);
bool EcritFichierEtat(const QString& dossier, const QByteArray& nom, QByteArrayView contenu);
