#include "support/Processus.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// Starts `commande` with its standard output and error going to the files
// (empty: inherited); 0 when it could not start.
pid_t Demarre(const QStringList& commande, const QString& dossier, const QString& sortie,
              const QString& erreurs) {
    if (commande.isEmpty())
        return 0;
    std::vector<QByteArray> textes;
    for (const QString& a : commande)
        textes.push_back(a.toLocal8Bit());
    std::vector<char*> arguments;
    for (QByteArray& t : textes)
        arguments.push_back(t.data());
    arguments.push_back(nullptr);
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

// Waits for `pid` at most `delaiMs` (-1: no limit); its exit status, -1 when
// it did not exit normally, -2 when it is still running.
int Attend(pid_t pid, int delaiMs) {
    const QDeadlineTimer limite = delaiMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(delaiMs);
    for (;;) {
        int statut = 0;
        const pid_t r = waitpid(pid, &statut, limite.isForever() ? 0 : WNOHANG);
        if (r == pid)
            return WIFEXITED(statut) ? WEXITSTATUS(statut) : -1;
        if (r < 0)
            return -1;
        if (limite.hasExpired())
            return -2;
        QThread::msleep(5);
    }
}

QByteArray Lit(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

ProgrammeTermine Execute(const QStringList& commande, const QString& dossier, int delaiMs) {
    ProgrammeTermine e;
    QTemporaryDir sorties;
    const QString sortie = sorties.filePath("sortie"), erreurs = sorties.filePath("erreurs");
    const pid_t pid = Demarre(commande, dossier, sortie, erreurs);
    if (pid == 0) {
        e.erreurs = commande.value(0).toLocal8Bit() + " : impossible de lancer le programme";
        return e;
    }
    e.code = Attend(pid, delaiMs);
    if (e.code == -2) {
        kill(pid, SIGKILL);
        Attend(pid, -1);
        e.code = -1;
    }
    e.sortie = Lit(sortie);
    e.erreurs = Lit(erreurs);
    return e;
}

bool Processus::Lance(const QStringList& commande, const QString& fichierSortie) {
    Arrete();
    pid_ = Demarre(commande, QString(), fichierSortie, QString());
    return pid_ != 0;
}

bool Processus::Fini(int delaiMs) {
    if (pid_ == 0)
        return true;
    if (Attend(pid_, delaiMs) == -2)
        return false;
    pid_ = 0;
    return true;
}

void Processus::Arrete() {
    if (pid_ == 0)
        return;
    kill(pid_, SIGTERM);
    if (!Fini(3000)) {
        kill(pid_, SIGKILL);
        Fini(-1);
    }
}

void Processus::Tue() {
    if (pid_ == 0)
        return;
    kill(pid_, SIGKILL);
    Fini(-1);
}
