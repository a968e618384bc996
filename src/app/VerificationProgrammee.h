// The daily check of a service from the window: the Parameters tab's box that
// enables or disables the packaged user timer (ramaglin-verification@.timer)
// for this parameter file, and says when the next check is due.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;

// Runs one command with a time limit and answers through the event loop: the
// window never waits for systemctl. Every call to systemctl goes through it;
// tests put one in its place that records the command lines.
class LanceurCommandes {
public:
    struct Resultat {
        bool lance = false; // false: the program could not be started (missing)
        bool delaiDepasse = false;
        int code = -1;
        QString sortie, erreur; // standard output and error, trimmed
    };
    using Suite = std::function<void(const Resultat&)>;
    virtual ~LanceurCommandes() = default;
    // `suite` is called once unless `contexte` is gone by then.
    virtual void Lance(const QStringList& commande, int delaiMs, QObject* contexte, Suite suite) = 0;
};

// The runner in use: processes of the system unless one was given.
LanceurCommandes& Commandes();
void DefinitCommandes(std::shared_ptr<LanceurCommandes> lanceur);

// A path as `systemd-escape --path` writes it: the instance name of the
// units for that parameter file.
QString EchappeCheminSystemd(const QString& chemin);

class VerificationProgrammee final : public QObject {
    Q_OBJECT
public:
    // Seconds each systemctl call may take.
    static constexpr int DelaiMs = 5000;

    VerificationProgrammee(QCheckBox* case_, QLabel* label, QObject* parent = nullptr);
    VerificationProgrammee(const VerificationProgrammee&) = delete;
    VerificationProgrammee& operator=(const VerificationProgrammee&) = delete;

    // Looks for the user's service manager and the timer of `fichierParametres`
    // and shows what it found. `effaceAuDemarrage`: the file is deleted once
    // read, and a daily check would find nothing.
    void Initialise(const QString& fichierParametres, bool effaceAuDemarrage);
    QString Unite() const { return unite_; }

private:
    void Indisponible(const QString& raison);
    void LitEtat();
    void LitProchaine();
    void Bascule(bool active);
    void Lance(const QStringList& arguments, LanceurCommandes::Suite suite);

    QCheckBox* case_;
    QLabel* label_;
    QString unite_;
    bool miseAJour_ = false; // the box set by the program, not by the user
};
