#include "util/SignauxArret.h"

#include <QSocketNotifier>

#include <csignal>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// What the handler touches: nothing else is safe there.
volatile std::sig_atomic_t gSignal = 0;

#ifndef _WIN32
int gTube[2] = {-1, -1};
struct sigaction gAvant[2];
constexpr int Signaux[2] = {SIGINT, SIGTERM};

void SurSignal(int numero) {
    if (gSignal != 0)
        _exit(128 + numero);
    gSignal = numero;
    const int erreur = errno;
    const char octet = 1;
    [[maybe_unused]] const ssize_t ecrit = write(gTube[1], &octet, 1);
    errno = erreur;
}
#endif

} // namespace

SignauxArret::SignauxArret(std::function<void(int)> surSignal) : surSignal_(std::move(surSignal)) {
    gSignal = 0;
#ifndef _WIN32
    // Windows sends neither signal: its windows get a close event instead.
    if (gTube[0] != -1 || pipe(gTube) != 0)
        return;
    for (int fd : gTube) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    notificateur_ = std::make_unique<QSocketNotifier>(gTube[0], QSocketNotifier::Read);
    QObject::connect(notificateur_.get(), &QSocketNotifier::activated, [this] { Lit(); });
    struct sigaction action {};
    action.sa_handler = SurSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i)
        sigaction(Signaux[i], &action, &gAvant[i]);
#endif
}

SignauxArret::~SignauxArret() {
#ifndef _WIN32
    if (!notificateur_)
        return;
    for (int i = 0; i < 2; ++i)
        sigaction(Signaux[i], &gAvant[i], nullptr);
    notificateur_.reset();
    close(gTube[0]);
    close(gTube[1]);
    gTube[0] = gTube[1] = -1;
#endif
}

int SignauxArret::Recu() { return gSignal; }

void SignauxArret::Lit() {
#ifndef _WIN32
    char octets[16];
    while (read(gTube[0], octets, sizeof octets) > 0) {
    }
#endif
    if (appele_ || gSignal == 0)
        return;
    appele_ = true;
    surSignal_(gSignal);
}
