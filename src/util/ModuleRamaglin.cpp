#include "util/ModuleRamaglin.h"

#include <QAbstractEventDispatcher>

bool ArretDemande = false;
int TempsPauseRestant = 0;

void DemandeArret() {
    ArretDemande = true;
    if (QAbstractEventDispatcher* boucle = QAbstractEventDispatcher::instance())
        boucle->wakeUp();
}
