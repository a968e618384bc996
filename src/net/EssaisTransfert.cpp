// The retry policy shared by the run and the search.
#include "net/EssaisTransfert.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "net/Attente.h"
#include "util/Fonctions_Jauge.h"
#include "util/Arret.h"

double EssaisTransfert::EchelleEnvironnement() {
    bool ok = false;
    const double echelle = qEnvironmentVariable("RAMAGLIN_ECHELLE_ATTENTES").toDouble(&ok);
    return ok && echelle >= 0 ? echelle : 1;
}

EssaisTransfert::Suite EssaisTransfert::ApresEchec(const IssueTransfert& issue, QString& raison) {
    Suite suite;
    if (issue.genre == IssueTransfert::Genre::Passager && passagers_ < int(std::size(AttentesPassageres))) {
        suite.genre = Suite::Genre::Nouvel;
        suite.millisecondes = qint64(std::llround(AttentesPassageres[passagers_++] * 1000 * echelle_));
        return suite;
    }
    if (issue.genre == IssueTransfert::Genre::Occupe && occupes_ < int(std::size(AttentesServeur))) {
        const qint64 demande = SecondesRetryAfter(issue.attenteServeur, QDateTime::currentDateTimeUtc());
        if (demande > AttenteServeurMax) {
            raison = QStringLiteral("le serveur demande d'attendre ") + DureeLisible(demande);
            return suite;
        }
        suite.genre = Suite::Genre::AttenteServeur;
        suite.secondes = demande >= 0 ? int(std::max<qint64>(demande, 1))
                                      : std::max(1, int(std::lround(AttentesServeur[occupes_] * echelle_)));
        ++occupes_;
        return suite;
    }
    return suite;
}

QString EssaisTransfert::RaisonFinale(const QString& raison) const {
    return essais_ > 1 ? raison + QStringLiteral(" (%1 essais)").arg(essais_) : raison;
}

bool AttendSurJauge(qint64 millisecondes, const QString& gabarit, SurfaceJauge* jauge, const Arret& arret) {
    QElapsedTimer depuis;
    depuis.start();
    qint64 affichee = -1;
    while (!arret.Demandee() && depuis.elapsed() < millisecondes) {
        const qint64 reste = (millisecondes - depuis.elapsed() + 999) / 1000;
        if (reste != affichee && jauge) {
            affichee = reste;
            AfficheJauge(*jauge, 0, QString(gabarit).arg(reste));
        }
        PatienteUnPeu(int(std::clamp<qint64>(millisecondes - depuis.elapsed(), 1, 100)));
    }
    if (jauge)
        InitialiseJauge(*jauge);
    return !arret.Demandee();
}

QString DureeLisible(qint64 secondes) {
    QStringList parties;
    if (secondes >= 3600)
        parties << QStringLiteral("%1 h").arg(secondes / 3600);
    if (secondes % 3600 >= 60)
        parties << QStringLiteral("%1 min").arg(secondes % 3600 / 60);
    if (secondes % 60 != 0 || parties.isEmpty())
        parties << QStringLiteral("%1 s").arg(secondes % 60);
    return parties.join(QLatin1Char(' '));
}
