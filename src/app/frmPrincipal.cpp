// Main window: layout, start-up and shut-down, and the small handlers that only
// wire controls together.
#include "app/frmPrincipal.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QItemSelectionModel>
#include <QListView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/InstanceService.h"
#include "app/PremierRegard.h"
#include "app/VerificationProgrammee.h"
#include "app/VueFenetres.h"
#include "config/CoffreSecrets.h"
#include "config/Fonctions_Variables.h"
#include "config/Service.h"
#include "download/JaugeWidget.h"
#include "download/Fonctions_LanceFichier.h"
#include "download/MoteurTelechargement.h"
#include "download/frmPause.h"
#include "download/frmRapport.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/LignesListe.h"
#include "search/ModeleListe.h"
#include "search/MoteurRecherche.h"
#include "search/TraitementListe.h"
#include "util/Fonctions_Chaine.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"
#include "util/Fonctions_Math.h"
#include "util/Fonctions_Messages.h"
#include "util/Fonctions_Texte.h"
#include "util/Arret.h"
#include "util/SignauxArret.h"

const QString frmPrincipal::AdresseAuteur = QStringLiteral("https://ramaglin.fr/");

namespace {

QString gCheminVerrou;
bool gPremierRegard = false;

QLabel* TitreSection(const QString& texte, const QString& nom) {
    auto* label = new QLabel(texte);
    label->setObjectName(nom);
    QFont f = label->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.15);
    label->setFont(f);
    return label;
}

QFrame* Ligne(const QString& nom) {
    auto* ligne = new QFrame;
    ligne->setObjectName(nom);
    ligne->setFrameShape(QFrame::HLine);
    ligne->setFrameShadow(QFrame::Sunken);
    return ligne;
}

} // namespace

void frmPrincipal::DefinitCheminVerrou(const QString& chemin) { gCheminVerrou = chemin; }

void frmPrincipal::DefinitPremierRegard(bool actif) { gPremierRegard = actif; }

void frmPrincipal::PremierPlan() {
    // During a pause the window is out of sight on purpose: the pause window
    // is what the user sees then.
    QWidget* cible = isVisible() ? this : (pause_ && pause_->isVisible() ? static_cast<QWidget*>(pause_) : nullptr);
    if (!cible)
        return;
    if (cible->isMinimized())
        cible->setWindowState((cible->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    cible->raise();
    cible->activateWindow();
    emit premierPlanDemande();
}

frmPrincipal::frmPrincipal(const QString& cheminApplication, QWidget* parent)
    : QWidget(parent), CheminApplication(cheminApplication) {
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(TitreApplication);
    ConstruitOnglets();

    Inet1 = new Inet(this);
    Inet1->setObjectName(QStringLiteral("Inet1"));
    connect(Inet1, &Inet::StateChanged, this, [this](int etat) { GereEtatTransfert(*Inet1, etat); });

    TimerDemarrage = new QTimer(this);
    TimerDemarrage->setObjectName(QStringLiteral("TimerDemarrage"));
    TimerDemarrage->setInterval(200);
    TimerDemarrage->setSingleShot(true);
    connect(TimerDemarrage, &QTimer::timeout, this, &frmPrincipal::TimerDemarrage_Timer);

    TimerCalcul = new QTimer(this);
    TimerCalcul->setObjectName(QStringLiteral("TimerCalcul"));
    TimerCalcul->setInterval(100);
    TimerCalcul->setSingleShot(true);
    connect(TimerCalcul, &QTimer::timeout, this, &frmPrincipal::TimerCalcul_Timer);
}

frmPrincipal::~frmPrincipal() {
    signaux_.reset();
    if (sansReponse_)
        InstalleGestionnaireMessages(messagesAvant_);
    instance_.reset(); // the socket closed and the lock given back with the window
    delete rapport_;
    delete pause_;
}

void frmPrincipal::ArreteSurSignaux() {
    signaux_ = std::make_unique<SignauxArret>([this](int) { ArretParSignal(); });
}

void frmPrincipal::ArretParSignal() {
    if (!sansReponse_) {
        sansReponse_ = true;
        messagesAvant_ = InstalleGestionnaireMessages(nullptr);
    }
    // A question open (a stop button's) would hold the operation where it
    // is; its answer is No, the stop being made here anyway.
    for (int i = 0; i < 8; ++i) {
        auto* boite = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!boite)
            break;
        boite->reject();
    }
    if (operation_ == Operation::Aucune) {
        close();
        return;
    }
    fermetureDemandee_ = true;
    ArreteOperation();
    emit arretDemande();
}

void frmPrincipal::ConstruitOnglets() {
    Onglets = new QTabWidget(this);
    Onglets->setObjectName(QStringLiteral("Onglets"));
    Onglets->addTab(ConstruitOngletParametres(), QStringLiteral("Paramètres"));
    Onglets->addTab(ConstruitOngletRecherche(), QStringLiteral("Rechercher"));
    Onglets->addTab(ConstruitOngletTelechargement(), QStringLiteral("Téléchargement"));
    Onglets->tabBar()->installEventFilter(this);
    connect(Onglets, &QTabWidget::currentChanged, this, &frmPrincipal::Onglets_Click);

    auto* disposition = new QVBoxLayout(this);
    disposition->setContentsMargins(8, 8, 8, 8);
    disposition->addWidget(Onglets);
    resize(640, 440);
}

QWidget* frmPrincipal::ConstruitOngletParametres() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    v->addWidget(TitreSection(QStringLiteral(" Paramètres de la connexion Internet"),
                              QStringLiteral("Label2(0)")));
    v->addWidget(Ligne(QStringLiteral("Line1(0)")));
    v->addSpacing(6);

    const QString libelles[2] = {
        QStringLiteral("Connexion en utilisant les paramètres définis du système (ceux "
                       "d'Internet Explorer)"),
        QStringLiteral("Connexion en utilisant des paramètres particuliers")};
    groupeConnexion_ = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i) {
        TypeConnexion[i] = new QRadioButton(libelles[i]);
        TypeConnexion[i]->setObjectName(QStringLiteral("TypeConnexion(%1)").arg(i));
        groupeConnexion_->addButton(TypeConnexion[i], i);
        v->addWidget(TypeConnexion[i]);
    }
    TypeConnexion[0]->setChecked(true);
    connect(groupeConnexion_, &QButtonGroup::idToggled, this, [this](int id, bool coche) {
        if (coche)
            TypeConnexion_Click(id);
    });

    frameConnexionProxy = new QFrame;
    frameConnexionProxy->setObjectName(QStringLiteral("frameConnexionProxy"));
    frameConnexionProxy->setFrameShape(QFrame::StyledPanel);
    auto* g = new QGridLayout(frameConnexionProxy);
    const QString legendes[5] = {QStringLiteral("Adresse du proxy :"), QStringLiteral("Port HTTP :"),
                                 QStringLiteral("Port FTP :"), QStringLiteral("(par défaut 80)"),
                                 QStringLiteral("(par défaut 21)")};
    QLabel* labels[5];
    for (int i = 0; i < 5; ++i) {
        labels[i] = new QLabel(legendes[i]);
        labels[i]->setObjectName(QStringLiteral("Label1(%1)").arg(i));
    }
    AdresseProxy = new QLineEdit;
    AdresseProxy->setObjectName(QStringLiteral("AdresseProxy"));
    HTTPProxy = new QLineEdit(QStringLiteral("80"));
    HTTPProxy->setObjectName(QStringLiteral("HTTPProxy"));
    FTPProxy = new QLineEdit(QStringLiteral("21"));
    FTPProxy->setObjectName(QStringLiteral("FTPProxy"));
    const int largeurPort = HTTPProxy->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16;
    HTTPProxy->setMaximumWidth(largeurPort);
    FTPProxy->setMaximumWidth(largeurPort);
    g->addWidget(labels[0], 0, 0);
    g->addWidget(AdresseProxy, 0, 1, 1, 2);
    g->addWidget(labels[1], 1, 0);
    g->addWidget(HTTPProxy, 1, 1);
    g->addWidget(labels[3], 1, 2);
    g->addWidget(labels[2], 2, 0);
    g->addWidget(FTPProxy, 2, 1);
    g->addWidget(labels[4], 2, 2);
    // The proxy's login, for a proxy that asks for one.
    UtilisateurProxy = new QLineEdit;
    UtilisateurProxy->setObjectName(QStringLiteral("UtilisateurProxy"));
    MotDePasseProxy = new QLineEdit;
    MotDePasseProxy->setObjectName(QStringLiteral("MotDePasseProxy"));
    MotDePasseProxy->setEchoMode(QLineEdit::Password);
    MotDePasseProxy->setToolTip(QStringLiteral("Gardé dans le trousseau de mots de passe du bureau, jamais dans "
                                               "Ramag.ini"));
    auto* legendeUtilisateur = new QLabel(QStringLiteral("Utilisateur :"));
    legendeUtilisateur->setObjectName(QStringLiteral("LabelUtilisateurProxy"));
    auto* legendeMotDePasse = new QLabel(QStringLiteral("Mot de passe :"));
    legendeMotDePasse->setObjectName(QStringLiteral("LabelMotDePasseProxy"));
    LabelMotDePasse = new QLabel;
    LabelMotDePasse->setObjectName(QStringLiteral("LabelMotDePasse"));
    LabelMotDePasse->setWordWrap(true);
    LabelMotDePasse->setVisible(false);
    g->addWidget(legendeUtilisateur, 3, 0);
    g->addWidget(UtilisateurProxy, 3, 1, 1, 2);
    g->addWidget(legendeMotDePasse, 4, 0);
    g->addWidget(MotDePasseProxy, 4, 1, 1, 2);
    g->addWidget(LabelMotDePasse, 5, 0, 1, 3);
    g->setColumnStretch(2, 1);
    connect(AdresseProxy, &QLineEdit::editingFinished, this, &frmPrincipal::SepareAdresseProxy);
    connect(MotDePasseProxy, &QLineEdit::editingFinished, this, [this] { RangeMotDePasse(false); });
    connect(UtilisateurProxy, &QLineEdit::editingFinished, this, [this] { RangeMotDePasse(false); });
    frameConnexionProxy->setVisible(false);
    v->addWidget(frameConnexionProxy);

    v->addSpacing(10);
    VerificationQuotidienne = new QCheckBox(QStringLiteral("Vérifier ce service chaque jour"));
    VerificationQuotidienne->setObjectName(QStringLiteral("VerificationQuotidienne"));
    VerificationQuotidienne->setToolTip(QStringLiteral("Une minuterie systemd de l'utilisateur lance chaque jour "
                                                       "la vérification sans fenêtre de ce fichier paramètre"));
    LabelVerification = new QLabel;
    LabelVerification->setObjectName(QStringLiteral("LabelVerification"));
    LabelVerification->setWordWrap(true);
    v->addWidget(VerificationQuotidienne);
    v->addWidget(LabelVerification);
    verification_ = new VerificationProgrammee(VerificationQuotidienne, LabelVerification, this);
    v->addStretch(1);
    return page;
}

QWidget* frmPrincipal::ConstruitOngletRecherche() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    v->addWidget(TitreSection(QStringLiteral("Téléchargement de fichiers"), QStringLiteral("Label2(1)")));
    v->addWidget(Ligne(QStringLiteral("Line1(1)")));
    v->addSpacing(10);

    LabelTitre = new QLabel;
    LabelTitre->setObjectName(QStringLiteral("LabelTitre"));
    LabelTitre->setAlignment(Qt::AlignCenter);
    LabelTitre->setWordWrap(true);
    QFont f = LabelTitre->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.4);
    LabelTitre->setFont(f);
    v->addWidget(LabelTitre);
    v->addStretch(1);

    cmdRecherche = new QPushButton(QStringLiteral("Lancer la recherche"));
    cmdRecherche->setObjectName(QStringLiteral("cmdRecherche"));
    cmdRecherche->setMinimumHeight(cmdRecherche->sizeHint().height() * 3 / 2);
    cmdRecherche->setDefault(true);
    connect(cmdRecherche, &QPushButton::clicked, this, &frmPrincipal::cmdRecherche_Click);
    auto* ligneBouton = new QHBoxLayout;
    ligneBouton->addStretch(1);
    ligneBouton->addWidget(cmdRecherche, 2);
    ligneBouton->addStretch(1);
    v->addLayout(ligneBouton);

    Jauge = new JaugeWidget;
    Jauge->setObjectName(QStringLiteral("Jauge"));
    Jauge->setVisible(false);
    v->addWidget(Jauge);

    // Why the last search failed, under its box: the box says that it failed,
    // this line says why (a 404, a certificate, a time-out), until the next one.
    LabelRaisonRecherche = new QLabel;
    LabelRaisonRecherche->setObjectName(QStringLiteral("LabelRaisonRecherche"));
    LabelRaisonRecherche->setAlignment(Qt::AlignCenter);
    LabelRaisonRecherche->setWordWrap(true);
    LabelRaisonRecherche->setVisible(false);
    v->addWidget(LabelRaisonRecherche);
    v->addStretch(1);

    Label3[0] = new QLabel(QStringLiteral("Le Ramaglin, téléchargement poli de fichiers"));
    Label3[0]->setObjectName(QStringLiteral("Label3(0)"));
    Label3[1] = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(AdresseAuteur));
    Label3[1]->setObjectName(QStringLiteral("Label3(1)"));
    Label3[1]->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    Label3[1]->setCursor(Qt::PointingHandCursor);
    connect(Label3[1], &QLabel::linkActivated, this, [this] { Label3_Click(1); });
    auto* pied = new QHBoxLayout;
    pied->addWidget(Label3[0]);
    pied->addStretch(1);
    pied->addWidget(Label3[1]);
    v->addLayout(pied);
    return page;
}

QWidget* frmPrincipal::ConstruitOngletTelechargement() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    v->addWidget(TitreSection(QStringLiteral("Fichiers trouvés sur le serveur"),
                              QStringLiteral("Label2(2)")));
    v->addWidget(Ligne(QStringLiteral("Line1(2)")));

    Resultats = new ModeleListe(this);
    ListeSources = new QListView;
    ListeSources->setObjectName(QStringLiteral("ListeSources"));
    ListeSources->setModel(Resultats);
    ListeSources->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Rows of one height: the view asks the model only for the rows it draws,
    // and lays a million rows out without measuring them.
    ListeSources->setUniformItemSizes(true);
    connect(ListeSources->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &frmPrincipal::ListeSources_Click);
    v->addWidget(ListeSources, 1);

    LabelSelection = new QLabel(QStringLiteral("Aucune sélection"));
    LabelSelection->setObjectName(QStringLiteral("LabelSelection"));
    v->addWidget(LabelSelection);

    SelectionneTout = new QPushButton(QStringLiteral("Sélectionner tout"));
    SelectionneTout->setObjectName(QStringLiteral("SelectionneTout"));
    connect(SelectionneTout, &QPushButton::clicked, this, &frmPrincipal::SelectionneTout_Click);
    cmdTelechargeSelection = new QPushButton(QStringLiteral("Télécharger la sélection"));
    cmdTelechargeSelection->setObjectName(QStringLiteral("cmdTelechargeSelection"));
    connect(cmdTelechargeSelection, &QPushButton::clicked, this,
            &frmPrincipal::cmdTelechargeSelection_Click);
    auto* boutons = new QHBoxLayout;
    boutons->addWidget(SelectionneTout);
    boutons->addStretch(1);
    boutons->addWidget(cmdTelechargeSelection);
    v->addLayout(boutons);
    return page;
}

// --- Start-up ---------------------------------------------------------------

frmPrincipal::Demarrage frmPrincipal::Form_Load(const QString& ligneCommande) {
    if (CheminApplication.isEmpty())
        CheminApplication = QCoreApplication::applicationDirPath();
    CheminApplication = AvecSeparateurFinal(CheminApplication);
    RechercheEffectuee = false;

    FichierParametres = ArgumentLigneCommande(ligneCommande, 1);
    if (FichierParametres.startsWith(QLatin1Char('"')))
        FichierParametres.remove(0, 1);
    if (FichierParametres.endsWith(QLatin1Char('"')))
        FichierParametres.chop(1);
    // The service's identity is taken before the file may delete itself.
    if (!FichierParametres.isEmpty())
        instance_ = std::make_unique<InstanceService>(gCheminVerrou, FichierParametres);
    bool refuse = false;
    const auto accepte = [this, &refuse] {
        QFile fichier(FichierParametres);
        const QByteArray contenu = fichier.open(QIODevice::ReadOnly) ? fichier.readAll() : QByteArray();
        refuse = !PremierRegard(FichierParametres, contenu, VariablesService());
        return !refuse;
    };
    if (!ChargeService(CheminApplication, FichierParametres,
                       gPremierRegard ? std::function<bool()>(accepte) : std::function<bool()>())) {
        EnregistreParams();
        return refuse ? Demarrage::Refuse : Demarrage::Terminer;
    }
    // Only this window's close ends the program (through its confirmation
    // during an operation): the report and pause windows, or a message box
    // closing while this window is out of sight during a pause, must not.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    LitRamagIni();

    // One window per service: the service's window, already open, is
    // brought forward instead.
    if (!instance_->Prend()) {
        EnregistreParams();
        instance_->DemandePremierPlan();
        instance_.reset();
        return Demarrage::DeuxiemeInstance;
    }
    connect(instance_.get(), &InstanceService::premierPlanDemande, this, &frmPrincipal::PremierPlan);

    QString titre = LitVariable(QStringLiteral("TITRE_TELECHARGEMENT"));
    Remplace(titre, QStringLiteral("#"), QStringLiteral("\r\n"), false, -1);
    // The label shows line breaks at LF; the CR of the pair would show as a box.
    LabelTitre->setText(QString(titre).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    LabelTitre->setProperty("legende", titre);

    Onglets->setCurrentIndex(1);
    Onglets->setTabEnabled(2, false);

    if (LitVariable(QStringLiteral("LANCER_TELECHARGEMENT_DEMARRAGE")) == QLatin1String("O"))
        TimerDemarrage->start();
    verification_->Initialise(FichierParametres, LitVariable(QStringLiteral("FICHIER_CONFIG_SUPPR")) == QLatin1String("O"));
    return Demarrage::Afficher;
}

void frmPrincipal::LitRamagIni() {
    ReglagesConnexion reglages = Reglages();
    if (!::LitRamagIni(CheminRamagIni(CheminApplication, false), reglages))
        return;
    TypeConnexion[reglages.particulier ? 1 : 0]->setChecked(true);
    TypeConnexion_Click(reglages.particulier ? 1 : 0);
    AdresseProxy->setText(reglages.adresseProxy);
    HTTPProxy->setText(reglages.portHTTP);
    FTPProxy->setText(reglages.portFTP);
    // No field of the window shows the limits: kept as read, written back.
    transfertsIni_ = reglages.transfertsSimultanes;
    debitIni_ = reglages.debitMaxKio;
    UtilisateurProxy->setText(reglages.utilisateurProxy);
    if (reglages.utilisateurProxy.isEmpty())
        return;
    // The password comes from the store while the window opens; a search
    // started before it came waits for it a little (AttendMotDePasse).
    const QString cle = CleProxy(reglages.utilisateurProxy, reglages.adresseProxy);
    lectureCoffre_ = true;
    Coffre().Lit(cle, this, [this, cle](const ReponseCoffre& r) {
        lectureCoffre_ = false;
        if (attenteCoffre_)
            attenteCoffre_->quit();
        if (r.etat == ReponseCoffre::Etat::Indisponible)
            return CoffreIndisponible();
        cleRangee_ = cle;
        motDePasseRange_ = r.motDePasse;
        // What the user typed meanwhile wins.
        if (MotDePasseProxy->text().isEmpty() && !MotDePasseProxy->isModified())
            MotDePasseProxy->setText(r.motDePasse);
    });
}

void frmPrincipal::CoffreIndisponible() {
    LabelMotDePasse->setText(QStringLiteral("Pas de trousseau de mots de passe disponible : le mot de passe du "
                                            "proxy ne sera gardé que jusqu'à la fermeture du programme."));
    LabelMotDePasse->setVisible(true);
}

void frmPrincipal::AttendMotDePasse() {
    if (!lectureCoffre_)
        return;
    QEventLoop boucle;
    attenteCoffre_ = &boucle;
    QTimer::singleShot(DelaiCoffreMs, &boucle, &QEventLoop::quit);
    boucle.exec();
    attenteCoffre_ = nullptr;
    lectureCoffre_ = false; // too late: the password typed, or none
}

void frmPrincipal::SepareAdresseProxy() {
    QString adresse = AdresseProxy->text(), utilisateur, motDePasse;
    if (!SepareIdentifiantsProxy(adresse, utilisateur, motDePasse))
        return;
    AdresseProxy->setText(adresse);
    UtilisateurProxy->setText(utilisateur);
    if (!motDePasse.isEmpty())
        MotDePasseProxy->setText(motDePasse);
    RangeMotDePasse(false);
}

void frmPrincipal::RangeMotDePasse(bool attendre) {
    const QString utilisateur = UtilisateurProxy->text(), motDePasse = MotDePasseProxy->text();
    if (utilisateur.isEmpty() || !LabelMotDePasse->isHidden())
        return; // nobody to log in, or no store: the password stays in memory
    const QString cle = CleProxy(utilisateur, AdresseProxy->text());
    if (cle == cleRangee_ && motDePasse == motDePasseRange_)
        return;
    const auto suite = [this, cle, motDePasse](const ReponseCoffre& r) {
        if (r.etat == ReponseCoffre::Etat::Indisponible)
            return CoffreIndisponible();
        cleRangee_ = cle;
        motDePasseRange_ = motDePasse;
    };
    const auto appel = [&](QObject* contexte, CoffreSecrets::Suite s) {
        if (motDePasse.isEmpty())
            Coffre().Efface(cle, contexte, std::move(s));
        else
            Coffre().Ecrit(cle, motDePasse, contexte, std::move(s));
    };
    if (attendre)
        suite(AttendCoffre(appel, DelaiCoffreMs));
    else
        appel(this, suite);
}

ReglagesConnexion frmPrincipal::Reglages() const {
    ReglagesConnexion reglages{TypeConnexion[1]->isChecked(), AdresseProxy->text(), HTTPProxy->text(),
                               FTPProxy->text(), UtilisateurProxy->text(), MotDePasseProxy->text()};
    reglages.transfertsSimultanes = transfertsIni_;
    reglages.debitMaxKio = debitIni_;
    return reglages;
}

void frmPrincipal::AppliqueIdentifiantsProxy(const ReglagesConnexion& reglages) {
    Inet1->ProxyUserName = reglages.utilisateurProxy;
    Inet1->ProxyPassword = reglages.utilisateurProxy.isEmpty() ? QString() : reglages.motDePasseProxy;
}

void frmPrincipal::EnregistreParams() {
    if (isVisible()) {
        // An address typed with its login is never saved as typed.
        SepareAdresseProxy();
        RangeMotDePasse(true);
        EcritRamagIni(CheminRamagIni(CheminApplication, true), Reglages());
        if (LitVariable(QStringLiteral("FICHIER_LISTE_LOCAL_SUPPR")) == QLatin1String("O"))
            EffaceFichier(LitVariable(QStringLiteral("REP_TMP")) + QStringLiteral("Liste.tmp"), false);
    }
    emit fermeRapport();
}

void frmPrincipal::closeEvent(QCloseEvent* event) {
    if (operation_ != Operation::Aucune) {
        // Quitting now would end the event loop under the operation, whose
        // message boxes and windows would then return at once: the operation
        // is stopped and the window closes once it has unwound.
        event->ignore();
        if (fermetureDemandee_)
            return;
        const QString question =
            operation_ == Operation::Recherche
                ? QStringLiteral("Êtes-vous sûr de vouloir interrompre la recherche ?")
                : QStringLiteral("Êtes-vous sûr de vouloir interrompre le téléchargement (le "
                                 "fichier commencé ne sera pas conservé) ?");
        if (MsgBox(question, IconeMessage::Question, BoutonsMessage::OuiNon) != ReponseMessage::Oui)
            return;
        fermetureDemandee_ = true;
        ArreteOperation();
        emit arretDemande();
        return;
    }
    EnregistreParams();
    event->accept();
    QCoreApplication::quit();
}

frmPrincipal::GardeOperation::GardeOperation(frmPrincipal& fenetre, Operation operation, Arret& arret)
    : fenetre_(fenetre) {
    fenetre.operation_ = operation;
    fenetre.arretOperation_ = &arret;
    // Not the pages of the tabs: the search itself enables the results tab.
    QList<QWidget*> controles = {fenetre.Onglets->tabBar(),   fenetre.Onglets->widget(0),
                                 fenetre.cmdRecherche,        fenetre.Label3[1],
                                 fenetre.ListeSources,        fenetre.SelectionneTout,
                                 fenetre.cmdTelechargeSelection};
    if (operation == Operation::Telechargement)
        controles.append(&fenetre);
    for (QWidget* w : controles) {
        etats_.append({w, !w->testAttribute(Qt::WA_ForceDisabled)});
        w->setEnabled(false);
    }
}

frmPrincipal::GardeOperation::~GardeOperation() {
    for (auto it = etats_.crbegin(); it != etats_.crend(); ++it)
        it->first->setEnabled(it->second);
    fenetre_.operation_ = Operation::Aucune;
    fenetre_.arretOperation_ = nullptr;
    if (fenetre_.fermetureDemandee_) {
        fenetre_.fermetureDemandee_ = false;
        QMetaObject::invokeMethod(&fenetre_, [f = &fenetre_] { f->close(); }, Qt::QueuedConnection);
    }
}

// --- Small handlers -----------------------------------------------------------

void frmPrincipal::TypeConnexion_Click(int index) {
    frameConnexionProxy->setVisible(index == 1);
    // The system's settings apply from the next request on (a request
    // running goes on as it began): the transfer object keeps no proxy from
    // an earlier search or run.
    if (index == 0 && Inet1)
        Inet1->AccessType = Inet::AccesSysteme;
}

void frmPrincipal::Onglets_Click(int index) {
    if (index == 2 && !RechercheEffectuee) {
        MsgBox(QStringLiteral("Il faut que vous recherchiez des sources auparavant"),
               IconeMessage::Exclamation);
        Onglets->setCurrentIndex(1);
    }
}

bool frmPrincipal::eventFilter(QObject* objet, QEvent* event) {
    // The results tab stays unavailable until a search has found something; a
    // click on it says why instead of doing nothing.
    if (objet == Onglets->tabBar() && event->type() == QEvent::MouseButtonPress &&
        Onglets->tabBar()->isEnabled()) {
        const auto* souris = static_cast<QMouseEvent*>(event);
        const int onglet = Onglets->tabBar()->tabAt(souris->position().toPoint());
        if (onglet == 2 && !Onglets->isTabEnabled(2)) {
            Onglets_Click(2);
            return true;
        }
    }
    return QWidget::eventFilter(objet, event);
}

void frmPrincipal::ListeSources_Click() {
    TimerCalcul->stop();
    TimerCalcul->start();
}

void frmPrincipal::TimerCalcul_Timer() {
    TimerCalcul->stop();
    if (operation_ != Operation::Aucune)
        return; // the list copy is not read during an operation
    InfoSelection();
}

void frmPrincipal::TimerDemarrage_Timer() {
    TimerDemarrage->stop();
    cmdRecherche_Click();
}

void frmPrincipal::Label3_Click(int index) {
    if (index != 1)
        return;
    QString verbe = QStringLiteral("open"), parametres, dossier;
    bool attendre = false;
    LanceFichier(AdresseAuteur, false, verbe, parametres, dossier, QStringLiteral("2"), attendre);
}

void frmPrincipal::AfficheSablier() { setCursor(Qt::WaitCursor); }

void frmPrincipal::AfficheCurseurNormal() { unsetCursor(); }

// --- The search and the download run ------------------------------------------

frmRapport* frmPrincipal::Rapport() {
    if (!rapport_) {
        rapport_ = new frmRapport;
        connect(this, &frmPrincipal::fermeRapport, rapport_, [r = rapport_] {
            r->EnCours = false;
            r->close();
        });
        connect(this, &frmPrincipal::arretDemande, rapport_,
                [r = rapport_] { r->ArretTelechargement->setEnabled(false); });
    }
    return rapport_;
}

frmPause* frmPrincipal::Pause() {
    if (!pause_)
        pause_ = new frmPause;
    return pause_;
}

void frmPrincipal::cmdRecherche_Click() {
    if (OperationEnCours() != Operation::Aucune)
        return; // a click or the start-up timer during a search or a run
    if (LitVariable(QStringLiteral("FICHIER_LISTE_NOM")).isEmpty()) {
        MsgBox(QStringLiteral("Aucun fichier liste spécifié !"), IconeMessage::Exclamation);
        return;
    }
    if (!verrouListe_)
        verrouListe_ = std::make_unique<VerrouListe>();
    if (verrouListe_->Prend(LitVariable(QStringLiteral("REP_TMP"))) != VerrouListe::Etat::Pris)
        return;
    MoteurRecherche moteur(*Inet1);
    const GardeOperation garde(*this, Operation::Recherche, moteur.Interruption());
    AfficheSablier();
    LabelRaisonRecherche->setVisible(false);
    AttendMotDePasse();
    AppliqueIdentifiantsProxy(Reglages());
    const MoteurRecherche::Resultat r = moteur.Lance(VariablesService(), Reglages(), Jauge, RechercheEffectuee);
    if (!r.raison.isEmpty()) {
        LabelRaisonRecherche->setText(QStringLiteral("Echec lors de la recherche : ") + r.raison + QLatin1Char('.'));
        LabelRaisonRecherche->setVisible(true);
    }
    if (r.issue == MoteurRecherche::Issue::Trouve && r.afficher) {
        reglagesRecherche_ = r.reglages;
        Resultats->Definit(r.lignes, r.colonne);
        SelectionneTout->setVisible(Resultats->rowCount() > 1);
        Onglets->setTabEnabled(2, true);
        Onglets->setCurrentIndex(2);
    } else if (Resultats->rowCount() == 0) {
        // Nothing shown that a run could fetch: another program may search.
        reglagesRecherche_.reset();
        verrouListe_->Rend();
    }
    AfficheCurseurNormal();
}

void frmPrincipal::keyPressEvent(QKeyEvent* event) {
    // Escape reaches the window from whichever control has the focus (those
    // of the search are disabled meanwhile).
    if (event->key() == Qt::Key_Escape && operation_ == Operation::Recherche) {
        InterromptRecherche();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmPrincipal::InterromptRecherche() {
    if (operation_ != Operation::Recherche || (arretOperation_ && arretOperation_->Demandee()))
        return;
    if (MsgBox(QStringLiteral("Êtes-vous sûr de vouloir interrompre la recherche ?"), IconeMessage::Question,
               BoutonsMessage::OuiNon) == ReponseMessage::Oui)
        ArreteOperation();
}

void frmPrincipal::ArreteOperation() {
    if (arretOperation_)
        arretOperation_->Demande();
}

void frmPrincipal::VideResultats() {
    Resultats->Vide();
    reglagesRecherche_.reset();
    if (verrouListe_)
        verrouListe_->Rend();
    RechercheEffectuee = false;
    LabelSelection->setText(QStringLiteral("Aucune sélection"));
    Onglets->setCurrentIndex(1);
    Onglets->setTabEnabled(2, false);
}

int frmPrincipal::InfoSelection() {
    const TableVariables& reglages = reglagesRecherche_ ? *reglagesRecherche_ : VariablesService();
    const bool tailleVoulue = reglages.Oui(QStringLiteral("CALCULER_TAILLE_SELECTION"));
    const int colonne = tailleVoulue ? EntierSouple(reglages.Lit(QStringLiteral("COLONNE_TAILLE"))) : 0;
    if (!FichierExiste(LitVariable(QStringLiteral("REP_TMP")) + QStringLiteral("Liste.tmp"))) {
        MsgBox(QStringLiteral("La liste des fichiers du serveur n'est plus disponible !"), IconeMessage::Exclamation);
        Onglets->setTabEnabled(2, false);
        Onglets->setCurrentIndex(1);
        return 0;
    }
    // The rows' lines are held in memory, exactly as the list copy holds them.
    int nombre = 0;
    double total = 0;
    const std::shared_ptr<LignesListe> lignes = Resultats->Lignes();
    for (const QItemSelectionRange& plage : ListeSources->selectionModel()->selection()) {
        nombre += plage.height();
        if (!tailleVoulue || !lignes)
            continue;
        for (int r = plage.top(); r <= plage.bottom(); ++r)
            total += ValeurNombreOctets(lignes->ColonneOctets(Resultats->LigneDeRangee(r), colonne));
    }
    QString texte = Pluriel(nombre, QStringLiteral("# sélection"), QStringLiteral("# sélections"));
    if (tailleVoulue)
        texte += QStringLiteral(" - ") + FormateTaille(total, false);
    LabelSelection->setText(texte);
    return nombre;
}

void frmPrincipal::SelectionneTout_Click() {
    ListeSources->selectAll();
    TimerCalcul->stop();
    InfoSelection();
}

void frmPrincipal::cmdTelechargeSelection_Click() {
    if (OperationEnCours() != Operation::Aucune)
        return;
    if (InfoSelection() == 0) {
        MsgBox(QStringLiteral("Aucune sélection effectuée !"), IconeMessage::Exclamation);
        return;
    }
    AttendMotDePasse();
    AppliqueIdentifiantsProxy(Reglages());
    VueFenetres vue(*this);
    MoteurTelechargement moteur(*Inet1, vue, reglagesRecherche_ ? *reglagesRecherche_ : VariablesService());
    if (!moteur.Prepare())
        return;
    bool terminer = false;
    {
        const GardeOperation garde(*this, Operation::Telechargement, moteur.Interruption());
        TimerCalcul->stop();
        // The chosen rows, in list order.
        std::vector<bool> choisie(size_t(Resultats->rowCount()), false);
        for (const QItemSelectionRange& plage : ListeSources->selectionModel()->selection())
            for (int r = plage.top(); r <= plage.bottom(); ++r)
                choisie[size_t(r)] = true;
        std::vector<RangeeChoisie> rangees;
        for (int r = 0; r < int(choisie.size()); ++r)
            if (choisie[size_t(r)])
                rangees.push_back({r, Resultats->LigneDeRangee(r), Resultats->Texte(r)});
        const std::shared_ptr<LignesListe> lignes = Resultats->Lignes();
        const MoteurTelechargement::Resultat r = moteur.Lance(rangees, *lignes, Reglages(), !FermetureDemandee());
        LabelSelection->setText(QStringLiteral("Aucune sélection"));
        TimerCalcul->stop();
        terminer = r.terminer;
    }
    // The guard has given the window back; ending the program closes it, which
    // saves the settings.
    if (terminer)
        close();
}
