// The download run.
//
// The run holds the list copy's lines in memory: it marks the downloaded rows'
// lines there and rewrites the copy once, through its work file, when the run
// ends (stopped or not). Nothing else reads the copy during a run, so the file
// ends exactly as per-row rewrites would leave it, in time linear in its size.
#include "download/MoteurTelechargement.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QList>
#include <algorithm>
#include <cmath>
#include <memory>

#include "config/Fonctions_Variables.h"
#include "download/Fonctions_LanceFichier.h"
#include "html/Fonctions_Chemin.h"
#include "html/Fonctions_Internet.h"
#include "net/Attente.h"
#include "net/EssaisTransfert.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/LignesListe.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Math.h"
#include "util/Fonctions_Messages.h"
#include "util/ListeAuto.h"
#include "zip/Cls_Zip.h"

namespace {

const QString TabListe = QStringLiteral("\t");
const QString NomRefuse = QStringLiteral("nom de fichier refusé (hors du dossier de destination) : ");
const QByteArray Marque = QByteArrayLiteral("<Supprimé>");


// Removes, at the same index from the three lists, every link whose address
// (in capitals) does not satisfy `garde`.
template <typename Condition>
void FiltreLiens(ListeAuto& adresses, ListeAuto& types, ListeAuto& textes, Condition garde) {
    qint32 i = 0;
    while (i < adresses.NbElementsListe()) {
        if (garde(adresses.RenvoieElement(i).toUpper())) {
            ++i;
        } else {
            adresses.SupprimeElement(i);
            types.SupprimeElement(i);
            textes.SupprimeElement(i);
        }
    }
}

QString LigneOk(const QString& nom, double octets) {
    return QStringLiteral("[OK] ") + nom + QStringLiteral(" (") + FormateTaille(octets, false) + QLatin1Char(')');
}

// The pause rules, read once per decision as the service may not change them
// during a run: after a file counted as downloaded, with `cumul` bytes since
// the last size pause and `compteur` files so far, the pauses to make (size
// first, then count). `cumul` is set back to 0 when the size pause is due.
template <typename Faire>
void AppliqueReglesPause(const TableVariables& reglages, double& cumul, int compteur, Faire faire) {
    const auto Variable = [&](const char* nom) { return reglages.Lit(QString::fromLatin1(nom)); };
    if (Variable("PAUSE_SELON_TAILLE") == QLatin1String("O")) {
        const double seuil = NombreSouple(Variable("TAILLE_DECLENCHE_PAUSE"));
        if (seuil <= std::trunc(cumul / 1024)) {
            cumul = 0;
            // A pause of no length would count below 0 for ever: none.
            const int duree = EntierSouple(Variable("DUREE_PAUSE_SELON_TAILLE"));
            if (duree > 0 && !faire(duree))
                return;
        }
    }
    if (Variable("PAUSE_ENTRE_CHAQUE_TELECHARGEMENT") == QLatin1String("O")) {
        // Every n files; n of 0 (empty, not a number) never pauses.
        const int tous = EntierSouple(Variable("NB_FICHIERS_TELECHARGES_AVANT_PAUSE"));
        if (tous != 0 && compteur % tous == 0) {
            const QString texte = Variable("DUREE_PAUSE_ENTRE_TELECHARGEMENT");
            const int duree = texte.isEmpty() ? 2 : EntierSouple(texte);
            if (duree > 0)
                faire(duree);
        }
    }
}

} // namespace

MoteurTelechargement::MoteurTelechargement(Inet& inet, VueTelechargement& vue, const TableVariables& reglages)
    : inet_(inet), vue_(vue), reglages_(reglages), echelle_(EssaisTransfert::EchelleEnvironnement()) {
    vue_.FixeArret(arret_);
}

QString MoteurTelechargement::Variable(const char* nom) const { return reglages_.Lit(QString::fromLatin1(nom)); }

bool MoteurTelechargement::Prepare() {
    const QString texteColonne = Variable("NUM_COLONNE_TELECHARGEE");
    if (!EstNombre(texteColonne.trimmed()) || ValeurNombre(texteColonne.trimmed()) < 1) {
        MsgBox(QStringLiteral("La variable NUM_COLONNE_TELECHARGEE doit être un numéro de "
                              "colonne (1 ou plus) : « ") +
                   texteColonne + QStringLiteral(" » ne convient pas."),
               IconeMessage::Critique);
        return false;
    }
    colonne_ = Entier16(ValeurNombre(texteColonne.trimmed()));
    destination_ = AvecSeparateurFinal(Variable("CHEMIN_DESTINATION_FICHIER_SOURCE"));
    if (!QFileInfo(destination_).isDir()) {
        MsgBox(QStringLiteral("Le chemin de destination ") + destination_ + QStringLiteral(" n'existe pas !"),
               IconeMessage::Exclamation);
        return false;
    }
    base_ = Variable("ADRESSE_BASE_FICHIERS_SOURCES");
    if (!base_.isEmpty() && !base_.endsWith(QLatin1Char('/')))
        base_ += QLatin1Char('/');

    // A service that declares pauses wants one file at a time.
    pauses_ = Variable("PAUSE_SELON_TAILLE") == QLatin1String("O") ||
              Variable("PAUSE_ENTRE_CHAQUE_TELECHARGEMENT") == QLatin1String("O");
    // Values that make no sense were told and emptied when they were read.
    enVol_ = TransfertsSimultanes(Variable("TRANSFERTS_SIMULTANES")).value_or(pauses_ ? 1 : TransfertsParDefaut);
    debitMax_ = DebitMaxOctets(Variable("DEBIT_MAX")).value_or(0);
    return true;
}

MoteurTelechargement::Cible MoteurTelechargement::CibleDe(const RangeeChoisie& rangee, LignesListe& lignes) const {
    // The line read last when the copy has fewer lines than the row's.
    const QString ligne = lignes.EstVide() ? QString()
        : lignes.Ligne(std::clamp<qsizetype>(rangee.ligne, 0, lignes.Nombre() - 1));
    const QString champ = ExtraitColonne(ligne, colonne_, TabListe);
    Cible c;
    c.adresse = base_ + champ;
    QString nom;
    const QString colonneNom = Variable("NUM_COLONNE_NOUVEAUFICHIER");
    if (!colonneNom.isEmpty())
        nom = ExtraitColonne(ligne, EntierSouple(colonneNom), TabListe);
    if (nom.isEmpty())
        nom = NomFichierChemin(champ);
    c.fichier = destination_ + nom;
    c.refus = champ.isEmpty() ? QStringLiteral("aucune adresse dans la ligne de la liste")
              : !NomDansDossier(nom) ? NomRefuse + nom
                                     : QString();
    // The digest the service gives for the file, when it gives one.
    const int colonneEmpreinte = EntierSouple(Variable("COLONNE_EMPREINTE"));
    c.empreinte = colonneEmpreinte > 0 ? ExtraitColonne(ligne, colonneEmpreinte, TabListe).trimmed() : QString();
    return c;
}

std::vector<MoteurTelechargement::PausePrevue>
MoteurTelechargement::PausesPrevues(const TableVariables& reglages, const std::vector<double>& tailles) {
    std::vector<PausePrevue> pauses;
    double cumul = 0;
    for (size_t k = 0; k + 1 < tailles.size(); ++k) { // no pause after the last file
        cumul += tailles[k];
        AppliqueReglesPause(reglages, cumul, int(k + 1), [&](int secondes) {
            pauses.push_back({int(k + 1), secondes});
            return true;
        });
    }
    return pauses;
}

void MoteurTelechargement::Pauses(double& cumul, int compteur) {
    AppliqueReglesPause(reglages_, cumul, compteur, [&](int secondes) {
        arret_.TempsPauseRestant = secondes;
        vue_.Publie();
        vue_.Pause(secondes);
        return !arret_.Demandee();
    });
}

// What a run keeps from row to row, whatever fetches its files.
struct MoteurTelechargement::EtatRun {
    std::vector<bool> marquee; // the list copy's lines of the rows downloaded
    double cumul = 0;          // bytes since the last size pause
    int compteurPause = 0;
    int succes = 0, echecs = 0;
    QString dernierFichier;
    bool dernierDecompresse = false; // the last file counted was an archive unpacked (and deleted)
};

MoteurTelechargement::Resultat MoteurTelechargement::Lance(const std::vector<RangeeChoisie>& rangees,
                                                           LignesListe& lignes,
                                                           const ReglagesConnexion& reglages,
                                                           bool ouvrirALaFin) {
    // Before any turn of the event loop: a stop asked from now on is this
    // run's.
    arret_.Efface();
    Resultat resultat;
    // The settings of this run, whatever an earlier run or search used: the
    // system's settings drop an explicit proxy set before.
    if (reglages.particulier)
        ParametreConnexion(inet_, true, reglages.adresseProxy, reglages.portHTTP, reglages.portFTP,
                           QString(), QString());
    else
        inet_.AccessType = Inet::AccesSysteme;
    const InterruptionPour arret(inet_, arret_);
    vue_.DebutRun();
    EtatRun etat;
    etat.marquee.assign(size_t(lignes.Nombre()), false);
    std::vector<bool>& marquee = etat.marquee;
    const bool viaLien = Variable("CONSERVER_LIEN_TELECHARGE") == QLatin1String("N");
    bool& dernierDecompresse = etat.dernierDecompresse;
    double& cumul = etat.cumul;
    int& compteurPause = etat.compteurPause;
    total_ = int(rangees.size());
    // The user's settings may lower what the service allows, never raise it.
    int enVol = enVol_;
    if (reglages.transfertsSimultanes > 0)
        enVol = std::min(enVol, reglages.transfertsSimultanes);
    qint64 debit = debitMax_;
    if (reglages.debitMaxKio > 0 && (debit == 0 || reglages.debitMaxKio * 1024 < debit))
        debit = reglages.debitMaxKio * 1024;
    inet_.FixeDebitMax(debit);
    // The pages of links add their own lines to the report, one file after
    // the other: such a service fetches one row at a time.
    if (viaLien)
        enVol = 1;
    if (enVol > 1)
        LanceEnVol(rangees, lignes, etat, enVol, debit);

    for (size_t k = 0; enVol == 1 && k < rangees.size() && !arret_.Demandee(); ++k) {
        const RangeeChoisie& rangee = rangees[k];
        numero_ = int(k + 1);
        const Cible cible = CibleDe(rangee, lignes);
        QString adresse = cible.adresse;
        const QString& fichier = cible.fichier;
        empreinte_ = cible.empreinte;
        if (!TelechargeUn(rangee.texte, adresse, fichier, cible.refus, false)) {
            if (!arret_.Demandee())
                ++resultat.echecs;
            continue;
        }
        // Its size in one look at the file system.
        const double octets = double(QFileInfo(fichier).size());
        vue_.RemplaceDerniereLigne(LigneOk(rangee.texte, octets), QString());
        cumul += octets;

        QString laisse = fichier;
        bool decompresse = false;
        if (viaLien && !RetelechargeLienDeSelection(fichier, destination_, laisse, decompresse)) {
            if (!arret_.Demandee())
                ++resultat.echecs;
            continue;
        }

        ++resultat.succes;
        // Through a link page, the page is gone: what counts is the last
        // linked file kept.
        resultat.dernierFichier = laisse;
        dernierDecompresse = decompresse;
        vue_.RangeeTelechargee(rangee.rangee);
        if (rangee.ligne >= 0 && rangee.ligne < qint32(marquee.size()))
            marquee[size_t(rangee.ligne)] = true;
        ++compteurPause;

        if (k + 1 < rangees.size() && !arret_.Demandee()) // no pause after the last row
            Pauses(cumul, compteurPause);
    }
    inet_.FixeDebitMax(0);
    resultat.succes += etat.succes;
    resultat.echecs += etat.echecs;
    if (!etat.dernierFichier.isEmpty())
        resultat.dernierFichier = etat.dernierFichier;
    resultat.arrete = arret_.Demandee();
    vue_.FinRun();
    vue_.Publie(); // before the messages that follow

    // The downloaded rows' lines leave the list copy, through its work file;
    // so do lines the service marked as removed.
    for (qsizetype i = 0; i < lignes.Nombre(); ++i)
        if (lignes.Octets(i).startsWith(Marque))
            marquee[size_t(i)] = true;
    const QString cheminListe = Variable("REP_TMP") + QStringLiteral("Liste.tmp");
    if (RemplaceParFichierTravail(cheminListe, lignes.Texte(&marquee), cheminListe + QStringLiteral(".tmp"), false)) {
        vue_.ListeRecrite(lignes.Retire(marquee));
    } else {
        // The rows that left the list would still be in the copy: row i would
        // no longer be line i + 1, and the next run would fetch other files
        // than those chosen. Both go; the next search rebuilds them.
        resultat.listeRecrite = false;
        MsgBox(QStringLiteral("La liste des fichiers n'a pas pu être mise à jour dans le dossier temporaire ") +
                   Variable("REP_TMP") +
                   QStringLiteral(" (plein ou non modifiable) : la liste des fichiers trouvés est vidée, "
                                  "relancez la recherche."),
               IconeMessage::Critique);
        lignes.Retire(std::vector<bool>(size_t(lignes.Nombre()), true));
        vue_.ListePerdue();
    }

    MsgBox(resultat.succes == 0   ? QStringLiteral("Aucun fichier téléchargé.")
           : resultat.succes == 1 ? QStringLiteral("Un fichier téléchargé avec succès.")
                                  : QString::number(resultat.succes) +
                                        QStringLiteral(" fichiers téléchargés avec succès."),
           IconeMessage::Information);

    if (resultat.succes == 1 && ouvrirALaFin) {
        QString verbe, parametres, dossier;
        bool attendre = false;
        if (Variable("LANCER_APRES_TELECHARGEMENT") == QLatin1String("O") && !dernierDecompresse) {
            verbe = QStringLiteral("open");
            LanceFichier(QLatin1Char('"') + resultat.dernierFichier + QLatin1Char('"'), true, verbe,
                         parametres, dossier, QStringLiteral("2"), attendre);
            resultat.terminer = true;
        } else if (Variable("COMPARER_LISTE_A_VERSION") == QLatin1String("O") ||
                   Variable("LANCER_APRES_TELECHARGEMENT") == QLatin1String("O")) {
            verbe = QStringLiteral("explore");
            LanceFichier(QLatin1Char('"') + RepertoireChemin(resultat.dernierFichier) + QLatin1Char('"'),
                         true, verbe, parametres, dossier, QStringLiteral("2"), attendre);
            resultat.terminer = true;
        }
    }
    return resultat;
}

bool MoteurTelechargement::TelechargeUn(const QString& texte, QString& adresse, const QString& fichier,
                                        const QString& refus, bool nomDeLAdresse) {
    if (SurfaceJauge* jauge = vue_.Jauge())
        InitialiseJauge(*jauge);
    vue_.DebutFichier(numero_, total_);
    vue_.AjouteLigne(QStringLiteral("[En cours] ") + texte);
    // A turn of the event loop at most every few milliseconds: the stop
    // button is served as soon, without a repaint per small file.
    CedeDeTempsEnTemps();

    QString raison = refus;
    double taille = 0;
    bool redirige = false;
    // A stop confirmed during that turn: no request starts after it.
    bool reussi = !arret_.Demandee() && refus.isEmpty();
    if (reussi) {
        const QString adresseDemandee = adresse;
        EssaisTransfert essais(echelle_);
        for (;;) {
            essais.Debut();
            adresse = adresseDemandee;
            IssueTransfert issue;
            reussi = TelechargeFichier(inet_, adresse, fichier, vue_.Jauge(), taille, redirige,
                                       OptionsTransfert{.reprise = true, .empreinte = empreinte_}, issue);
            raison = issue.raison;
            if (reussi || arret_.Demandee())
                break;
            const EssaisTransfert::Suite suite = essais.ApresEchec(issue, raison);
            if (suite.genre == EssaisTransfert::Suite::Genre::Nouvel) {
                // Shown on the gauge, the row's line staying "[En cours] ".
                vue_.Publie();
                if (!AttendSurJauge(suite.millisecondes,
                                    QStringLiteral("Nouvel essai dans %1 s (essai %2 sur %3)")
                                        .arg(QStringLiteral("%1"))
                                        .arg(essais.Essais() + 1)
                                        .arg(EssaisTransfert::EssaisMaxPassagers),
                                    vue_.Jauge(), arret_))
                    break;
                continue;
            }
            if (suite.genre == EssaisTransfert::Suite::Genre::AttenteServeur) {
                arret_.TempsPauseRestant = suite.secondes;
                vue_.Publie();
                vue_.AttenteServeur(suite.secondes);
                if (arret_.Demandee())
                    break;
                continue;
            }
            break;
        }
        if (!reussi)
            raison = essais.RaisonFinale(raison);
    }
    if (!reussi) {
        const QString nom = nomDeLAdresse ? NomFichierChemin(adresse) : texte;
        if (arret_.Demandee())
            vue_.RemplaceDerniereLigne(QStringLiteral("[Arrêt demandé] ") + nom, QString());
        else
            vue_.RemplaceDerniereLigne(QStringLiteral("[Erreur] ") + nom, raison);
        CedeDeTempsEnTemps();
    }
    return reussi;
}

void MoteurTelechargement::LanceEnVol(const std::vector<RangeeChoisie>& rangees, LignesListe& lignes, EtatRun& etat,
                                      int enVol, qint64 debit) {
    // One file per transfer object, all on the worker and the connections of
    // the run's own, each line of the report in list order: added when its
    // file starts, overwritten when it ends, whatever the order of the ends.
    struct Vol {
        size_t k = 0;   // the row
        int ligne = -1; // its line in the report (-1: not shown yet)
        Cible cible;
        Inet* canal = nullptr;
        std::unique_ptr<TransfertFichier> transfert; // none while it waits for another try
        EssaisTransfert essais;
        qint64 reprendA = 0; // when it waits: the moment of its next try (ms on `horloge`)
    };
    // Where only a free place decides when the next file starts (no pause
    // to make between two files, no rate to share), the next ones wait
    // ready on the worker, which starts one the moment another ends:
    // at a distance, the thread of the windows would otherwise add its turn
    // to every file. Their lines appear when they start.
    const int enAvance = pauses_ || debit > 0 ? 0 : std::min(enVol, 2);
    std::vector<std::unique_ptr<Inet>> canaux;
    std::vector<Inet*> libres{&inet_};
    for (int i = 1; i < enVol + enAvance; ++i) {
        auto canal = std::make_unique<Inet>(inet_);
        canal->AccessType = inet_.AccessType;
        canal->Proxy = inet_.Proxy;
        canal->RemotePort = inet_.RemotePort;
        canal->UserName = inet_.UserName;
        canal->Password = inet_.Password;
        canal->ProxyUserName = inet_.ProxyUserName;
        canal->ProxyPassword = inet_.ProxyPassword;
        canal->Protocol = inet_.Protocol;
        canal->RequestTimeout = inet_.RequestTimeout;
        canal->CertificatsAutorite = inet_.CertificatsAutorite;
        canal->Interruption = inet_.Interruption;
        libres.push_back(canal.get());
        canaux.push_back(std::move(canal));
    }
    inet_.FixeConnexionsParHote(enVol);
    inet_.FixeRequetesMax(enAvance > 0 ? enVol : 0);
    bool fileRetenue = false; // a server asked to wait: the worker holds the files ready
    if (SurfaceJauge* jauge = vue_.Jauge())
        InitialiseJauge(*jauge);

    std::vector<Vol> vols;
    // The outcome of each row, counted in list order once the rows before it
    // have theirs: the rows leave the list, the pauses fall and the last
    // file is named as a run of one file at a time would have them.
    std::vector<double> octetsRecus(rangees.size(), -2); // -2: not ended, -1: failed
    size_t aCompter = 0;
    std::vector<int> pausesDues;      // the pauses to make once the files in flight have ended
    qint64 attenteServeurJusqua = -1; // a server asked to wait: no file starts before (ms on `horloge`)
    QElapsedTimer horloge;
    horloge.start();
    size_t prochain = 0;
    int lignesRapport = 0;
    int actifsAvant = -1;
    const OptionsTransfert base{.reprise = true};

    const auto demarre = [&](Vol& v) {
        v.essais.Debut();
        OptionsTransfert options = base;
        options.empreinte = v.cible.empreinte;
        v.transfert = std::make_unique<TransfertFichier>(*v.canal, v.cible.adresse, v.cible.fichier, nullptr, options);
    };
    const auto compte = [&] {
        for (; aCompter < rangees.size() && octetsRecus[aCompter] != -2; ++aCompter) {
            if (octetsRecus[aCompter] < 0)
                continue;
            const RangeeChoisie& rangee = rangees[aCompter];
            etat.cumul += octetsRecus[aCompter];
            ++etat.succes;
            etat.dernierFichier = CibleDe(rangee, lignes).fichier;
            etat.dernierDecompresse = false;
            vue_.RangeeTelechargee(rangee.rangee);
            if (rangee.ligne >= 0 && rangee.ligne < qint32(etat.marquee.size()))
                etat.marquee[size_t(rangee.ligne)] = true;
            ++etat.compteurPause;
            // A pause due waits for the files in flight: none starts meanwhile.
            if (aCompter + 1 < rangees.size())
                AppliqueReglesPause(reglages_, etat.cumul, etat.compteurPause, [&](int secondes) {
                    pausesDues.push_back(secondes);
                    return true;
                });
        }
    };
    // The gauge of the files in flight together: the bytes they received
    // of the sizes they announced, none while one of them announced none.
    // Its rate is the run's: the files that ended count too.
    bool jaugeVisible = true;
    double octetsFinis = 0;
    const auto montreJauge = [&] {
        SurfaceJauge* jauge = vue_.Jauge();
        if (!jauge)
            return;
        double recus = 0, total = 0;
        bool connu = true;
        for (const Vol& v : vols)
            if (v.transfert && v.transfert->EntetesLus()) {
                connu = connu && v.transfert->Total() >= 0;
                recus += v.transfert->Recus();
                total += v.transfert->Total();
            }
        if (!connu) {
            if (jaugeVisible)
                MasqueJauge(*jauge);
            jaugeVisible = false;
            return;
        }
        if (!jaugeVisible)
            InitialiseJauge(*jauge);
        jaugeVisible = true;
        if (total > 0)
            MontreOctetsSurJauge(*jauge, recus, std::max(total, recus), horloge.elapsed(), octetsFinis + recus);
    };
    const auto libere = [&](Vol& v) {
        v.transfert.reset();
        if (v.canal)
            libres.push_back(v.canal);
        v.canal = nullptr;
    };
    // The lines of the files that started, in list order: a file ready on
    // the worker shows its line once it starts, and the ones after it wait
    // for it. `jusqua`: the rows up to it are shown, started or not (one that
    // ended before its request left); -1: none. A row refused is shown in
    // its turn, and then done (retireRefusees).
    const auto montreLignes = [&](qsizetype jusqua) {
        for (Vol& v : vols) {
            if (v.ligne >= 0)
                continue;
            const bool refusee = !v.cible.refus.isEmpty();
            if (qsizetype(v.k) > jusqua && !refusee && !(v.transfert && v.canal->Lancee()))
                break;
            numero_ = int(v.k + 1);
            vue_.DebutFichier(numero_, total_);
            vue_.AjouteLigne(QStringLiteral("[En cours] ") + rangees[v.k].texte);
            v.ligne = lignesRapport++;
            if (refusee) {
                vue_.RemplaceLigne(v.ligne, QStringLiteral("[Erreur] ") + rangees[v.k].texte, v.cible.refus);
                ++etat.echecs;
                octetsRecus[v.k] = -1;
            }
        }
    };
    const auto retireRefusees = [&] {
        std::erase_if(vols, [](const Vol& v) { return v.ligne >= 0 && !v.cible.refus.isEmpty(); });
    };
    // A file whose request the network has: not one waiting on the worker.
    const auto enCours = [&](const Vol& v) { return v.transfert && (enAvance == 0 || v.canal->Lancee()); };

    for (;;) {
        if (arret_.Demandee()) {
            // Every file in flight ends now, each line saying so; none starts
            // (one still waiting on the worker never started: no line, and
            // the places the others free go to none of them).
            inet_.RetiensFile(true);
            montreLignes(-1);
            retireRefusees();
            for (Vol& v : vols) {
                if (v.transfert)
                    v.transfert->Arrete();
                if (v.ligne >= 0)
                    vue_.RemplaceLigne(v.ligne, QStringLiteral("[Arrêt demandé] ") + rangees[v.k].texte,
                                       QString());
                octetsRecus[v.k] = -1;
                libere(v);
            }
            vols.clear();
            compte(); // the files that ended before the stop count
            break;
        }
        // Something ended or started in this turn: the next turn comes at
        // once (a freed slot starts its next file without waiting for news).
        bool progres = false;
        const qint64 maintenant = horloge.elapsed();
        if (fileRetenue && maintenant >= attenteServeurJusqua) {
            inet_.RetiensFile(false);
            fileRetenue = false;
        }
        while (prochain < rangees.size() && int(vols.size()) < enVol + enAvance && pausesDues.empty() &&
               maintenant >= attenteServeurJusqua) {
            const size_t k = prochain++;
            Vol v;
            v.essais = EssaisTransfert(echelle_);
            v.k = k;
            v.cible = CibleDe(rangees[k], lignes);
            if (v.cible.refus.isEmpty()) {
                v.canal = libres.back();
                libres.pop_back();
                demarre(v);
            }
            vols.push_back(std::move(v));
            // Without files waiting ready, each line appears as its file is given.
            if (enAvance == 0)
                montreLignes(qsizetype(k));
            progres = true;
        }
        montreLignes(-1);
        retireRefusees();

        // The run's cap shared among the files receiving now.
        int actifs = 0;
        for (const Vol& v : vols)
            actifs += enCours(v);
        if (debit > 0 && actifs != actifsAvant && actifs > 0) {
            for (const Vol& v : vols)
                if (v.canal)
                    v.canal->FixeDebitMax(std::max<qint64>(debit / actifs, 1));
            actifsAvant = actifs;
        }

        for (size_t i = 0; i < vols.size();) {
            Vol& v = vols[i];
            if (!v.cible.refus.isEmpty()) { // waits for its line
                ++i;
                continue;
            }
            if (!v.transfert) {
                if (horloge.elapsed() >= v.reprendA && horloge.elapsed() >= attenteServeurJusqua) {
                    demarre(v);
                    progres = true;
                }
                ++i;
                continue;
            }
            if (!v.transfert->Avance()) {
                // More has come than a step takes: the next turn comes at once.
                progres = progres || !v.transfert->AttendLeReseau();
                ++i;
                continue;
            }
            progres = true;
            if (v.ligne < 0)
                montreLignes(qsizetype(v.k)); // ended before the worker said it started
            const IssueTransfert issue = v.transfert->Issue();
            const RangeeChoisie& rangee = rangees[v.k];
            if (issue.genre == IssueTransfert::Genre::Occupe)
                fileRetenue = true; // released once its wait, if any, is over
            if (issue.genre == IssueTransfert::Genre::Reussi) {
                const double octets = double(QFileInfo(v.cible.fichier).size());
                vue_.RemplaceLigne(v.ligne, LigneOk(rangee.texte, octets), QString());
                octetsRecus[v.k] = octets;
                octetsFinis += octets;
                libere(v);
                vols.erase(vols.begin() + qsizetype(i));
                continue;
            }
            if (issue.genre == IssueTransfert::Genre::Arret && arret_.Demandee())
                break; // seen at the top of the loop
            QString raison = issue.raison;
            const EssaisTransfert::Suite suite = v.essais.ApresEchec(issue, raison);
            v.transfert.reset();
            if (suite.genre == EssaisTransfert::Suite::Genre::Nouvel) {
                v.reprendA = horloge.elapsed() + suite.millisecondes;
                ++i;
                continue;
            }
            if (suite.genre == EssaisTransfert::Suite::Genre::AttenteServeur) {
                // The whole run waits: no file starts, those in flight go on.
                v.reprendA = horloge.elapsed() + qint64(suite.secondes) * 1000;
                attenteServeurJusqua = std::max(attenteServeurJusqua, v.reprendA);
                ++i;
                continue;
            }
            vue_.RemplaceLigne(v.ligne, QStringLiteral("[Erreur] ") + rangee.texte, v.essais.RaisonFinale(raison));
            ++etat.echecs;
            octetsRecus[v.k] = -1;
            libere(v);
            vols.erase(vols.begin() + qsizetype(i));
        }

        compte();
        montreJauge();

        actifs = 0;
        for (const Vol& v : vols)
            actifs += enCours(v);
        if (actifs == 0 && !arret_.Demandee()) {
            if (!pausesDues.empty() && vols.empty()) {
                // The files in flight have ended: now the pauses, unless
                // no file is left to start (no pause after the last one).
                for (const int secondes : pausesDues) {
                    if (prochain >= rangees.size())
                        break;
                    arret_.TempsPauseRestant = secondes;
                    vue_.Pause(secondes);
                    if (arret_.Demandee())
                        break;
                }
                pausesDues.clear();
                continue;
            }
            if (horloge.elapsed() < attenteServeurJusqua) {
                // Only files waiting for the server are left: its wait, shown.
                const int secondes = int((attenteServeurJusqua - horloge.elapsed() + 999) / 1000);
                arret_.TempsPauseRestant = secondes;
                vue_.AttenteServeur(secondes);
                attenteServeurJusqua = -1;
                for (Vol& v : vols)
                    v.reprendA = std::min(v.reprendA, horloge.elapsed());
                continue;
            }
        }
        if (vols.empty() && prochain >= rangees.size())
            break;
        if (progres)
            CedeDeTempsEnTemps();
        else
            PatienteUnPeu();
    }
    inet_.FixeConnexionsParHote(0);
    inet_.FixeRequetesMax(0);
    for (Inet* canal : libres)
        canal->FixeDebitMax(0);
    if (SurfaceJauge* jauge = vue_.Jauge())
        MasqueJauge(*jauge);
}

bool MoteurTelechargement::RetelechargeLienDeSelection(const QString& page, const QString& dossier,
                                                      QString& laisse, bool& decompresse) {
    const InterruptionPour arret(inet_, arret_);
    laisse.clear();
    decompresse = false;

    ListeAuto adresses, types, textes;
    ExtraitLiensHTML(page, Variable("ADRESSE_BASE_LIENS_INTERNET"), adresses, types, &textes);
    EffaceFichier(page, false);

    const QString texte = Variable("SUPPR_LIENS_DIFF_TXT2").toUpper();
    if (!texte.isEmpty())
        FiltreLiens(adresses, types, textes, [&](const QString& adresse) { return adresse.contains(texte); });
    const QString extension = Variable("CONSERVER_UNE_SEULE_EXTENSION").toUpper();
    if (!extension.isEmpty())
        FiltreLiens(adresses, types, textes,
                    [&](const QString& adresse) { return ExtensionFichier(adresse) == extension; });

    const qint32 nombre = adresses.NbElementsListe();
    if (nombre == 0) {
        vue_.AjouteLigne(QStringLiteral("[Attention] Aucun lien dans le fichier téléchargé"));
        CedeDeTempsEnTemps();
        return false;
    }

    const bool aDecompresser = Variable("DECOMPRESSER_LIEN_ZIP") == QLatin1String("O");
    std::unique_ptr<Cls_Zip> zip; // made at the first archive, used for all of this page's
    bool resultat = false;
    empreinte_.clear(); // the row's digest is its page's, not its links'
    for (qint32 i = 0; i < nombre; ++i) {
        if (arret_.Demandee())
            break;
        QString adresse = adresses.RenvoieElement(i);
        const QString nomAvant = NomFichierChemin(adresse);
        const QString destination = dossier + nomAvant;
        if (!TelechargeUn(nomAvant, adresse, destination, NomDansDossier(nomAvant) ? QString() : NomRefuse + adresse,
                          true))
            continue;
        // After a redirection the lines name what the server actually sent.
        const QString nom = NomFichierChemin(adresse);
        QString raison;
        bool issue = true;
        if (aDecompresser) {
            if (!zip) {
                zip = std::make_unique<Cls_Zip>();
                // A large archive takes a while: the windows keep answering
                // (the stop button included).
                zip->FixeSuivi([] { CedeDeTempsEnTemps(); });
                // A stop asked meanwhile ends the unpack between entries or
                // inside a large one; what was written stays.
                zip->FixeArret([this] { return arret_.Demandee(); });
            }
            issue = false;
            bool arrete = false;
            vue_.Publie(); // an encrypted archive asks for its password
            if (zip->Get_Contents(destination) == Cls_Zip::ZipOk) {
                const QList<bool> tout(zip->FileCount() + 1, true); // index 0 unused
                const short code = zip->UnPack(tout, RepertoireChemin(destination));
                issue = code == Cls_Zip::ZipOk;
                arrete = code == Cls_Zip::ZipStopped;
            }
            if (arrete) {
                vue_.RemplaceDerniereLigne(QStringLiteral("[Arrêt demandé] ") + nom, QString());
                EffaceFichier(destination, false);
                CedeDeTempsEnTemps();
                continue;
            }
            if (!issue) {
                MsgBox(QStringLiteral("Problème lors de la décompression ZIP."), IconeMessage::Exclamation);
                raison = QStringLiteral("archive illisible ou non décompressée");
                if (!zip->Raison().isEmpty())
                    raison += QStringLiteral(" (") + zip->Raison() + QLatin1Char(')');
            }
        }
        if (issue)
            vue_.RemplaceDerniereLigne(LigneOk(nom, double(TailleFichier(destination))), QString());
        else
            vue_.RemplaceDerniereLigne(QStringLiteral("[Erreur] ") + nom, raison);
        if (aDecompresser)
            EffaceFichier(destination, false); // its contents are what the user keeps
        CedeDeTempsEnTemps();

        resultat = issue;
        if (issue) {
            laisse = destination;
            decompresse = aDecompresser;
        }
    }
    return resultat;
}
