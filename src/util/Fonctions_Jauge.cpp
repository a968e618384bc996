#include "util/Fonctions_Jauge.h"

void InitialiseJauge(SurfaceJauge& jauge) {
    jauge.MontreSurface(true);
    AfficheJauge(jauge, 0, QString());
}

void AfficheJauge(SurfaceJauge& jauge, int pourcentage, const QString& legende) {
    // The transfer draws for every block received: skip a percentage already shown.
    const QString texte = QString::number(pourcentage);
    if (texte == jauge.Tag)
        return;
    jauge.DessineSurface(pourcentage, pourcentage > 0 ? legende : QString());
    jauge.Tag = texte;
}

void MasqueJauge(SurfaceJauge& jauge) { jauge.MontreSurface(false); }
