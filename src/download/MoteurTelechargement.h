// The download run, from the chosen rows to the summary: each row's file
// fetched, reported, followed through its link page (and unpacked) when the
// service says so, the pauses by size and by count, the list copy rewritten
// without the downloaded rows' lines, the summary and the end of the run.
//
// The run draws nothing: it speaks to whatever shows it (the windows, or the
// terminal of a run without windows) through VueTelechargement. Questions and
// messages go through MsgBox/InputBox and the launching through the shell,
// whose handlers the front end installs.
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "config/ReglagesConnexion.h"
#include "util/Arret.h"

class Inet;
class LignesListe;
class SurfaceJauge;

class VueTelechargement {
public:
    virtual ~VueTelechargement() = default;
    // The run begins: the report is emptied and shown, its stop button on.
    virtual void DebutRun() = 0;
    // File k of n (from 1) is about to be fetched (a row, or a link of a row's
    // page: n then counts the rows of the run).
    virtual void DebutFichier(int /*k*/, int /*n*/) {}
    // A new report line, and the last one overwritten (a failure's reason given).
    virtual void AjouteLigne(const QString& texte) = 0;
    virtual void RemplaceDerniereLigne(const QString& texte, const QString& raison) = 0;
    // Every line given so far shown now, whatever the view holds back for
    // speed: the run calls it before a pause, a server's wait, a wait between
    // tries, a message or a question, and the summary, so that what the user
    // reads then is never behind the run.
    virtual void Publie() = 0;
    // Line `ligne` (from 0, in the order they were added) overwritten: the
    // "[En cours] " line of a file among several in flight, ended.
    virtual void RemplaceLigne(int ligne, const QString& texte, const QString& raison) = 0;
    // Where the progress of the file in transfer is drawn (null: nowhere).
    virtual SurfaceJauge* Jauge() = 0;
    // Row `rangee` (its place in the list when the run began) was downloaded.
    virtual void RangeeTelechargee(int rangee) = 0;
    // A pause of `secondes` seconds between downloads (counted down in
    // ArretRun().TempsPauseRestant): returns once it has run out, or once the
    // user stopped the run (ArretRun() then asked).
    virtual void Pause(int secondes) = 0;
    // The server asked to wait (429, 503) `secondes` seconds before the same
    // file is asked again: a pause as above, whose text says who asked.
    virtual void AttenteServeur(int secondes) { Pause(secondes); }
    // The last row is done: the stop button off, what is pending shown. The
    // summary follows.
    virtual void FinRun() = 0;
    // The list copy has been rewritten: line i is now line nouvelIndice[i]
    // (-1: gone).
    virtual void ListeRecrite(const std::vector<qint32>& nouvelIndice) = 0;
    // The list copy could not be rewritten (the user has been told): the rows
    // shown no longer match it and must go.
    virtual void ListePerdue() = 0;

    // The stop of the run shown, handed by the run when it is made: what the
    // view's stop buttons ask, and what ends its pauses at once.
    void FixeArret(Arret& arret) { arret_ = &arret; }
    Arret& ArretRun() const { return *arret_; }

private:
    Arret* arret_ = nullptr;
};

// One chosen row.
struct RangeeChoisie {
    int rangee = 0;   // its place in the list when the run began
    qint32 ligne = 0; // its line in the list copy, from 0
    QString texte;    // as shown in the list, for the report
};

class MoteurTelechargement {
public:
    // `reglages`: the settings of the search whose rows the run fetches
    // (the service's, with its list's block applied), which must outlive the
    // engine.
    MoteurTelechargement(Inet& inet, VueTelechargement& vue, const TableVariables& reglages);

    // This run's stop: whoever runs it asks it (the view's stop buttons, the
    // main window's close, a signal). Every transfer and wait of the run,
    // and of this run only, sees it.
    Arret& Interruption() { return arret_; }

    // How a row that fails is tried again: see EssaisTransfert. `echelle`
    // multiplies the waits the program chooses itself (not a Retry-After).
    void FixeEchelleAttentes(double echelle) { echelle_ = echelle; }

    // What the run must know before it starts; false (the user told) when the
    // settings do not allow a run: NUM_COLONNE_TELECHARGEE not a column, the
    // destination folder missing. A TRANSFERTS_SIMULTANES or DEBIT_MAX that
    // makes no sense (told when it was read) takes its default.
    bool Prepare();

    // Files in flight at most: see TransfertsSimultanes.
    static constexpr int TransfertsParDefaut = ::TransfertsParDefaut;

    struct Resultat {
        int succes = 0;           // rows counted as downloaded
        int echecs = 0;           // rows that failed (a stop excluded)
        bool arrete = false;      // the user stopped the run
        bool listeRecrite = true; // false: the list copy could not be rewritten
        bool terminer = false;    // the one file or its folder was opened: the program ends
        QString dernierFichier;   // what the last row counted as downloaded left
    };
    // Runs the chosen rows (in list order) over `lignes`, the list copy held in
    // memory, whose file is REP_TMP + "Liste.tmp". `ouvrirALaFin`: the end of
    // the run may open the one downloaded file or its folder (not when the
    // program is being closed).
    Resultat Lance(const std::vector<RangeeChoisie>& rangees, LignesListe& lignes,
                   const ReglagesConnexion& reglages, bool ouvrirALaFin);

    // The pauses a run of files of these sizes (in bytes) would make, if every
    // one arrived: after file `apresFichier` (from 1), `secondes` seconds.
    struct PausePrevue {
        int apresFichier = 0;
        int secondes = 0;
        bool operator==(const PausePrevue&) const = default;
    };
    static std::vector<PausePrevue> PausesPrevues(const TableVariables& reglages, const std::vector<double>& tailles);

    // The step of a row whose file is a link page: its links read (the page
    // then deleted), filtered, fetched into `dossier` and unpacked when they
    // are archives to unpack. True when the last link tried arrived;
    // `laisse` is then what it left, and `decompresse` whether it was an
    // archive unpacked (and so deleted).
    bool RetelechargeLienDeSelection(const QString& page, const QString& dossier, QString& laisse,
                                     bool& decompresse);

private:
    // One file, of a row or of a link page: its "[En cours] " line (`texte`),
    // the fetch of `adresse` (which follows a redirection) into `fichier`
    // unless the user stopped or `refus` says why not, and on failure its
    // line ("[Erreur] " with the reason, or "[Arrêt demandé] "), named by
    // `texte` or, with `nomDeLAdresse`, by the address fetched.
    bool TelechargeUn(const QString& texte, QString& adresse, const QString& fichier, const QString& refus,
                      bool nomDeLAdresse);
    void Pauses(double& cumul, int compteur);
    // The rows of a run with several files in flight (no link pages).
    struct EtatRun;
    void LanceEnVol(const std::vector<RangeeChoisie>& rangees, LignesListe& lignes, EtatRun& etat,
                    int enVol, qint64 debit);
    // A row's address, destination and refusal, from its line of the list copy.
    struct Cible {
        QString adresse, fichier, refus, empreinte;
    };
    Cible CibleDe(const RangeeChoisie& rangee, LignesListe& lignes) const;

    QString Variable(const char* nom) const;

    Inet& inet_;
    VueTelechargement& vue_;
    Arret arret_;
    const TableVariables& reglages_;
    int colonne_ = 0;
    QString destination_;
    QString base_;
    int numero_ = 0, total_ = 0;
    int enVol_ = 1;      // files in flight at most, as the service says
    qint64 debitMax_ = 0; // bytes per second for the whole run, as the service says (0: no cap)
    bool pauses_ = false; // the service declares pauses
    double echelle_ = 1;
    QString empreinte_; // SHA-256 (hex) of the row's file, from COLONNE_EMPREINTE
};
