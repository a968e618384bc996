// The run without windows: the service's search and download run as the
// windows run them, with a terminal, or nobody at all, in their place.
#include "app/SansFenetre.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "app/NotificationBureau.h"
#include "config/Fonctions_Variables.h"
#include "config/CoffreSecrets.h"
#include "config/ReglagesConnexion.h"
#include "config/Service.h"
#include "download/MoteurTelechargement.h"
#include "download/Progression.h"
#include "net/Attente.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/LignesListe.h"
#include "search/MoteurRecherche.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Math.h"
#include "util/Fonctions_Messages.h"
#include "util/Fonctions_Shell.h"
#include "util/Arret.h"
#include "util/SignauxArret.h"

#ifndef RAMAGLIN_VERSION
#define RAMAGLIN_VERSION "?"
#endif

namespace {

constexpr int SortieReussie = 0;
constexpr int SortieEchecs = 1;
constexpr int SortieConfiguration = 2;
// Another program is searching the same service: a timer may try again later
// (EX_TEMPFAIL).
constexpr int SortieOccupe = 75;

const QString Utilisation = QStringLiteral(
    "Utilisation : ramaglin FICHIER\n"
    "              ramaglin --sans-fenetre [--mot-de-passe MOT] [--sans-notification] FICHIER\n"
    "              ramaglin --apercu FICHIER\n"
    "              ramaglin --aide | --version\n"
    "\n"
    "FICHIER est le fichier paramètre d'un service. Sans option, la fenêtre s'ouvre.\n"
    "\n"
    "  --sans-fenetre       recherche, puis télécharge tous les fichiers trouvés, sans\n"
    "                       fenêtre ni écran (terminal, cron, minuterie systemd)\n"
    "  --apercu             montre ce que téléchargerait --sans-fenetre (fichiers,\n"
    "                       tailles, pauses) sans rien télécharger\n"
    "  --mot-de-passe MOT   mot de passe des archives ZIP chiffrées (sans lui, elles\n"
    "                       ne sont pas décompressées)\n"
    "  --sans-notification  pas de notification du bureau à la fin de --sans-fenetre\n"
    "                       (sinon : les nouveaux fichiers, ou la raison d'un échec)\n"
    "  --aide               affiche cette aide\n"
    "  --version            affiche la version\n"
    "\n"
    "Le compte rendu va sur la sortie standard, les erreurs, les pauses et la\n"
    "progression sur la sortie d'erreur.\n"
    "\n"
    "Code de sortie : 0 tout est arrivé (ou rien de nouveau), 1 au moins un fichier\n"
    "en échec, 2 configuration ou recherche en échec, 75 une autre recherche du\n"
    "service en cours (à réessayer), 130 ou 143 arrêté par SIGINT ou SIGTERM.\n");

const QString EnCours = QStringLiteral("[En cours] ");

bool EstTerminal(std::FILE* flux) {
#ifdef _WIN32
    return _isatty(_fileno(flux)) != 0;
#else
    return isatty(fileno(flux)) == 1;
#endif
}

// Standard output carries the report, standard error the rest. On a terminal
// standard error also carries one line of progress rewritten in place; it is
// wiped before anything else is written, so that the two never mix on screen.
class Console {
public:
    bool Terminal() const { return terminal_; }

    // `immediat` false: left to the stream's buffer (long listings).
    void Sortie(const QString& ligne, bool immediat = true) {
        Efface();
        Ecrit(stdout, ligne + QLatin1Char('\n'), immediat);
    }
    void Erreur(const QString& ligne) {
        Efface();
        Ecrit(stderr, ligne + QLatin1Char('\n'), true);
    }

    void Progression(const QString& texte) {
        if (!terminal_)
            return;
        // A line longer than the terminal would wrap, and "\r" would then
        // rewrite only its last piece.
        QString ligne = texte.left(std::max(1, Largeur() - 1));
        const qsizetype precedente = affichee_;
        affichee_ = ligne.size();
        if (ligne.size() < precedente)
            ligne += QString(precedente - ligne.size(), QLatin1Char(' '));
        std::fflush(stdout); // the report's lines before the progress that follows them
        Ecrit(stderr, QLatin1Char('\r') + ligne, true);
    }
    void Efface() {
        if (affichee_ == 0)
            return;
        Ecrit(stderr, QLatin1Char('\r') + QString(affichee_, QLatin1Char(' ')) + QLatin1Char('\r'), true);
        affichee_ = 0;
    }

private:
    static void Ecrit(std::FILE* flux, const QString& texte, bool immediat) {
        // UTF-8 whatever the locale: under cron the locale is often "C".
        const QByteArray octets = texte.toUtf8();
        if (!octets.isEmpty())
            std::fwrite(octets.constData(), 1, size_t(octets.size()), flux);
        if (immediat)
            std::fflush(flux);
    }
    static int Largeur() {
#ifndef _WIN32
        winsize taille{};
        if (ioctl(fileno(stderr), TIOCGWINSZ, &taille) == 0 && taille.ws_col > 0)
            return taille.ws_col;
#endif
        return 80;
    }

    const bool terminal_ = EstTerminal(stderr);
    qsizetype affichee_ = 0; // characters of the progress line on screen (0: none)
};

Console gConsole;

// The progress line of the terminal: the run's line, rewritten in place at
// most five times a second (the transfer draws every new percentage: on a
// fast link that is a hundred lines a second, which a terminal only shows as
// flicker), wiped when the gauge goes.
class JaugeTerminal final : public SurfaceJauge {
public:
    JaugeTerminal() { suivi_.Dessous(this); }
    explicit JaugeTerminal(const QString& sujet) : JaugeTerminal() { suivi_.Sujet(sujet); }
    // What the transfer layer draws on.
    JaugeSuivie& Suivi() { return suivi_; }

    void MontreSurface(bool visible) override {
        if (!visible)
            gConsole.Efface();
        dernier_.invalidate();
    }
    void DessineSurface(int, const QString&) override {}

private:
    void Montre(const QString& texte) {
        if (dernier_.isValid() && dernier_.elapsed() < 200)
            return;
        dernier_.start();
        gConsole.Progression(texte);
    }

    QElapsedTimer dernier_;
    JaugeSuivie suivi_{[this](const QString& texte) { Montre(texte); }};
};

// What the desktop is told at the end of a run: the numbers, and the first
// reason a file or the run failed.
struct BilanRun {
    int nouveaux = 0, echecs = 0;
    QString raison;
    QString titre, dossier; // the service's, once it is loaded
};

// The report as lines of standard output: each file's line once it has its
// outcome, exactly as the report window words it.
class VueTerminal final : public VueTelechargement {
public:
    void DebutRun() override {
        lignes_ = prochaine_ = 0;
        sorties_.clear();
    }
    void DebutFichier(int k, int n) override {
        jauge_.Suivi().Fichier(k, n);
    }
    // A file in transfer is the progress line's business; its outcome takes
    // the report line's place, written in the report's order (with several
    // files in flight, an outcome waits for those of the lines before it).
    void AjouteLigne(const QString& texte) override {
        const int ligne = lignes_++;
        if (!texte.startsWith(EnCours))
            Ecrit(ligne, texte, QString());
    }
    void RemplaceDerniereLigne(const QString& texte, const QString& raison) override {
        Ecrit(lignes_ - 1, texte, raison);
    }
    void RemplaceLigne(int ligne, const QString& texte, const QString& raison) override {
        Ecrit(ligne, texte, raison);
    }
    void Publie() override {
        // The lines are out as soon as written; only the progress line goes.
        gConsole.Efface();
    }
    SurfaceJauge* Jauge() override {
        // Nobody watches a gauge in a log: no caption is made for it.
        return gConsole.Terminal() ? &jauge_.Suivi() : nullptr;
    }
    void RangeeTelechargee(int) override {}
    void Pause(int secondes) override;
    void AttenteServeur(int secondes) override;
    void FinRun() override {
        for (const auto& [ligne, texte] : sorties_) // none should wait here
            gConsole.Sortie(texte);
        sorties_.clear();
        gConsole.Efface();
    }
    void ListeRecrite(const std::vector<qint32>&) override {}
    void ListePerdue() override {}

    QString premiereRaison; // of the first file that failed

private:
    void Ecrit(int ligne, const QString& texte, const QString& raison) {
        if (texte.startsWith(EnCours) || ligne < prochaine_)
            return;
        if (premiereRaison.isEmpty() && texte.startsWith(QLatin1String("[Erreur] ")))
            premiereRaison = raison;
        sorties_[ligne] = raison.isEmpty() ? texte : texte + QLatin1Char('\t') + raison;
        for (auto it = sorties_.begin(); it != sorties_.end() && it->first == prochaine_; it = sorties_.erase(it)) {
            gConsole.Sortie(it->second);
            ++prochaine_;
        }
    }
    int lignes_ = 0, prochaine_ = 0;    // lines of the report; the next one to write
    std::map<int, QString> sorties_;    // outcomes waiting for those before them

    // Waits `secondes` seconds, or until a stop, the time left on the
    // progress line of a terminal.
    void CompteARebours(int secondes);

    JaugeTerminal jauge_;
};

void VueTerminal::AttenteServeur(int secondes) {
    if (secondes <= 0)
        return;
    // Said in every case, log or terminal: the run is slower than the
    // service's own pauses would make it, and this is why.
    gConsole.Erreur(Pluriel(secondes, QStringLiteral("Le serveur demande d'attendre # seconde"),
                            QStringLiteral("Le serveur demande d'attendre # secondes")));
    CompteARebours(secondes);
}

void VueTerminal::Pause(int secondes) {
    if (secondes <= 0)
        return;
    if (!gConsole.Terminal())
        gConsole.Erreur(Pluriel(secondes, QStringLiteral("Pause de # seconde"),
                                QStringLiteral("Pause de # secondes")));
    CompteARebours(secondes);
}

void VueTerminal::CompteARebours(int secondes) {
    const QDeadlineTimer fin(qint64(secondes) * 1000);
    qint64 affichee = -1;
    while (!ArretRun().Demandee() && !fin.hasExpired()) {
        const qint64 reste = (fin.remainingTime() + 999) / 1000;
        if (reste != affichee) {
            gConsole.Progression(QStringLiteral("Pause : %1 s").arg(reste));
            affichee = reste;
        }
        PatienteUnPeu(int(std::clamp<qint64>(fin.remainingTime(), 1, 100)));
    }
    gConsole.Efface();
}

// Messages for whoever reads the output: results on standard output, problems
// on standard error. Nobody answers questions: each gets the answer that
// loses nothing, and the output says so.
class MessagesTerminal final : public GestionnaireMessages {
public:
    explicit MessagesTerminal(const OptionsLigneCommande& options)
        : avecMotDePasse_(options.avecMotDePasse), motDePasse_(options.motDePasse) {}

    ReponseMessage Affiche(const QString& texte, IconeMessage icone, BoutonsMessage boutons,
                           const QString&) override {
        if (boutons == BoutonsMessage::OuiNon) {
            gConsole.Erreur(texte + QStringLiteral(" Non (personne pour répondre sans fenêtre)"));
            return ReponseMessage::Non;
        }
        if (icone == IconeMessage::Information) {
            gConsole.Sortie(texte);
        } else {
            gConsole.Erreur(texte);
            if (icone == IconeMessage::Critique || icone == IconeMessage::Exclamation)
                dernierProbleme = texte;
        }
        return ReponseMessage::Ok;
    }
    // The one question asked with an input box is an archive's password.
    bool Demande(const QString& invite, const QString&, QString& reponse) override {
        if (avecMotDePasse_) {
            reponse = motDePasse_;
            return true;
        }
        gConsole.Erreur(QStringLiteral("Mot de passe demandé (« %1 ») : aucun n'a été donné "
                                       "(option --mot-de-passe MOT), l'archive n'est pas décompressée.")
                            .arg(invite));
        reponse.clear();
        return false;
    }

    QString dernierProbleme; // the last problem told: why a run failed, for the desktop

private:
    bool avecMotDePasse_;
    QString motDePasse_;
};

// Nothing is opened for a user who is not there: the output names the file or
// folder the window would have opened, and the run ends as after an opening.
class ShellTerminal final : public GestionnaireShell {
public:
    bool Ouvre(const QString& verbe, const QString& cible, const QString&, const QString&, int) override {
        gConsole.Sortie((verbe == QLatin1String("explore") ? QStringLiteral("Dossier : ")
                                                          : QStringLiteral("Fichier téléchargé : ")) +
                        cible);
        return true;
    }
    qint64 Lance(const QString& ligneCommande, bool) override {
        // A downloaded program is never started unattended.
        gConsole.Sortie(QStringLiteral("Fichier téléchargé : ") +
                        QProcess::splitCommand(ligneCommande).value(0, ligneCommande));
        return ProgrammeTenuPourLance;
    }

private:
    // The launcher counts an identifier above 32 as a program started.
    static constexpr qint64 ProgrammeTenuPourLance = 33;
};

// SIGINT and SIGTERM stop the search or the run in progress as the stop
// button does: what can be resumed is kept, the list copy rewritten, the
// summary printed; the exit status then says which signal it was. A signal
// is final: a search or a run that begins after it is stopped at once.
class GardeSignaux {
public:
    GardeSignaux() = default;
    GardeSignaux(const GardeSignaux&) = delete;
    GardeSignaux& operator=(const GardeSignaux&) = delete;

    static bool SignalRecu() { return SignauxArret::Recu() != 0; }
    static int Statut(int statut) { return SignalRecu() ? 128 + SignauxArret::Recu() : statut; }

    // `arret` (a search's or a run's) is the one a signal asks while this
    // lives.
    class Pour {
    public:
        Pour(GardeSignaux& garde, Arret& arret) : garde_(garde), avant_(garde.courant_) {
            garde.courant_ = &arret;
            if (SignalRecu())
                arret.Demande();
        }
        ~Pour() { garde_.courant_ = avant_; }
        Pour(const Pour&) = delete;
        Pour& operator=(const Pour&) = delete;

    private:
        GardeSignaux& garde_;
        Arret* avant_;
    };

private:
    void Recu(int numero) {
        gConsole.Erreur(QStringLiteral("Arrêt demandé (%1) : le fichier commencé ne sera pas conservé.")
                            .arg(numero == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")));
        if (courant_)
            courant_->Demande();
    }

    Arret* courant_ = nullptr;
    SignauxArret signaux_{[this](int numero) { Recu(numero); }};
};

// The service loaded and its list searched, as the window's start-up and its
// search button do, under the service's lock (`verrou`, held by the caller
// until its run ends). Returns the exit status when the run ends there, -1
// when rows were found.
int ChercheListe(const QString& fichier, Inet& inet, GardeSignaux& signaux, ReglagesConnexion& reglages,
                 VerrouListe& verrou, MoteurRecherche::Resultat& resultat, BilanRun& bilan) {
    const QString dossier = AvecSeparateurFinal(QCoreApplication::applicationDirPath());
    // The connection the window was set to; only the window changes it. With
    // the system's settings, their first answer is prepared meanwhile.
    LitRamagIni(CheminRamagIni(dossier, false), reglages);
    std::jthread preparation;
    if (!reglages.particulier)
        preparation = PrepareProxySysteme();
    if (!ChargeService(dossier, fichier))
        return SortieConfiguration;
    const auto lit = [](const QString& nom) {
        return VariablesService().Existe(nom, 0) ? VariablesService().Lit(nom) : QString();
    };
    bilan.titre = lit(QStringLiteral("TITRE_TELECHARGEMENT")).replace(QLatin1Char('#'), QLatin1Char(' '));
    bilan.dossier = lit(QStringLiteral("CHEMIN_DESTINATION_FICHIER_SOURCE"));
    switch (verrou.Prend(LitVariable(QStringLiteral("REP_TMP")))) {
    case VerrouListe::Etat::Pris: break;
    case VerrouListe::Etat::Occupe: return SortieOccupe;
    case VerrouListe::Etat::Illisible: return SortieConfiguration;
    }
    if (!reglages.utilisateurProxy.isEmpty()) {
        // The proxy's password, from the desktop's secret store; a store that
        // is absent or does not answer in time leaves none.
        const QString cle = CleProxy(reglages.utilisateurProxy, reglages.adresseProxy);
        const ReponseCoffre r = AttendCoffre(
            [&](QObject* contexte, CoffreSecrets::Suite suite) { Coffre().Lit(cle, contexte, std::move(suite)); },
            5000);
        if (r.etat == ReponseCoffre::Etat::Indisponible)
            gConsole.Erreur(QStringLiteral("Trousseau de mots de passe indisponible (%1) : le proxy est utilisé "
                                           "sans mot de passe.")
                                .arg(r.erreur));
        inet.ProxyUserName = reglages.utilisateurProxy;
        inet.ProxyPassword = r.motDePasse;
    }

    JaugeTerminal jauge(QStringLiteral("Liste du service"));
    bool rechercheEffectuee = false;
    MoteurRecherche moteur(inet);
    const GardeSignaux::Pour arret(signaux, moteur.Interruption());
    resultat = moteur.Lance(VariablesService(), reglages, gConsole.Terminal() ? &jauge.Suivi() : nullptr,
                            rechercheEffectuee);
    gConsole.Efface();
    switch (resultat.issue) {
    case MoteurRecherche::Issue::Echec:
        if (!resultat.raison.isEmpty()) {
            bilan.raison = QStringLiteral("Echec lors de la recherche : ") + resultat.raison;
            gConsole.Erreur(bilan.raison + QLatin1Char('.'));
        }
        return SortieConfiguration;
    case MoteurRecherche::Issue::RienDeNouveau: return SortieReussie;
    case MoteurRecherche::Issue::Trouve: break;
    }
    // A service that does not show its list leaves the window nothing to
    // choose from: nothing is chosen here either.
    if (!resultat.afficher || !resultat.lignes || resultat.lignes->EstVide())
        return SortieReussie;
    return -1;
}

int Telecharge(const OptionsLigneCommande& options, Inet& inet, GardeSignaux& signaux, BilanRun& bilan) {
    ReglagesConnexion reglages;
    VerrouListe verrou;
    MoteurRecherche::Resultat trouve;
    if (const int statut = ChercheListe(options.fichier, inet, signaux, reglages, verrou, trouve, bilan); statut >= 0)
        return statut;
    // The list's block may name another folder.
    if (trouve.reglages->Existe(QStringLiteral("CHEMIN_DESTINATION_FICHIER_SOURCE"), 0))
        bilan.dossier = trouve.reglages->Lit(QStringLiteral("CHEMIN_DESTINATION_FICHIER_SOURCE"));

    LignesListe& lignes = *trouve.lignes;
    std::vector<RangeeChoisie> rangees;
    rangees.reserve(size_t(lignes.Nombre()));
    for (qsizetype i = 0; i < lignes.Nombre(); ++i)
        rangees.push_back({int(i), qint32(i), lignes.Colonne(i, trouve.colonne)});

    VueTerminal vue;
    MoteurTelechargement moteur(inet, vue, *trouve.reglages);
    if (!moteur.Prepare())
        return SortieConfiguration;
    // A signal already there: nothing starts.
    if (GardeSignaux::SignalRecu())
        return SortieReussie;
    const GardeSignaux::Pour arret(signaux, moteur.Interruption());
    const MoteurTelechargement::Resultat r = moteur.Lance(rangees, lignes, reglages, true);
    bilan.nouveaux = r.succes;
    bilan.echecs = r.echecs;
    bilan.raison = vue.premiereRaison;
    return r.echecs > 0 || !r.listeRecrite ? SortieEchecs : SortieReussie;
}

int Apercu(const OptionsLigneCommande& options, Inet& inet, GardeSignaux& signaux) {
    ReglagesConnexion reglages;
    VerrouListe verrou;
    MoteurRecherche::Resultat trouve;
    BilanRun bilan;
    if (const int statut = ChercheListe(options.fichier, inet, signaux, reglages, verrou, trouve, bilan); statut >= 0)
        return statut;

    const LignesListe& lignes = *trouve.lignes;
    const TableVariables& service = *trouve.reglages;
    const bool avecTaille = service.Oui(QStringLiteral("CALCULER_TAILLE_SELECTION"));
    const int colonneTaille = EntierSouple(service.Lit(QStringLiteral("COLONNE_TAILLE")));
    std::vector<double> tailles(size_t(lignes.Nombre()), 0.0);
    double total = 0;
    for (qsizetype i = 0; i < lignes.Nombre(); ++i) {
        QString ligne = lignes.Colonne(i, trouve.colonne);
        if (avecTaille) {
            tailles[size_t(i)] = ValeurNombre(lignes.Colonne(i, colonneTaille));
            total += tailles[size_t(i)];
            ligne += QLatin1Char('\t') + FormateTaille(tailles[size_t(i)], false);
        }
        gConsole.Sortie(ligne, false);
    }
    QString resume = QStringLiteral("Total : ") +
                     Pluriel(lignes.Nombre(), QStringLiteral("# fichier"), QStringLiteral("# fichiers"));
    if (avecTaille)
        resume += QStringLiteral(", ") + FormateTaille(total, false);
    gConsole.Sortie(resume, false);

    const std::vector<MoteurTelechargement::PausePrevue> pauses = MoteurTelechargement::PausesPrevues(service, tailles);
    qint64 duree = 0;
    for (const MoteurTelechargement::PausePrevue& p : pauses)
        duree += p.secondes;
    gConsole.Sortie(pauses.empty() ? QStringLiteral("Pauses : aucune")
                                   : QStringLiteral("Pauses : %1, %2 en tout").arg(pauses.size()).arg(FormateDuree(duree)));
    return SortieReussie;
}

// The desktop hears of a run that fetched something or failed: not of one
// that found nothing new, was busy (another search of the service) or was
// stopped by whoever sent the signal.
void NotifieFin(int statut, const BilanRun& bilan, const QString& dernierProbleme) {
    QString corps;
    if (statut == SortieReussie && bilan.nouveaux > 0) {
        corps = Pluriel(bilan.nouveaux, QStringLiteral("# nouveau fichier"), QStringLiteral("# nouveaux fichiers"));
    } else if (statut == SortieEchecs || statut == SortieConfiguration) {
        if (bilan.echecs > 0) {
            corps = Pluriel(bilan.echecs, QStringLiteral("# fichier en échec"), QStringLiteral("# fichiers en échec"));
            if (!bilan.raison.isEmpty())
                corps += QStringLiteral(" : ") + bilan.raison;
            if (bilan.nouveaux > 0)
                corps = Pluriel(bilan.nouveaux, QStringLiteral("# nouveau fichier"),
                                QStringLiteral("# nouveaux fichiers")) + QStringLiteral(", ") + corps;
        } else {
            corps = !bilan.raison.isEmpty() ? bilan.raison : dernierProbleme;
        }
        if (corps.isEmpty())
            corps = QStringLiteral("Echec");
    } else {
        return;
    }
    NotifieBureau(QCoreApplication::applicationFilePath(),
                  {bilan.titre.trimmed().isEmpty() ? TitreApplication : bilan.titre, corps,
                   bilan.nouveaux > 0 ? bilan.dossier : QString()});
}

} // namespace

OptionsLigneCommande LitLigneCommande(int argc, char** argv) {
    using Mode = OptionsLigneCommande::Mode;
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);

    OptionsLigneCommande o;
    // The run's own notification process: its texts as they are, whatever
    // they start with.
    if (arguments.size() == 4 && arguments[0] == QLatin1String(OptionNotification)) {
        o.mode = Mode::Notification;
        o.notification = arguments.mid(1);
        return o;
    }
    // The window's command line stays what it always was (a path, the
    // toolkit's own "-platform"...): options are looked for only when one
    // argument starts with "--".
    if (std::none_of(arguments.cbegin(), arguments.cend(),
                     [](const QString& a) { return a.startsWith(QLatin1String("--")); }))
        return o;

    bool aide = false, version = false, finOptions = false;
    Mode mode = Mode::Fenetre;
    QStringList fichiers;
    QString erreur;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (finOptions || !a.startsWith(QLatin1String("--"))) {
            fichiers << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            finOptions = true; // a parameter file whose name starts with "--" follows
            continue;
        }
        const qsizetype egal = a.indexOf(QLatin1Char('='));
        const QString nom = egal > 0 ? a.left(egal) : a;
        if (a == QLatin1String("--sans-notification")) {
            o.notifier = false;
            continue;
        }
        if (nom == QLatin1String("--mot-de-passe")) {
            if (egal > 0) {
                o.motDePasse = a.mid(egal + 1);
            } else if (i + 1 < arguments.size()) {
                o.motDePasse = arguments[++i];
            } else {
                erreur = QStringLiteral("l'option --mot-de-passe attend un mot de passe");
                continue;
            }
            o.avecMotDePasse = true;
            continue;
        }
        const Mode choisi = a == QLatin1String("--sans-fenetre") ? Mode::SansFenetre
                            : a == QLatin1String("--apercu")     ? Mode::Apercu
                                                                 : Mode::Fenetre;
        if (a == QLatin1String("--aide"))
            aide = true;
        else if (a == QLatin1String("--version"))
            version = true;
        else if (choisi == Mode::Fenetre)
            erreur = QStringLiteral("option inconnue : ") + a;
        else if (mode != Mode::Fenetre && mode != choisi)
            erreur = QStringLiteral("--sans-fenetre et --apercu ne vont pas ensemble");
        else
            mode = choisi;
    }

    if (aide || version) {
        o.mode = aide ? Mode::Aide : Mode::Version;
        return o;
    }
    if (erreur.isEmpty() && mode == Mode::Fenetre)
        erreur = QStringLiteral("--sans-fenetre ou --apercu manque");
    if (erreur.isEmpty() && fichiers.isEmpty())
        erreur = QStringLiteral("le fichier paramètre manque");
    if (erreur.isEmpty() && fichiers.size() > 1)
        erreur = QStringLiteral("un seul fichier paramètre à la fois : ") + fichiers.join(QLatin1Char(' '));
    if (!erreur.isEmpty()) {
        o.mode = Mode::Erreur;
        o.erreur = erreur;
        return o;
    }
    o.mode = mode;
    o.fichier = fichiers.first();
    return o;
}

int LanceSansFenetre(int argc, char** argv, const OptionsLigneCommande& options) {
    using Mode = OptionsLigneCommande::Mode;
    switch (options.mode) {
    case Mode::Aide:
        gConsole.Sortie(Utilisation.chopped(1));
        return SortieReussie;
    case Mode::Version:
        gConsole.Sortie(QStringLiteral("Le Ramaglin " RAMAGLIN_VERSION));
        return SortieReussie;
    case Mode::Erreur:
    case Mode::Fenetre: // not ours: main keeps it
        gConsole.Erreur(QStringLiteral("ramaglin : ") + options.erreur + QLatin1Char('\n'));
        gConsole.Erreur(Utilisation.chopped(1));
        return SortieConfiguration;
    case Mode::SansFenetre:
    case Mode::Apercu:
    case Mode::Notification: break;
    }

    // No QApplication: it would load the platform plugin, which needs a display.
    QCoreApplication app(argc, argv);
    // The same names as the window's, which place Ramag.ini when the program's
    // folder is read-only.
    QCoreApplication::setApplicationName(QStringLiteral("Ramaglin"));
    QCoreApplication::setOrganizationName(QStringLiteral("Ramaglin"));
    if (options.mode == Mode::Notification)
        return PosteNotification({options.notification[0], options.notification[1], options.notification[2]});

    MessagesTerminal messages(options);
    GestionnaireMessages* const messagesAvant = InstalleGestionnaireMessages(&messages);
    ShellTerminal shell;
    GestionnaireShell* const shellAvant = InstalleGestionnaireShell(&shell);
    GardeSignaux signaux;

    int statut;
    BilanRun bilan;
    {
        Inet inet;
        QObject::connect(&inet, &Inet::StateChanged, &inet, [&inet](int etat) { GereEtatTransfert(inet, etat); });
        statut = options.mode == Mode::Apercu ? Apercu(options, inet, signaux) : Telecharge(options, inet, signaux, bilan);
    }
    gConsole.Efface();
    std::fflush(stdout);
    if (options.mode == Mode::SansFenetre && options.notifier && !GardeSignaux::SignalRecu())
        NotifieFin(statut, bilan, messages.dernierProbleme);

    InstalleGestionnaireShell(shellAvant);
    InstalleGestionnaireMessages(messagesAvant);
    return GardeSignaux::Statut(statut);
}
