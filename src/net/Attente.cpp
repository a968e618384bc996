// Waiting on the user-interface thread without freezing it.
#include "net/Attente.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

void PatienteUnPeu(int delaiMs) {
    // The timer only bounds the wait: any event ends it sooner.
    QTimer limite;
    limite.setSingleShot(true);
    limite.start(delaiMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void CedeDeTempsEnTemps() {
    static QElapsedTimer dernierTour;
    if (!dernierTour.isValid() || dernierTour.elapsed() >= 4) {
        QCoreApplication::processEvents();
        dernierTour.start();
    }
}
