// Programs the tests start: servers, and the tools that make fixtures.
//
// Not through QProcess: on Linux it starts its child with vfork semantics, and
// that child runs in the parent's memory until its exec, ThreadSanitizer's
// records of the calling thread included; the counters of an interceptor the
// child enters and leaves by exec stay raised there, and the tool no longer
// sees that thread's locks (every later access then looks like a race).
// posix_spawn's child runs only the C library's own code.
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

// Runs `commande` (the program, looked up in PATH, then its arguments) in
// `dossier` (empty: the current one) and waits for its end, at most
// `delaiMs` (-1: no limit; then it is killed).
ProgrammeTermine Execute(const QStringList& commande, const QString& dossier = QString(), int delaiMs = -1);

// A program left running in the background, its output going to a file.
class Processus {
public:
    Processus() = default;
    ~Processus() { Arrete(); }
    Processus(const Processus&) = delete;
    Processus& operator=(const Processus&) = delete;

    // False when the program could not be started. Run in `dossier` (empty:
    // here); its errors go with its output unless `fichierErreurs` is given.
    bool Lance(const QStringList& commande, const QString& fichierSortie, const QString& dossier = QString(),
               const QString& fichierErreurs = QString());
    bool Fini(int delaiMs); // true once it has ended (waits at most `delaiMs`, -1: no limit)
    int Code() const { return code_; } // once ended: its exit status, -1 when it did not exit by itself
    // True once 127.0.0.1:`port` accepts connections (at most `delaiMs`); false once the program has ended.
    bool AttendPort(quint16 port, int delaiMs);
    // SIGTERM, then SIGKILL after 3 s; nothing when it is not running.
    void Arrete();
    // SIGKILL at once: nothing cleaned up, as after a crash.
    void Tue();
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = 0;
    int code_ = -1;
};
