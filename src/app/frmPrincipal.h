// The main window: connection settings, the search, and the files found.
#pragma once

#include <QList>
#include <QLockFile>
#include <QPair>
#include <QString>
#include <QWidget>
#include <memory>

#include "config/ReglagesConnexion.h"

class TableVariables;
class VerrouListe;

class QButtonGroup;
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

    enum class Demarrage { Afficher, Terminer, DeuxiemeInstance };
    // The start-up sequence, from the command line after the program's name.
    // Afficher: show the window; otherwise the process ends (non-zero status for
    // Terminer, silently for a second instance).
    Demarrage Form_Load(const QString& ligneCommande);

    // Saves the connection settings (only while the window is visible).
    void EnregistreParams();

    // The lock that tells a second instance it is one; tests point it elsewhere.
    static void DefinitCheminVerrou(const QString& chemin);

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
    QLabel* LabelTitre = nullptr;
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
    class GardeOperation {
    public:
        GardeOperation(frmPrincipal& fenetre, Operation operation);
        ~GardeOperation();
        GardeOperation(const GardeOperation&) = delete;
        GardeOperation& operator=(const GardeOperation&) = delete;

    private:
        frmPrincipal& fenetre_;
        QList<QPair<QWidget*, bool>> etats_;
    };
    // True once the user confirmed closing the window during an operation.
    bool FermetureDemandee() const { return fermetureDemandee_; }

    // Handlers: the search and the download run are engines of the core; these
    // connect them to the windows.
    void cmdRecherche_Click();
    void cmdTelechargeSelection_Click();
    int InfoSelection();
    // The connection settings as the Parameters tab shows them, with the
    // limits on the runs read from Ramag.ini.
    ReglagesConnexion Reglages() const;
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
    // The user's limits on the runs read from Ramag.ini (0: none), kept for
    // its next writing.
    int transfertsIni_ = 0;
    qint64 debitIni_ = 0;
    // Escape during a search: the question the close asks, then the stop.
    void InterromptRecherche();

    QButtonGroup* groupeConnexion_ = nullptr;
    std::unique_ptr<QLockFile> verrou_;
    // The service's search lock, held from a search to the end of the window
    // or of its results (a run without windows then waits its turn), and the
    // settings of the search whose rows are shown.
    std::unique_ptr<VerrouListe> verrouListe_;
    std::shared_ptr<const TableVariables> reglagesRecherche_;
    int ongletPrecedent_ = 1;
    Operation operation_ = Operation::Aucune;
    bool fermetureDemandee_ = false;
    frmRapport* rapport_ = nullptr;
    frmPause* pause_ = nullptr;
};
