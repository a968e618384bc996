// The search: the service's list fetched into REP_TMP + "Liste.tmp", then
// processed (line ends, the embedded parameter block, the folder, identifier
// and version comparisons, or the links of an HTML page), and its lines read
// into memory for the result list and the download run.
//
// It draws nothing: messages go through MsgBox, the progress of the fetch to
// the gauge it is given. The windows and the run without windows share it.
#pragma once

#include <QString>
#include <memory>

#include "config/ReglagesConnexion.h"

class Inet;
class LignesListe;
class SurfaceJauge;

class MoteurRecherche {
public:
    explicit MoteurRecherche(Inet& inet) : inet_(inet) {}

    enum class Issue {
        Echec,         // no list: the fetch, its processing or its rewrite failed
        RienDeNouveau, // the list was read, and no row stays to be shown
        Trouve,        // rows to show
    };
    struct Resultat {
        Issue issue = Issue::Echec;
        // The lines kept, as the list copy holds them (with Trouve).
        std::shared_ptr<LignesListe> lignes;
        // Whether the result list is to be filled (AFFICHE_RESULTAT), and
        // which column it shows.
        bool afficher = false;
        int colonne = 0;
    };

    // Fetches and processes the list. `rechercheEffectuee` is set, as the
    // comparisons and the link mode say, and never cleared here. `arret` is
    // true when the user stopped the search (no message then).
    // With CLE_PUBLIQUE_LISTE set, the list counts only with a valid
    // signature: anything else stops the search, with its message, before the
    // list is processed.
    Resultat Lance(const ReglagesConnexion& reglages, SurfaceJauge* jauge,
                   bool& rechercheEffectuee);

    // The list processing of a list file already fetched to `chemin`. False
    // when it stops the search (its message shown). `listeSure`: the list came
    // over HTTPS or with a valid signature, so that its parameter block may
    // set every variable.
    bool TraitementFichier(const QString& chemin, bool listeSure, bool& rechercheEffectuee,
                           bool& reponse);

private:
    // Fetches the signature of the list at `adresse` (beside the list copy
    // `chemin` while it comes) into its 64 bytes; false, with the message,
    // when it is missing or unreadable, and silently after a stop.
    bool RecoitSignature(const QString& adresse, const QString& chemin, QByteArray& signature);
    // The message of a list refused for its signature: missing or unreadable
    // (`illisible`), or not the service's.
    static void SignatureRefusee(const QString& adresse, bool illisible);

    Inet& inet_;
};
