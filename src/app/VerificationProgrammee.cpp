// The daily check's box, through systemctl --user.
#include "app/VerificationProgrammee.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProcess>
#include <QTimer>

namespace {

class LanceurSysteme final : public LanceurCommandes {
public:
    void Lance(const QStringList& commande, int delaiMs, QObject* contexte, Suite suite) override {
        auto* processus = new QProcess;
        auto* minuterie = new QTimer(processus);
        minuterie->setSingleShot(true);
        auto resultat = std::make_shared<Resultat>();
        const QPointer<QObject> garde(contexte);
        auto fin = std::make_shared<Suite>(std::move(suite));
        const auto termine = [processus, resultat, garde, fin] {
            if (!*fin)
                return; // answered already
            const Suite s = std::move(*fin);
            *fin = nullptr;
            processus->deleteLater();
            if (garde)
                s(*resultat);
        };
        QObject::connect(processus, &QProcess::errorOccurred, processus, [=](QProcess::ProcessError e) {
            if (e != QProcess::FailedToStart)
                return; // the end comes through finished
            resultat->lance = false;
            resultat->erreur = processus->errorString();
            termine();
        });
        QObject::connect(processus, &QProcess::finished, processus, [=](int code, QProcess::ExitStatus etat) {
            resultat->lance = true;
            resultat->code = etat == QProcess::NormalExit ? code : -1;
            resultat->sortie = QString::fromLocal8Bit(processus->readAllStandardOutput()).trimmed();
            resultat->erreur = QString::fromLocal8Bit(processus->readAllStandardError()).trimmed();
            termine();
        });
        QObject::connect(minuterie, &QTimer::timeout, processus, [=] {
            resultat->lance = true;
            resultat->delaiDepasse = true;
            processus->disconnect();
            processus->kill();
            processus->waitForFinished(1000);
            termine();
        });
        minuterie->start(delaiMs);
        processus->start(commande.value(0), commande.mid(1));
    }
};

std::shared_ptr<LanceurCommandes>& LanceurCourant() {
    static std::shared_ptr<LanceurCommandes> lanceur;
    return lanceur;
}

// The first line of what a command said, for a label.
QString PremiereLigne(const LanceurCommandes::Resultat& r) {
    if (!r.lance)
        return QStringLiteral("systemctl est introuvable");
    if (r.delaiDepasse)
        return QStringLiteral("systemctl n'a pas répondu à temps");
    const QString texte = r.erreur.isEmpty() ? r.sortie : r.erreur;
    return texte.section(QLatin1Char('\n'), 0, 0);
}

} // namespace

LanceurCommandes& Commandes() {
    if (!LanceurCourant())
        LanceurCourant() = std::make_shared<LanceurSysteme>();
    return *LanceurCourant();
}

void DefinitCommandes(std::shared_ptr<LanceurCommandes> lanceur) { LanceurCourant() = std::move(lanceur); }

QString EchappeCheminSystemd(const QString& chemin) {
    QString propre = QDir::cleanPath(chemin);
    while (propre.startsWith(QLatin1Char('/')))
        propre.remove(0, 1);
    while (propre.endsWith(QLatin1Char('/')))
        propre.chop(1);
    if (propre.isEmpty())
        return QStringLiteral("-");
    const QByteArray octets = propre.toUtf8();
    QString r;
    for (qsizetype i = 0; i < octets.size(); ++i) {
        const char c = octets[i];
        const bool valide = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                            c == ':' || c == '_' || (c == '.' && i > 0);
        if (c == '/')
            r += QLatin1Char('-');
        else if (valide)
            r += QLatin1Char(c);
        else
            r += QStringLiteral("\\x%1").arg(uint(uint8_t(c)), 2, 16, QLatin1Char('0'));
    }
    return r;
}

VerificationProgrammee::VerificationProgrammee(QCheckBox* case_, QLabel* label, QObject* parent)
    : QObject(parent), case_(case_), label_(label) {
    case_->setEnabled(false);
    connect(case_, &QCheckBox::toggled, this, [this](bool active) {
        if (!miseAJour_)
            Bascule(active);
    });
}

void VerificationProgrammee::Lance(const QStringList& arguments, LanceurCommandes::Suite suite) {
    Commandes().Lance(QStringList{QStringLiteral("systemctl"), QStringLiteral("--user")} + arguments, DelaiMs,
                      this, std::move(suite));
}

void VerificationProgrammee::Indisponible(const QString& raison) {
    case_->setEnabled(false);
    label_->setText(raison);
}

void VerificationProgrammee::Initialise(const QString& fichierParametres, bool effaceAuDemarrage) {
    const QString chemin = QFileInfo(fichierParametres).absoluteFilePath();
    unite_ = QStringLiteral("ramaglin-verification@%1.timer").arg(EchappeCheminSystemd(chemin));
    if (effaceAuDemarrage)
        return Indisponible(QStringLiteral("Ce fichier paramètre est effacé à chaque lancement : il ne peut "
                                           "pas être vérifié chaque jour."));
    // The user's service manager keeps its socket there; without it there is
    // nothing to ask (a session without systemd, a container, sudo).
    const QString execution = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (execution.isEmpty() || !QFileInfo(execution + QStringLiteral("/systemd")).isDir())
        return Indisponible(QStringLiteral("Vérification quotidienne indisponible : pas de session systemd de "
                                           "l'utilisateur."));
    label_->setText(QStringLiteral("Recherche de la minuterie de vérification…"));
    Lance({QStringLiteral("is-system-running")}, [this](const LanceurCommandes::Resultat& r) {
        // "degraded" (a unit failed somewhere) still runs timers.
        static const QStringList enMarche = {QStringLiteral("running"), QStringLiteral("degraded"),
                                             QStringLiteral("starting"), QStringLiteral("initializing")};
        if (!r.lance || r.delaiDepasse || !enMarche.contains(r.sortie))
            return Indisponible(QStringLiteral("Vérification quotidienne indisponible : ") + PremiereLigne(r) +
                                QLatin1Char('.'));
        LitEtat();
    });
}

void VerificationProgrammee::LitEtat() {
    Lance({QStringLiteral("is-enabled"), unite_}, [this](const LanceurCommandes::Resultat& r) {
        // A template that is not installed has no state at all.
        if (r.sortie != QLatin1String("enabled") && r.sortie != QLatin1String("disabled"))
            return Indisponible(QStringLiteral("Vérification quotidienne indisponible : les modèles "
                                               "ramaglin-verification@ ne sont pas installés (")
                                + PremiereLigne(r) + QStringLiteral(")."));
        miseAJour_ = true;
        case_->setChecked(r.sortie == QLatin1String("enabled"));
        miseAJour_ = false;
        case_->setEnabled(true);
        if (case_->isChecked())
            LitProchaine();
        else
            label_->setText(QStringLiteral("Pas de vérification quotidienne."));
    });
}

void VerificationProgrammee::LitProchaine() {
    Lance({QStringLiteral("show"), QStringLiteral("--timestamp=unix"), QStringLiteral("-p"),
           QStringLiteral("NextElapseUSecRealtime"), QStringLiteral("--value"), unite_},
          [this](const LanceurCommandes::Resultat& r) {
              // "@1765152000", or nothing while the timer has no next time.
              bool nombre = false;
              const qint64 secondes = r.sortie.startsWith(QLatin1Char('@')) ? r.sortie.mid(1).toLongLong(&nombre) : 0;
              if (!nombre || secondes <= 0) {
                  label_->setText(QStringLiteral("Vérification quotidienne active ; prochaine vérification pas "
                                                 "encore fixée."));
                  return;
              }
              const QDateTime quand = QDateTime::fromSecsSinceEpoch(secondes);
              label_->setText(QStringLiteral("Prochaine vérification : ") +
                              QLocale(QLocale::French).toString(quand, QStringLiteral("dddd d MMMM yyyy 'à' HH:mm")) +
                              QLatin1Char('.'));
          });
}

void VerificationProgrammee::Bascule(bool active) {
    case_->setEnabled(false);
    label_->setText(active ? QStringLiteral("Activation de la vérification quotidienne…")
                           : QStringLiteral("Arrêt de la vérification quotidienne…"));
    Lance({active ? QStringLiteral("enable") : QStringLiteral("disable"), QStringLiteral("--now"), unite_},
          [this, active](const LanceurCommandes::Resultat& r) {
              case_->setEnabled(true);
              if (r.lance && !r.delaiDepasse && r.code == 0) {
                  if (active)
                      LitProchaine();
                  else
                      label_->setText(QStringLiteral("Pas de vérification quotidienne."));
                  return;
              }
              // The box shows what is, not what was asked.
              miseAJour_ = true;
              case_->setChecked(!active);
              miseAJour_ = false;
              label_->setText((active ? QStringLiteral("La vérification quotidienne n'a pas pu être activée : ")
                                      : QStringLiteral("La vérification quotidienne n'a pas pu être arrêtée : ")) +
                              PremiereLigne(r) + QLatin1Char('.'));
          });
}
