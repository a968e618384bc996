// The report window of a download run: one line per file and how it ended,
// the gauge of the file in transfer, and the stop button.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

class Arret;
class QLabel;
class QListView;
class ModeleRapport;
class QPushButton;
class QTimer;
class JaugeWidget;

class frmRapport final : public QWidget {
    Q_OBJECT
public:
    explicit frmRapport(QWidget* parent = nullptr);

    QListView* List1 = nullptr;
    ModeleRapport* Lignes = nullptr; // what List1 shows
    JaugeWidget* Jauge = nullptr;
    // The run's progress under the gauge: file k of n, bytes, rate, time left.
    QLabel* lblProgression = nullptr;
    // Shows `texte` in lblProgression, cut with "…" when the window is too
    // narrow for it (the whole line then in its tooltip); empty: none, now.
    // A quick run changes it for every file: it is shown at most every few
    // hundredths of a second, and at once by MontreDerniereLigne.
    void MontreProgression(const QString& texte);
    QPushButton* ArretTelechargement = nullptr;

    // True while a run is in progress: the close button then asks to stop.
    bool EnCours = false;

    // Empties the report.
    void Vide();
    // Adds a line and brings it into view. Lines added in a quick run are
    // shown and brought into view together, at most every few hundredths of
    // a second: each time, the list lays all its lines out again.
    void AjouteLigne(const QString& texte);
    // Shows the lines added so far, selects the last one and brings it into
    // view now (at the end of a run).
    void MontreDerniereLigne();
    // Overwrites the last line (the "[En cours] " line of the same file); a
    // failure's reason, when given, shows as the line's tooltip.
    void RemplaceDerniereLigne(const QString& texte, const QString& raison = QString());
    // Overwrites line `i` (from 0): the "[En cours] " line of a file among
    // several in flight.
    void RemplaceLigne(int i, const QString& texte, const QString& raison = QString());
    // The lines as text, each followed by its reason after a tab when it has one.
    QString TexteDesLignes() const;

    // The stop of the run shown (null: none), which the stop button asks.
    void FixeArret(Arret* arret) { arret_ = arret; }
    // The stop request: confirmed, then the button disabled and the run's
    // stop asked.
    void ArretTelechargement_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void CopieLignes() const;
    void AfficheProgression();

    Arret* arret_ = nullptr;
    QTimer* suivi_ = nullptr;  // the last line is to be brought into view
    QElapsedTimer dernierSuivi_;
    QString progression_;           // the progress line to show
    QTimer* suiviProgression_ = nullptr; // it is to be shown
    QElapsedTimer dernierProgression_;
};
