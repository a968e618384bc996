// The search: the service's list fetched, verified when the service signs
// it, then processed in memory (line ends, the embedded parameter block, the
// folder, identifier and version comparisons, or the links of an HTML page)
// and written once to REP_TMP + "Liste.tmp" for the result list and the
// download run.
//
// Each search works on its own copy of the service's settings, to which its
// list's block is applied; that copy goes with its result to the run, and
// nothing of it outlives them. The bytes that are verified are the bytes
// that are processed: the list is read once, into memory, and never read
// again from the temporary folder.
//
// It draws nothing: messages go through MsgBox, the progress of the fetch to
// the gauge it is given. The windows and the run without windows share it.
#pragma once

#include <QString>
#include <memory>

#include "config/ReglagesConnexion.h"
#include "util/Arret.h"

class Inet;
class LignesListe;
class QLockFile;
class SurfaceJauge;
class TableVariables;
struct BornesTransfert;

class MoteurRecherche {
public:
    explicit MoteurRecherche(Inet& inet) : inet_(inet) {}

    // This search's stop: whoever runs the search asks it (a stop button,
    // the main window's close, a signal). The search then ends without a
    // message.
    Arret& Interruption() { return arret_; }

    enum class Issue {
        Echec,         // no list: the fetch, its processing or its rewrite failed
        RienDeNouveau, // the list was read, and no row stays to be shown
        Trouve,        // rows to show
    };
    struct Resultat {
        Issue issue = Issue::Echec;
        // The lines kept, as the list copy holds them (with Trouve).
        std::shared_ptr<LignesListe> lignes;
        // This search's settings (the service's, with its list's block):
        // what the run of its rows reads (with Trouve).
        std::shared_ptr<const TableVariables> reglages;
        // Whether the result list is to be filled (AFFICHE_RESULTAT), and
        // which column it shows.
        bool afficher = false;
        int colonne = 0;
        // Why the list could not be fetched (with Echec, after the box), in
        // French: "erreur HTTP 404 : fichier introuvable (3 essais)".
        QString raison;
    };

    // Fetches and processes the list, starting from `service` (the settings
    // the parameter file gave). `rechercheEffectuee` is set, as the
    // comparisons and the link mode say, and never cleared here. A stop of
    // the user ends it without a message.
    // With CLE_PUBLIQUE_LISTE set, the list counts only with a valid
    // signature: anything else stops the search, with its message, before the
    // list is processed. The list is trusted whole (its block may set every
    // variable) when its signature verifies, or when it came over HTTPS from
    // the address of the parameter file itself.
    Resultat Lance(const TableVariables& service, const ReglagesConnexion& reglages, SurfaceJauge* jauge,
                   bool& rechercheEffectuee);

    // The list processing of a list's bytes as received, with `reglages`
    // (a search's own copy, which the block completes). False when it stops
    // the search (its message shown). `listeSure`: see Lance.
    bool TraitementFichier(QByteArray octets, LignesListe& lignes, TableVariables& reglages, bool listeSure,
                           bool& rechercheEffectuee, bool& reponse);

private:
    // Fetches `adresse` into memory (through a work file of REP_TMP named at
    // random), with the retries and waits of a run. False after a stop or a
    // failure; `raison` says why (empty after a stop).
    bool Recoit(const QString& adresse, const QString& dossier, const BornesTransfert& bornes, SurfaceJauge* jauge,
                QByteArray& octets, QString& raison);
    // The message of a list refused for its signature: missing or unreadable
    // (`illisible`), or not the service's.
    static void SignatureRefusee(const QString& adresse, bool illisible);

    Inet& inet_;
    Arret arret_;
};

// One search of a service at a time: a lock beside its list copy
// (REP_TMP + "Liste.verrou"), held for a search and the run of its rows,
// whoever runs them (the window, a run without windows, another user's
// program on a shared folder). A lock left by a program that was killed does
// not count.
class VerrouListe {
public:
    VerrouListe();
    ~VerrouListe();
    VerrouListe(const VerrouListe&) = delete;
    VerrouListe& operator=(const VerrouListe&) = delete;

    enum class Etat {
        Pris,    // held by this object
        Occupe,  // another program's search of the service runs
        Illisible, // the lock's name is taken by a link, a folder...
    };
    // Takes the lock in `dossier` (REP_TMP), telling the user when it cannot
    // ("Une autre recherche de ce service est en cours."). Taking it again
    // in the same folder while held answers Pris.
    Etat Prend(const QString& dossier);
    void Rend();
    bool Tenu() const;

private:
    std::unique_ptr<QLockFile> verrou_;
    QString dossier_;
};
