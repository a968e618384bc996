// One window per service, through a lock and a local socket named after the
// service's parameter file.
#include "app/InstanceService.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "config/ReglagesConnexion.h"

const QByteArray InstanceService::Message = QByteArrayLiteral("Le Ramaglin : premier plan\n");

namespace {

// Whoever connects has this long to say the message; a peer that says
// nothing, or too much, is dropped without the window ever waiting on it.
constexpr int DelaiPairMs = 2000;
// What the second launch waits at most to hand its message over.
constexpr int DelaiEnvoiMs = 2000;

} // namespace

InstanceService::InstanceService(const QString& prefixe, const QString& fichierParametres, QObject* parent)
    : QObject(parent) {
    QString p = prefixe;
    if (p.isEmpty()) {
        p = CheminVerrouInstance();
        if (p.endsWith(QLatin1String(".lock")))
            p.chop(5);
    }
    // The same service however it is named (a link, "..", a relative path).
    QString canonique = QFileInfo(fichierParametres).canonicalFilePath();
    if (canonique.isEmpty())
        canonique = QFileInfo(fichierParametres).absoluteFilePath();
    // 128 bits of the digest: unique enough, and a socket's path must stay
    // short (108 bytes on Linux).
    const QByteArray cle =
        QCryptographicHash::hash(canonique.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    base_ = p + QLatin1Char('-') + QString::fromLatin1(cle);
}

InstanceService::~InstanceService() {
    if (serveur_)
        serveur_->close(); // removes the socket file while the lock is still held
}

bool InstanceService::Prend() {
    verrou_ = std::make_unique<QLockFile>(CheminVerrou());
    // Never stale by age: only a lock whose program is gone is taken over.
    verrou_->setStaleLockTime(0);
    if (!verrou_->tryLock(0)) {
        verrou_.reset();
        return false;
    }
    // The lock is ours: a socket file still there was left by a program that
    // was killed, and nobody listens on it any more.
    QLocalServer::removeServer(CheminPrise());
    serveur_ = new QLocalServer(this);
    serveur_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(serveur_, &QLocalServer::newConnection, this, &InstanceService::Connexion);
    // Without the socket the window still opens: a second launch then only
    // cannot bring it forward.
    if (!serveur_->listen(CheminPrise())) {
        delete serveur_;
        serveur_ = nullptr;
    }
    return true;
}

void InstanceService::Connexion() {
    while (QLocalSocket* pair = serveur_->nextPendingConnection()) {
        connect(pair, &QLocalSocket::disconnected, pair, &QObject::deleteLater);
        auto* delai = new QTimer(pair);
        delai->setSingleShot(true);
        connect(delai, &QTimer::timeout, pair, [pair] {
            pair->abort();
            pair->deleteLater();
        });
        delai->start(DelaiPairMs);
        connect(pair, &QLocalSocket::readyRead, this, [this, pair] {
            // Bounded: no more than the message is ever read from a peer.
            const QByteArray recu = pair->peek(Message.size());
            if (recu.size() < Message.size() && Message.startsWith(recu))
                return;
            pair->abort();
            pair->deleteLater();
            if (recu == Message)
                emit premierPlanDemande();
        });
    }
}

bool InstanceService::DemandePremierPlan() const {
    QLocalSocket prise;
    prise.connectToServer(CheminPrise());
    if (!prise.waitForConnected(DelaiEnvoiMs))
        return false;
    prise.write(Message);
    const bool envoye = prise.waitForBytesWritten(DelaiEnvoiMs) || prise.bytesToWrite() == 0;
    prise.disconnectFromServer();
    return envoye;
}
