// The main window: connection settings, the search, and the files found.
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>
#include <memory>

#include "config/ReglagesConnexion.h"

class Arret;
class GestionnaireMessages;
class SignauxArret;
class TableVariables;
class VerrouListe;

class QButtonGroup;
class QCheckBox;
class QEventLoop;
class VerificationProgrammee;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class ModeleListe;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class Inet;
class InstanceService;
class JaugeWidget;
class frmPause;
class frmRapport;

class frmPrincipal final : public QWidget {
    Q_OBJECT
public:
    // `cheminApplication`: the program's folder (empty: the executable's).
    explicit frmPrincipal(const QString& cheminApplication = QString(), QWidget* parent = nullptr);
    ~frmPrincipal() override;
    frmPrincipal(const frmPrincipal&) = delete;
    frmPrincipal& operator=(const frmPrincipal&) = delete;

    enum class Demarrage { Afficher, Terminer, DeuxiemeInstance, Refuse };
    // The start-up sequence, from the command line after the program's name.
    // Afficher: show the window; otherwise the process ends (non-zero status for
    // Terminer, silently for a second instance, whose service's window was
    // asked to come forward, and for a service file the user refused).
    Demarrage Form_Load(const QString& ligneCommande);

    // Saves the connection settings (only while the window is visible).
    void EnregistreParams();

    // Where the service's lock and socket go, their names without the
    // service's key (empty: the user's runtime folder); tests point it elsewhere.
    static void DefinitCheminVerrou(const QString& chemin);
    // Whether a service file that writes files, opens them, deletes itself or
    // searches at start is shown and asked about first (PremierRegard.h).
    // The program turns it on; tests turn it on where they look at it.
    static void DefinitPremierRegard(bool actif);

    // The window to the front (a second launch of its service asked for it).
    void PremierPlan();

    QString CheminApplication;
    QString FichierParametres;
    bool RechercheEffectuee = false;

    // Controls (object names are the same).
    QTabWidget* Onglets = nullptr;
    QRadioButton* TypeConnexion[2] = {nullptr, nullptr};
    QFrame* frameConnexionProxy = nullptr;
    QLineEdit* AdresseProxy = nullptr;
    QLineEdit* HTTPProxy = nullptr;
    QLineEdit* FTPProxy = nullptr;
    // The proxy's login: the user is saved in Ramag.ini, the password in the
    // desktop's secret store (for the session only when there is none, which
    // LabelMotDePasse then says).
    QLineEdit* UtilisateurProxy = nullptr;
    QLineEdit* MotDePasseProxy = nullptr;
    QLabel* LabelMotDePasse = nullptr;
    // The daily check of this service by the user's systemd timer.
    QCheckBox* VerificationQuotidienne = nullptr;
    QLabel* LabelVerification = nullptr;
    QLabel* LabelTitre = nullptr;
    QLabel* LabelRaisonRecherche = nullptr; // why the last search failed
    QLabel* Label3[2] = {nullptr, nullptr};
    QPushButton* cmdRecherche = nullptr;
    JaugeWidget* Jauge = nullptr;
    QTimer* TimerDemarrage = nullptr;
    QListView* ListeSources = nullptr;
    ModeleListe* Resultats = nullptr; // what ListeSources shows: the list copy's lines
    QLabel* LabelSelection = nullptr;
    QPushButton* SelectionneTout = nullptr;
    QPushButton* cmdTelechargeSelection = nullptr;
    QTimer* TimerCalcul = nullptr;
    Inet* Inet1 = nullptr;

    // The report and pause windows of the download runs, made on first use.
    frmRapport* Rapport();
    frmPause* Pause();

    // The long operations, which yield to the event loop while they work.
    enum class Operation { Aucune, Recherche, Telechargement };
    Operation OperationEnCours() const { return operation_; }
    // For the length of an operation: the controls that could start another
    // one or change what it works on are disabled (the whole window for a
    // download run), then given back as they were. A close of the window
    // confirmed meanwhile takes effect once the operation has unwound.
    // `arret` is the operation's stop, which the window's close, Escape and
    // the signals ask.
    class GardeOperation {
    public:
        GardeOperation(frmPrincipal& fenetre, Operation operation, Arret& arret);
        ~GardeOperation();
        GardeOperation(const GardeOperation&) = delete;
        GardeOperation& operator=(const GardeOperation&) = delete;

    private:
        frmPrincipal& fenetre_;
        QList<QPair<QWidget*, bool>> etats_;
    };
    // True once the user confirmed closing the window during an operation.
    bool FermetureDemandee() const { return fermetureDemandee_; }

    // From now on SIGINT and SIGTERM (a session that ends, a service manager)
    // close the window without a question: see ArretParSignal.
    void ArreteSurSignaux();
    // What a signal does: the operation in progress stopped at once (a pause
    // or a server's wait included), the window closed once it has unwound,
    // which saves the settings. Nobody may be there to answer: the message
    // boxes open are closed, and those that follow go to standard error, their
    // questions answered No.
    void ArretParSignal();

    // Handlers: the search and the download run are engines of the core; these
    // connect them to the windows.
    void cmdRecherche_Click();
    void cmdTelechargeSelection_Click();
    int InfoSelection();
    // The connection settings as the Parameters tab shows them, with the
    // limits on the runs read from Ramag.ini.
    ReglagesConnexion Reglages() const;
    // A proxy address typed with its user and password: they go to their
    // fields (the password to the secret store), the address keeps the rest.
    void SepareAdresseProxy();
    // The proxy's password to the secret store, when it changed; `attendre`:
    // wait for the store's answer (at most DelaiCoffreMs), as the program ends.
    void RangeMotDePasse(bool attendre);
    // The password read from the store at start-up, waited for at most
    // DelaiCoffreMs when a search or a run needs it before it came.
    void AttendMotDePasse();
    static constexpr int DelaiCoffreMs = 3000;
    // Empties the result list and closes its tab (the list copy no longer
    // matches it).
    void VideResultats();
    void SelectionneTout_Click();
    void AfficheSablier();
    void AfficheCurseurNormal();

    // The address behind the author link.
    static const QString AdresseAuteur;

signals:
    // The report window closes with the settings being saved.
    void fermeRapport();
    // A stop was confirmed through the main window (its close button).
    void arretDemande();
    // PremierPlan brought the window forward.
    void premierPlanDemande();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* objet, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ConstruitOnglets();
    QWidget* ConstruitOngletParametres();
    QWidget* ConstruitOngletRecherche();
    QWidget* ConstruitOngletTelechargement();
    void TypeConnexion_Click(int index);
    void Onglets_Click(int index);
    void ListeSources_Click();
    void TimerDemarrage_Timer();
    void TimerCalcul_Timer();
    void Label3_Click(int index);
    void LitRamagIni();
    void CoffreIndisponible();
    // Sets the proxy's login on the transfer object for the next request.
    void AppliqueIdentifiantsProxy(const ReglagesConnexion& reglages);
    // The user's limits on the runs read from Ramag.ini (0: none), kept for
    // its next writing.
    int transfertsIni_ = 0;
    qint64 debitIni_ = 0;
    // Escape during a search: the question the close asks, then the stop.
    void InterromptRecherche();

    QButtonGroup* groupeConnexion_ = nullptr;
    VerificationProgrammee* verification_ = nullptr;
    // What the secret store holds, as far as this window knows: the key and
    // the password last read or written there.
    QString cleRangee_, motDePasseRange_;
    bool lectureCoffre_ = false; // the start-up read has not answered yet
    QEventLoop* attenteCoffre_ = nullptr;
    std::unique_ptr<InstanceService> instance_;
    // The service's search lock, held from a search to the end of the window
    // or of its results (a run without windows then waits its turn), and the
    // settings of the search whose rows are shown.
    std::unique_ptr<VerrouListe> verrouListe_;
    std::shared_ptr<const TableVariables> reglagesRecherche_;
    int ongletPrecedent_ = 1;
    Operation operation_ = Operation::Aucune;
    Arret* arretOperation_ = nullptr; // the stop of the operation in progress
    // Asks the stop of the operation in progress, if any.
    void ArreteOperation();
    bool fermetureDemandee_ = false;
    frmRapport* rapport_ = nullptr;
    frmPause* pause_ = nullptr;
    std::unique_ptr<SignauxArret> signaux_;
    bool sansReponse_ = false; // a signal took the message boxes away
    GestionnaireMessages* messagesAvant_ = nullptr;
};
