// The progress of a run in one line of text, the same for the report window
// and for the terminal: the file's place in the run, the bytes received of
// its size, the rate and the time left.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>

#include "util/Fonctions_Jauge.h"

struct Progression {
    int fichier = 0, fichiers = 0; // file k of n, from 1 (n of 0: not a run's file)
    QString sujet;                 // what is fetched when it is not a run's file
    double recu = 0;               // bytes
    double total = -1;             // bytes (below 0: unknown)
    double debit = 0;              // bytes per second (0: not known yet)
};

// "Fichier 3 sur 12 — 4,2 Mo sur 18 Mo — 1,1 Mo/s — encore 13 s". Without a
// size, the bytes received alone ("4,2 Mo reçus") and no time left; without a
// rate, neither rate nor time left.
QString TexteProgression(const Progression& p);

// A duration as the terminal and the report say it: "45 s", "2 min 5 s",
// "1 h 0 min 12 s".
QString FormateDuree(qint64 secondes);

// A gauge that passes everything on to the gauge below it (the window's,
// drawn exactly as before, or none) and keeps the progress of the files in
// transfer, told to `montre` as a line of text each time the gauge moves.
//
// The transfer layer tells the bytes received and the size (Octets) before
// it draws; the rate comes from the time since the gauge was shown.
class JaugeSuivie final : public SurfaceJauge {
public:
    explicit JaugeSuivie(std::function<void(const QString&)> montre) : montre_(std::move(montre)) {}

    // The gauge drawn on (null: none), for the files that follow.
    void Dessous(SurfaceJauge* jauge);
    // The next file is file k of n of the run.
    void Fichier(int k, int n);
    // The next file is `sujet` (outside a run: the list of a search).
    void Sujet(const QString& sujet);

    void MontreSurface(bool visible) override;
    void DessineSurface(int pourcentage, const QString& legende) override;
    void Octets(double recus, double total) override;

private:
    SurfaceJauge* Vivante() const { return dessous_ && *vieDessous_ ? dessous_ : nullptr; }

    std::function<void(const QString&)> montre_;
    SurfaceJauge* dessous_ = nullptr;
    std::shared_ptr<const bool> vieDessous_;
    Progression p_;
    QElapsedTimer debut_;
};
