// One window per service: the window of a service holds a lock named after
// its parameter file and listens on a local socket of the same name. A second
// launch of that service finds the lock held, asks the window through the
// socket to come to the front, and ends; another service takes its own lock
// and opens its own window.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

class InstanceService final : public QObject {
    Q_OBJECT
public:
    // `prefixe`: where the lock and the socket go, their names without the
    // service's key (empty: "ramaglin" in the user's runtime folder, see
    // CheminVerrouInstance). `fichierParametres`: the service's parameter
    // file, which must still exist (its canonical path is the key).
    InstanceService(const QString& prefixe, const QString& fichierParametres, QObject* parent = nullptr);
    ~InstanceService() override;

    // True when this program is the service's window from now on (the lock
    // taken, the socket listening, or at least the lock when it cannot).
    bool Prend();
    // To the program holding the lock: come to the front. Never waits more
    // than a moment; false when nobody took the message.
    bool DemandePremierPlan() const;

    QString CheminVerrou() const { return base_ + QStringLiteral(".lock"); }
    QString CheminPrise() const { return base_ + QStringLiteral(".socket"); }

    // The one message understood, ended by a line feed.
    static const QByteArray Message;

signals:
    void premierPlanDemande();

private:
    void Connexion();

    QString base_;
    std::unique_ptr<QLockFile> verrou_;
    QLocalServer* serveur_ = nullptr;
};
