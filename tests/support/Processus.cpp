#include "support/Processus.h"

#include "support/Outils.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// Starts `commande`, its output and errors to the files (empty: inherited); 0 when it cannot.
pid_t Demarre(const QStringList& commande, const QString& dossier, const QString& sortie,
              const QString& erreurs) {
    if (commande.isEmpty())
        return 0;
    std::vector<QByteArray> textes(commande.size());
    std::vector<char*> arguments(commande.size() + 1, nullptr);
    for (qsizetype i = 0; i < commande.size(); ++i)
        arguments[size_t(i)] = (textes[size_t(i)] = commande[i].toLocal8Bit()).data();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray d = dossier.toLocal8Bit(), s = sortie.toLocal8Bit(), e = erreurs.toLocal8Bit();
    if (!d.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, d.constData());
    if (!s.isEmpty())
        posix_spawn_file_actions_addopen(&actions, 1, s.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!e.isEmpty())
        posix_spawn_file_actions_addopen(&actions, 2, e.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    else if (!s.isEmpty())
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int erreur = posix_spawnp(&pid, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return erreur == 0 ? pid : 0;
}

} // namespace

ProgrammeTermine Execute(const QStringList& commande, const QString& dossier, int delaiMs) {
    ProgrammeTermine e;
    QTemporaryDir sorties;
    Processus p;
    if (!p.Lance(commande, sorties.filePath("sortie"), dossier, sorties.filePath("erreurs"))) {
        e.erreurs = commande.value(0).toLocal8Bit() + " : impossible de lancer le programme";
        return e;
    }
    if (p.Fini(delaiMs))
        e.code = p.Code();
    else
        p.Tue();
    e.sortie = LitFichier(sorties.filePath("sortie"));
    e.erreurs = LitFichier(sorties.filePath("erreurs"));
    return e;
}

bool Processus::Lance(const QStringList& commande, const QString& fichierSortie, const QString& dossier,
                      const QString& fichierErreurs) {
    Arrete();
    pid_ = Demarre(commande, dossier, fichierSortie, fichierErreurs);
    code_ = -1;
    return pid_ != 0;
}

bool Processus::Fini(int delaiMs) {
    const QDeadlineTimer limite = delaiMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(delaiMs);
    while (pid_ != 0) {
        int statut = 0;
        const pid_t r = waitpid(pid_, &statut, limite.isForever() ? 0 : WNOHANG);
        if (r == pid_ || r < 0) {
            code_ = r == pid_ && WIFEXITED(statut) ? WEXITSTATUS(statut) : -1;
            pid_ = 0;
        } else if (limite.hasExpired()) {
            return false;
        } else {
            QThread::msleep(5);
        }
    }
    return true;
}

bool Processus::AttendPort(quint16 port, int delaiMs) {
    for (QDeadlineTimer limite(delaiMs); !limite.hasExpired();) {
        QTcpSocket essai;
        essai.connectToHost(QHostAddress::LocalHost, port);
        if (essai.waitForConnected(100))
            return true;
        if (Fini(20))
            return false; // the port was taken, or the program refused its configuration
    }
    return false;
}

void Processus::Arrete() {
    if (pid_ != 0)
        kill(pid_, SIGTERM);
    if (!Fini(3000))
        Tue();
}

void Processus::Tue() {
    if (pid_ != 0)
        kill(pid_, SIGKILL);
    Fini(-1);
}
