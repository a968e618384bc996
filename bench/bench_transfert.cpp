// Fetches one address through TelechargeFichier, as the program does, and
// prints what the comparison script needs: the time taken, the memory the
// fetch added to the process, and the longest time the event loop went
// without a turn (seen by a 1 ms timer).
//   bench_transfert ADDRESS DESTINATION
// Output: one line "seconds=S bytes=B rss_extra_mib=M max_gap_ms=G".
#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>

#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "util/Fonctions_Jauge.h"

#include "Memoire.h"

namespace {

// The gauge of a window, minus the drawing: the captions are still made.
struct JaugeMuette final : SurfaceJauge {
    void MontreSurface(bool) override {}
    void DessineSurface(int, const QString& legende) override { derniere = legende; }
    QString derniere;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_transfert ADRESSE DESTINATION\n");
        return 2;
    }
    Inet Inet1;
    QObject::connect(&Inet1, &Inet::StateChanged, &Inet1,
                     [&Inet1](int etat) { GereEtatTransfert(Inet1, etat); });
    JaugeMuette jauge;

    // The event loop's pulse: the longest gap between two ticks.
    QElapsedTimer pouls;
    qint64 ecartMax = 0;
    QTimer battement;
    battement.setInterval(1);
    battement.setTimerType(Qt::PreciseTimer);
    QObject::connect(&battement, &QTimer::timeout, [&] {
        ecartMax = std::max(ecartMax, pouls.restart());
    });

    QCoreApplication::processEvents();
    const long auRepos = StatutKio("VmRSS");
    QString adresse = QString::fromLocal8Bit(argv[1]);
    const QString destination = QString::fromLocal8Bit(argv[2]);
    double taille = 0;
    bool redirige = false;

    battement.start();
    pouls.start();
    QElapsedTimer chrono;
    chrono.start();
    const bool ok = TelechargeFichier(Inet1, adresse, destination, false, -1, &jauge, taille,
                                      redirige);
    const double secondes = chrono.nsecsElapsed() / 1e9;
    ecartMax = std::max(ecartMax, pouls.elapsed());
    battement.stop();

    const long pic = StatutKio("VmHWM");
    std::printf("seconds=%.3f bytes=%lld rss_extra_mib=%.1f max_gap_ms=%lld ok=%d\n", secondes,
                static_cast<long long>(QFileInfo(destination).size()),
                double(pic - auRepos) / 1024.0, static_cast<long long>(ecartMax), ok ? 1 : 0);
    std::fprintf(stderr, "dernière légende : %s\n", qPrintable(jauge.derniere));
    return ok ? 0 : 1;
}
