// The progress line of a run.
#include "download/Progression.h"

#include <QStringList>
#include <algorithm>

#include "util/Fonctions_Math.h"

QString FormateDuree(qint64 secondes) {
    if (secondes < 60)
        return QStringLiteral("%1 s").arg(secondes);
    if (secondes < 3600)
        return QStringLiteral("%1 min %2 s").arg(secondes / 60).arg(secondes % 60);
    return QStringLiteral("%1 h %2 min %3 s").arg(secondes / 3600).arg(secondes / 60 % 60).arg(secondes % 60);
}

QString TexteProgression(const Progression& p) {
    QStringList parties;
    if (p.fichiers > 0)
        parties << QStringLiteral("Fichier %1 sur %2").arg(p.fichier).arg(p.fichiers);
    else if (!p.sujet.isEmpty())
        parties << p.sujet;
    const bool avecTotal = p.total >= 0;
    if (avecTotal)
        parties << FormateTaille(p.recu, false) + QStringLiteral(" sur ") + FormateTaille(p.total, false);
    else if (p.recu > 0)
        parties << FormateTaille(p.recu, false) + QStringLiteral(" reçus");
    if (p.debit > 0) {
        parties << FormateTaille(p.debit, false) + QStringLiteral("/s");
        if (avecTotal && p.total > p.recu)
            parties << QStringLiteral("encore ") +
                           FormateDuree(std::max<qint64>(1, qRound64((p.total - p.recu) / p.debit)));
    }
    return parties.join(QStringLiteral(" — "));
}

void JaugeSuivie::Dessous(SurfaceJauge* jauge) {
    dessous_ = jauge;
    vieDessous_ = jauge ? jauge->Vie() : nullptr;
}

void JaugeSuivie::Fichier(int k, int n) {
    p_.fichier = k;
    p_.fichiers = n;
    montre_(TexteProgression(p_)); // the file's place at once, before its first byte
}

void JaugeSuivie::Sujet(const QString& sujet) {
    p_.fichiers = 0;
    p_.sujet = sujet;
}

void JaugeSuivie::MontreSurface(bool visible) {
    if (SurfaceJauge* j = Vivante())
        j->MontreSurface(visible);
    if (visible) {
        debut_.start();
        p_.recu = 0;
        p_.total = -1;
        p_.debit = 0;
    }
}

void JaugeSuivie::DessineSurface(int pourcentage, const QString& legende) {
    if (SurfaceJauge* j = Vivante()) {
        j->DessineSurface(pourcentage, legende);
        j->Tag = QString::number(pourcentage);
    }
    // The reset at the start of a file says nothing yet.
    if (pourcentage == 0 && legende.isEmpty())
        return;
    // As the transfer layer counts its own rate: from the first second on.
    const double secondes = double(debut_.elapsed()) / 1000;
    p_.debit = secondes >= 1 ? p_.recu / secondes : 0;
    montre_(TexteProgression(p_));
}

void JaugeSuivie::Octets(double recus, double total) {
    if (SurfaceJauge* j = Vivante())
        j->Octets(recus, total);
    p_.recu = recus;
    p_.total = total;
}
