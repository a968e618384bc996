// Programs the tests start, through posix_spawn rather than QProcess: QProcess's vfork
// child runs in the parent's memory until exec and leaves ThreadSanitizer blind to locks.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

// What a program said and how it ended.
struct ProgrammeTermine {
    int code = -1; // exit status; -1 when it could not start, was killed or ran out of time
    QByteArray sortie, erreurs;
    QString Raison() const { return QString::fromLocal8Bit(erreurs + sortie); }
};

// Runs `commande` (looked up in PATH) in `dossier` (empty: here), killed after `delaiMs` (-1: never).
ProgrammeTermine Execute(const QStringList& commande, const QString& dossier = QString(), int delaiMs = -1);

// A program left running in the background, its output going to a file.
class Processus {
public:
    Processus() = default;
    ~Processus() { Arrete(); }
    Processus(const Processus&) = delete;
    Processus& operator=(const Processus&) = delete;

    // False when it could not start; errors go with the output unless `fichierErreurs` is given.
    bool Lance(const QStringList& commande, const QString& fichierSortie, const QString& dossier = QString(),
               const QString& fichierErreurs = QString());
    bool Fini(int delaiMs); // true once it has ended (waits at most `delaiMs`, -1: no limit)
    int Code() const { return code_; } // once ended: its exit status, -1 when it did not exit by itself
    // True once 127.0.0.1:`port` accepts connections (at most `delaiMs`); false once the program has ended.
    bool AttendPort(quint16 port, int delaiMs);
    void Arrete(); // SIGTERM, then SIGKILL after 3 s
    void Tue();    // SIGKILL at once, as a crash
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = 0;
    int code_ = -1;
};
