// The secret store over QtKeychain, and the bounded wait on it.
#include "config/CoffreSecrets.h"

#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace {

// The name the desktop shows beside the saved passwords.
const QString kService = QStringLiteral("Le Ramaglin");

class CoffreBureau final : public CoffreSecrets {
public:
    void Lit(const QString& cle, QObject* contexte, Suite suite) override {
        auto* job = new QKeychain::ReadPasswordJob(kService);
        Lance(job, cle, contexte, std::move(suite));
    }
    void Ecrit(const QString& cle, const QString& motDePasse, QObject* contexte, Suite suite) override {
        auto* job = new QKeychain::WritePasswordJob(kService);
        job->setTextData(motDePasse);
        Lance(job, cle, contexte, std::move(suite));
    }
    void Efface(const QString& cle, QObject* contexte, Suite suite) override {
        Lance(new QKeychain::DeletePasswordJob(kService), cle, contexte, std::move(suite));
    }

private:
    static void Lance(QKeychain::Job* job, const QString& cle, QObject* contexte, Suite suite) {
        // Never a file of our own in place of the store: without a store the
        // password lives for the session only.
        job->setInsecureFallback(false);
        job->setAutoDelete(true);
        job->setKey(cle);
        QObject::connect(job, &QKeychain::Job::finished, contexte, [suite = std::move(suite)](QKeychain::Job* j) {
            ReponseCoffre r;
            switch (j->error()) {
            case QKeychain::NoError:
                r.etat = ReponseCoffre::Etat::Trouve;
                if (auto* lecture = qobject_cast<QKeychain::ReadPasswordJob*>(j))
                    r.motDePasse = lecture->textData();
                break;
            case QKeychain::EntryNotFound: r.etat = ReponseCoffre::Etat::Absent; break;
            default:
                r.etat = ReponseCoffre::Etat::Indisponible;
                r.erreur = j->errorString();
                break;
            }
            suite(r);
        });
        job->start();
    }
};

std::shared_ptr<CoffreSecrets>& CoffreCourant() {
    static std::shared_ptr<CoffreSecrets> coffre;
    return coffre;
}

} // namespace

CoffreSecrets& Coffre() {
    if (!CoffreCourant())
        CoffreCourant() = std::make_shared<CoffreBureau>();
    return *CoffreCourant();
}

void DefinitCoffre(std::shared_ptr<CoffreSecrets> coffre) { CoffreCourant() = std::move(coffre); }

ReponseCoffre AttendCoffre(const std::function<void(QObject*, CoffreSecrets::Suite)>& appel, int delaiMs) {
    QObject contexte; // gone on return: a late answer reaches nobody
    QEventLoop boucle;
    ReponseCoffre reponse;
    reponse.erreur = QStringLiteral("pas de réponse du trousseau");
    bool repondu = false;
    appel(&contexte, [&](const ReponseCoffre& r) {
        reponse = r;
        repondu = true;
        boucle.quit();
    });
    if (!repondu) {
        QTimer::singleShot(delaiMs, &boucle, &QEventLoop::quit);
        boucle.exec();
    }
    return reponse;
}

QString CleProxy(const QString& utilisateur, const QString& adresse) {
    return QStringLiteral("proxy %1@%2").arg(utilisateur, adresse.trimmed());
}
