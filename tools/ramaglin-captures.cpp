// Renders the main window's three tabs and a message box to PNG files, offscreen,
// for the documentation, then downloads every file found as a user would (a
// click on "Télécharger la sélection", the message boxes answered) and renders
// the pause window, the summary and the report window on the way:
//   ramaglin-captures DOSSIER_SORTIE FICHIER_PARAMETRE
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include <QLabel>
#include <QPushButton>

#include "download/JaugeWidget.h"
#include "app/MessagesFenetre.h"
#include "app/PremierRegard.h"
#include "app/VerificationProgrammee.h"
#include "config/CoffreSecrets.h"
#include "app/frmPrincipal.h"
#include "config/Fonctions_Variables.h"
#include "download/ModeleRapport.h"
#include "download/Progression.h"
#include "search/ModeleListe.h"
#include "download/frmPause.h"
#include "download/frmRapport.h"
#include "net/Fonctions_Internet_INET.h"
#include "util/Fonctions_Messages.h"
#include "util/Fonctions_Shell.h"

namespace {

bool Enregistre(QWidget* w, const QString& chemin) {
    QApplication::processEvents();
    const bool ok = w->grab().save(chemin);
    std::printf("%s %s\n", ok ? "capture" : "ECHEC", qPrintable(chemin));
    return ok;
}

// A desktop session as users have one, whatever machine renders the
// captures: systemctl answers that the daily check is on, with its next time,
// and the secret store holds the proxy's password.
struct SessionDemonstration final : LanceurCommandes, CoffreSecrets {
    void Lance(const QStringList& commande, int, QObject*, LanceurCommandes::Suite suite) override {
        const QString verbe = commande.value(2);
        const QDateTime demain(QDate::currentDate().addDays(1), QTime(0, 23));
        suite({true, false, 0,
               verbe == QLatin1String("is-system-running") ? QStringLiteral("running")
               : verbe == QLatin1String("is-enabled")      ? QStringLiteral("enabled")
                                                           : QLatin1Char('@') + QString::number(demain.toSecsSinceEpoch()),
               {}});
    }
    void Lit(const QString&, QObject*, CoffreSecrets::Suite suite) override {
        suite({ReponseCoffre::Etat::Trouve, QStringLiteral("secret"), {}});
    }
    void Ecrit(const QString&, const QString&, QObject*, CoffreSecrets::Suite suite) override {
        suite({ReponseCoffre::Etat::Trouve, {}, {}});
    }
    void Efface(const QString&, QObject*, CoffreSecrets::Suite suite) override {
        suite({ReponseCoffre::Etat::Trouve, {}, {}});
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    if (argc < 3) {
        std::fprintf(stderr, "utilisation : ramaglin-captures DOSSIER_SORTIE FICHIER_PARAMETRE\n");
        return 2;
    }
    const QString sortie = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(sortie);

    auto session = std::make_shared<SessionDemonstration>();
    DefinitCommandes(session);
    DefinitCoffre(session);
    QTemporaryDir execution;
    QDir(execution.path()).mkpath(QStringLiteral("systemd"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(execution.path()));

    frmPrincipal f;
    if (f.Form_Load(QLatin1Char('"') + QString::fromLocal8Bit(argv[2]) + QLatin1Char('"')) !=
        frmPrincipal::Demarrage::Afficher)
        return 1;
    f.resize(720, 480);
    f.show();
    bool ok = true;

    f.TypeConnexion[1]->setChecked(true);
    f.AdresseProxy->setText(QStringLiteral("http://proxy.exemple.fr:3128"));
    f.UtilisateurProxy->setText(QStringLiteral("camille"));
    f.MotDePasseProxy->setText(QStringLiteral("secret"));
    f.Onglets->setCurrentIndex(0);
    ok &= Enregistre(&f, sortie + QStringLiteral("/ecran-parametres.png"));
    f.TypeConnexion[0]->setChecked(true);
    for (QLineEdit* champ : {f.AdresseProxy, f.UtilisateurProxy, f.MotDePasseProxy})
        champ->clear();

    // The search tab as it looks while a list arrives.
    f.Onglets->setCurrentIndex(1);
    InitialiseJauge(*f.Jauge);
    AfficheJauge(*f.Jauge, 42, QStringLiteral("42 % (12 Ko sur 28,57 Ko) - 6 Ko/sec"));
    ok &= Enregistre(&f, sortie + QStringLiteral("/ecran-rechercher.png"));
    MasqueJauge(*f.Jauge);

    f.cmdRecherche_Click();
    if (f.Resultats->rowCount() > 3) {
        for (int r : {0, 2, 3})
            f.ListeSources->selectionModel()->select(f.Resultats->index(r), QItemSelectionModel::Select);
        f.InfoSelection();
    }
    ok &= Enregistre(&f, sortie + QStringLiteral("/ecran-telechargement.png"));

    QMessageBox boite(QMessageBox::Critical, TitreApplication,
                      QStringLiteral("Fichier paramètre inexistant : /home/moi/service.txt"),
                      QMessageBox::Ok, &f);
    boite.show();
    ok &= Enregistre(&boite, sortie + QStringLiteral("/ecran-message.png"));
    boite.hide();

    // The first look at a service file that saves its files and opens them.
    TableVariables service = VariablesService();
    service.Affecte(QStringLiteral("CHEMIN_DESTINATION_FICHIER_SOURCE"), QStringLiteral("/home/moi/Téléchargements/Randonnée"));
    service.Affecte(QStringLiteral("LANCER_APRES_TELECHARGEMENT"), QStringLiteral("O"));
    QMessageBox question(QMessageBox::Question, TitreApplication, QuestionPremierRegard(service),
                         QMessageBox::Yes | QMessageBox::No, &f);
    question.button(QMessageBox::Yes)->setText(QStringLiteral("&Oui"));
    question.button(QMessageBox::No)->setText(QStringLiteral("&Non"));
    question.show();
    ok &= Enregistre(&question, sortie + QStringLiteral("/ecran-premier-regard.png"));
    question.hide();

    // The download of everything found, with the real message boxes: a robot
    // looks every 100 ms, renders what a user would see once, and answers.
    MessagesFenetre messages;
    InstalleGestionnaireMessages(&messages);
    bool pauseVue = false, resumeVu = false;
    QTimer robot;
    robot.setInterval(100);
    QObject::connect(&robot, &QTimer::timeout, [&] {
        if (!pauseVue && f.Pause()->isVisible() && f.Pause()->lblTempsRestant->text() != "0 seconde") {
            pauseVue = true;
            ok &= Enregistre(f.Pause(), sortie + QStringLiteral("/ecran-pause.png"));
        }
        if (auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (!resumeVu && b->text().contains(QStringLiteral("téléchargé"))) {
                resumeVu = true;
                ok &= Enregistre(b, sortie + QStringLiteral("/ecran-resume.png"));
            }
            std::printf("message : %s\n", qPrintable(b->text()));
            b->accept();
        }
    });
    robot.start();
    f.ListeSources->selectAll();
    f.InfoSelection();
    f.cmdTelechargeSelection->click();
    robot.stop();
    if (f.Rapport()->Lignes->Nombre() > 0) {
        ok &= Enregistre(f.Rapport(), sortie + QStringLiteral("/ecran-rapport.png"));
        for (int i = 0; i < f.Rapport()->Lignes->Nombre(); ++i)
            std::printf("  %s\n", qPrintable(f.Rapport()->Lignes->Texte(i)));

        // The same window during a run: a file in transfer, its gauge and the
        // run's progress line under it (the demo's files arrive too fast to
        // be caught in transfer).
        frmRapport* r = f.Rapport();
        r->AjouteLigne(QStringLiteral("[En cours] Carte IGN du massif, édition complète"));
        r->MontreDerniereLigne();
        constexpr double Mo = 1024 * 1024;
        JaugeSuivie suivi([r](const QString& texte) { r->MontreProgression(texte); });
        suivi.Dessous(r->Jauge);
        InitialiseJauge(suivi);
        suivi.Fichier(13, 14);
        AfficheJauge(suivi, 42, QStringLiteral("42 % (7 Mo sur 18 Mo) - 1 Mo/sec"));
        r->MontreProgression(TexteProgression({13, 14, {}, 0.42 * 18 * Mo, 18 * Mo, 1.1 * Mo}));
        r->MontreDerniereLigne(); // what the run does before it waits
        r->ArretTelechargement->setEnabled(true);
        ok &= Enregistre(r, sortie + QStringLiteral("/ecran-rapport-en-cours.png"));
        std::printf("  %s\n", qPrintable(r->lblProgression->text()));

        // Three files in flight: one gauge for them together.
        for (const char* nom : {"Topo du GR 20, nord", "Topo du GR 20, sud"})
            r->AjouteLigne(QStringLiteral("[En cours] ") + QString::fromUtf8(nom));
        r->MontreDerniereLigne();
        InitialiseJauge(suivi);
        suivi.Fichier(14, 16);
        MontreOctetsSurJauge(suivi, 11.5 * Mo, 30 * Mo, 9000);
        r->MontreDerniereLigne();
        ok &= Enregistre(r, sortie + QStringLiteral("/ecran-rapport-en-vol.png"));
        std::printf("  %s\n", qPrintable(r->lblProgression->text()));
    }
    InstalleGestionnaireMessages(nullptr);
    return ok ? 0 : 1;
}
