#include "util/Arret.h"

#include <QAbstractEventDispatcher>

void Arret::Demande() {
    demande_.store(true, std::memory_order_relaxed);
    if (QAbstractEventDispatcher* boucle = QAbstractEventDispatcher::instance())
        boucle->wakeUp();
}
