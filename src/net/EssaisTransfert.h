// How a fetch that failed is tried again, for every fetch that someone waits
// for: the files of a run, and the list of a search with its signature.
//
// A transient failure (refused or reset connection, time-out, cut, 502, 504):
// 2 more tries, 2 s then 8 s later. A server that asks to wait (429, 503): 3
// more tries at most, after its Retry-After, else 10, 30, then 90 s; more
// than 15 minutes asked is not waited. The waits the program chooses itself
// (not a Retry-After) are multiplied by a scale: 1 in use; the environment
// variable RAMAGLIN_ECHELLE_ATTENTES sets it for a whole process (tests).
#pragma once

#include <QString>

#include "net/Fonctions_Internet_INET.h"

class EssaisTransfert {
public:
    static constexpr int AttentesPassageres[] = {2, 8};
    static constexpr int AttentesServeur[] = {10, 30, 90};
    static constexpr int AttenteServeurMax = 15 * 60;
    static constexpr int EssaisMaxPassagers = 1 + int(std::size(AttentesPassageres));

    // The scale the environment gives (1 when it gives none that makes sense).
    static double EchelleEnvironnement();

    explicit EssaisTransfert(double echelle = EchelleEnvironnement()) : echelle_(echelle) {}

    struct Suite {
        enum class Genre {
            Abandon,        // no other try: `raison` says why
            Nouvel,         // another try after `millisecondes` (a transient failure)
            AttenteServeur, // another try after the `secondes` the server asked for
        };
        Genre genre = Genre::Abandon;
        qint64 millisecondes = 0;
        int secondes = 0;
    };
    // After a failed try that ended as `issue` (not a stop): what comes next.
    // `raison` is the failure's reason, replaced when the server asks for a
    // wait too long to make.
    Suite ApresEchec(const IssueTransfert& issue, QString& raison);

    // Tries made so far (counted by ApresEchec and Debut).
    int Essais() const { return essais_; }
    void Debut() { ++essais_; }
    // The reason of the last failure, with the number of tries when more than one.
    QString RaisonFinale(const QString& raison) const;

private:
    double echelle_;
    int essais_ = 0, passagers_ = 0, occupes_ = 0;
};

class Arret;
class SurfaceJauge;

// Waits `millisecondes` on the event loop, the seconds left shown on `jauge`
// (may be null) through `gabarit` ("%1": the seconds); the gauge is emptied
// afterwards. False when `arret` was asked meanwhile.
bool AttendSurJauge(qint64 millisecondes, const QString& gabarit, SurfaceJauge* jauge, const Arret& arret);

// A wait as a person says it: "2 h", "1 h 30 min", "16 min 40 s".
QString DureeLisible(qint64 secondes);
