// The main window: connection settings, the search, and the files found.
#pragma once

#include <QLockFile>
#include <QString>
#include <QWidget>
#include <memory>

class QButtonGroup;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class Inet;
class JaugeWidget;

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
    QListWidget* ListeSources = nullptr;
    QLabel* LabelSelection = nullptr;
    QPushButton* SelectionneTout = nullptr;
    QPushButton* cmdTelechargeSelection = nullptr;
    QTimer* TimerCalcul = nullptr;
    Inet* Inet1 = nullptr;

    // Handlers (the search and the selection are in the search folder).
    void cmdRecherche_Click();
    bool TraitementFichier(const QString& chemin);
    int InfoSelection();
    void SelectionneTout_Click();
    void AfficheSablier();
    void AfficheCurseurNormal();

    // The address behind the author link.
    static const QString AdresseAuteur;

signals:
    // The report window closes with the settings being saved.
    void fermeRapport();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* objet, QEvent* event) override;

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
    QString CheminIni(bool pourEcrire) const;

    QButtonGroup* groupeConnexion_ = nullptr;
    std::unique_ptr<QLockFile> verrou_;
    int ongletPrecedent_ = 1;
};
