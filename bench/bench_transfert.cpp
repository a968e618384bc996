// Fetches one address through TelechargeFichier, as the program does, and
// prints what the comparison script needs: the time taken, the memory the
// fetch added to the process, and the longest time the event loop went
// without a turn (seen by a 1 ms timer).
//   bench_transfert ADDRESS DESTINATION
// Output: one line "seconds=S bytes=B rss_extra_mib=M max_gap_ms=G".
//   bench_transfert --mecanismes SMALL_ADDRESS LARGE_ADDRESS [TLS_1 TLS_2 AUTHORITY]
// The receive path's mechanisms, counted rather than timed: the queued calls
// that bring a small answer (headers, body and end) to this thread, and what
// the receive buffer holds for a reader that does not read for half a second
// (bounded: the ring of 1 MiB and at most one block of libcurl's), then that
// the whole large resource still comes once it reads. With two HTTPS
// addresses (and the authority that signed their server), fetches both on
// one transfer object, for the caller to count the server's connections.
// Output: one line "queued_calls_small=N held_kib_slow_reader=K large_bytes=B".
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

// How many bytes the current request gives, read in blocks of `taille`.
qint64 LitTout(Inet& inet, int taille) {
    qint64 n = 0;
    for (QByteArray morceau; !(morceau = inet.GetChunk(taille)).isEmpty();)
        n += morceau.size();
    return n;
}

int Mecanismes(const QString& petite, const QString& grande, const QStringList& chiffrees, const QString& autorite) {
    Inet inet;
    struct Envois final : QObject {
        int n = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            n += e->type() == QEvent::MetaCall;
            return false;
        }
    } envois;
    inet.installEventFilter(&envois);
    inet.Execute(petite, QStringLiteral("GET"));
    const qint64 petits = LitTout(inet, 65536);
    QCoreApplication::sendPostedEvents(&inet); // those not delivered yet count too
    inet.removeEventFilter(&envois);

    inet.Execute(grande, QStringLiteral("GET"));
    QElapsedTimer attente;
    attente.start();
    while (attente.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const qsizetype tenus = inet.OctetsEnAttente();
    const qint64 grands = LitTout(inet, 65536);
    bool chiffreesRecues = true;
    inet.CertificatsAutorite = autorite;
    for (const QString& adresse : chiffrees)
        chiffreesRecues = !inet.OpenURL(adresse).isEmpty() && chiffreesRecues;
    std::printf("queued_calls_small=%d held_kib_slow_reader=%lld large_bytes=%lld\n", envois.n,
                static_cast<long long>(tenus / 1024), static_cast<long long>(grands));
    return petits > 0 && grands > 0 && chiffreesRecues ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    if ((argc == 4 || argc == 7) && qstrcmp(argv[1], "--mecanismes") == 0) {
        const QStringList a = app.arguments();
        return Mecanismes(a[2], a[3], a.mid(4, 2), a.value(6));
    }
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
