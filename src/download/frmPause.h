// The pause between downloads: a countdown of the run's TempsPauseRestant
// seconds that closes itself at 0, and a button that stops the whole run.
#pragma once

#include <QWidget>

class Arret;
class QLabel;
class QPushButton;
class QTimer;

class frmPause final : public QWidget {
    Q_OBJECT
public:
    explicit frmPause(QWidget* parent = nullptr);

    QLabel* LabelPause = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblTempsRestant = nullptr;
    QPushButton* ArretTelechargement = nullptr;
    QTimer* TimerPause = nullptr;

    // The stop of the run paused (null: none): its seconds left are counted
    // down here, and the stop button asks it.
    void FixeArret(Arret* arret) { arret_ = arret; }

    // Shows the seconds left; loads the window first when it is not loaded.
    void AfficheTemps();
    // One step of the countdown; the window unloads itself at 0.
    void TimerPause_Timer();
    // The stop request of the whole run.
    void ArretTelechargement_Click();
    // The countdown ended now, as a confirmed stop ends it ("0 seconde", the
    // window unloaded): a stop asked elsewhere (the main window's close, a
    // signal) ends the pause at once too.
    void Interrompt();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Decharge();

    Arret* arret_ = nullptr;
    bool charge_ = false;
    bool dechargement_ = false;
};
