// The end of a run without windows, told to the desktop. Every call to the
// bus is bounded: a run started by a timer must end whatever the desktop does.
#include "app/NotificationBureau.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#include "util/Fonctions_Messages.h"

namespace {

const QString ServiceNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString CheminNotifications = QStringLiteral("/org/freedesktop/Notifications");
const QString ActionDossier = QStringLiteral("default");
constexpr int DelaiAppelMs = 2000;
// How long the notification stays on screen, and so how long a click on it
// is waited for.
constexpr int DureeAffichageMs = 10000;

QString AdresseBus() {
    const QString adresse = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!adresse.isEmpty())
        return adresse;
    // cron leaves the variable out; the user's session bus, when there is
    // one, has its usual place. Only a socket of this user's own.
    QString execution = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (execution.isEmpty())
        execution = QStringLiteral("/run/user/") + QString::number(::getuid());
    const QString prise = execution + QStringLiteral("/bus");
    struct stat etat;
    if (::lstat(QFile::encodeName(prise).constData(), &etat) == 0 && S_ISSOCK(etat.st_mode) &&
        etat.st_uid == ::getuid())
        return QStringLiteral("unix:path=") + prise;
    return QString();
}

QDBusMessage Appel(const QString& methode, const QVariantList& arguments = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(ServiceNotifications, CheminNotifications,
                                                    ServiceNotifications, methode);
    m.setArguments(arguments);
    return m;
}

} // namespace

// What the notification service says of its notifications; kept from before
// the notification is posted, its number being known only after.
class EcouteNotification final : public QObject {
    Q_OBJECT
public:
    // The action chosen for `id` ("": none yet); true once it is closed.
    QString Action(uint id) const { return actions_.value(id); }
    bool Fermee(uint id) const { return fermees_.contains(id) || actions_.contains(id); }

signals:
    void recu();

public slots:
    void ActionInvoked(uint id, const QString& action) {
        actions_.insert(id, action);
        emit recu();
    }
    void NotificationClosed(uint id, uint) {
        fermees_.insert(id);
        emit recu();
    }

private:
    QHash<uint, QString> actions_;
    QSet<uint> fermees_;
};

namespace {

bool Poste(QDBusConnection& bus, const NotificationRun& n) {
    const QDBusMessage capacites = bus.call(Appel(QStringLiteral("GetCapabilities")), QDBus::Block, DelaiAppelMs);
    if (capacites.type() != QDBusMessage::ReplyMessage)
        return false;
    const bool avecActions = !n.dossier.isEmpty() &&
                             capacites.arguments().value(0).toStringList().contains(QStringLiteral("actions"));
    EcouteNotification ecoute;
    if (avecActions) {
        bus.connect(ServiceNotifications, CheminNotifications, ServiceNotifications, QStringLiteral("ActionInvoked"),
                    &ecoute, SLOT(ActionInvoked(uint,QString)));
        bus.connect(ServiceNotifications, CheminNotifications, ServiceNotifications,
                    QStringLiteral("NotificationClosed"), &ecoute, SLOT(NotificationClosed(uint,uint)));
    }
    const QStringList actions =
        avecActions ? QStringList{ActionDossier, QStringLiteral("Ouvrir le dossier")} : QStringList();
    const QVariantMap indications{{QStringLiteral("desktop-entry"), QStringLiteral("fr.ramaglin.Ramaglin")}};
    const QDBusMessage reponse =
        bus.call(Appel(QStringLiteral("Notify"),
                       {TitreApplication, uint(0), QStringLiteral("fr.ramaglin.Ramaglin"), n.titre, n.corps, actions,
                        indications, DureeAffichageMs}),
                 QDBus::Block, DelaiAppelMs);
    if (reponse.type() != QDBusMessage::ReplyMessage)
        return false;
    std::fputs("1\n", stdout);
    std::fflush(stdout);
    if (!avecActions)
        return true;
    const uint id = reponse.arguments().value(0).toUInt();
    QEventLoop boucle;
    QTimer limite;
    limite.setSingleShot(true);
    QObject::connect(&limite, &QTimer::timeout, &boucle, &QEventLoop::quit);
    QObject::connect(&ecoute, &EcouteNotification::recu, &boucle, [&] {
        if (ecoute.Fermee(id))
            boucle.quit();
    });
    if (!ecoute.Fermee(id)) {
        limite.start(DureeAffichageMs);
        boucle.exec();
    }
    if (ecoute.Action(id) == ActionDossier)
        QProcess::startDetached(QStringLiteral("xdg-open"), {n.dossier});
    return true;
}

} // namespace

int PosteNotification(const NotificationRun& notification) {
    const QString adresse = AdresseBus();
    if (adresse.isEmpty())
        return 1;
    const QString nom = QStringLiteral("ramaglin-notification");
    bool poste = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(adresse, nom);
        if (bus.isConnected())
            poste = Poste(bus, notification);
    }
    QDBusConnection::disconnectFromBus(nom);
    return poste ? 0 : 1;
}

bool NotifieBureau(const QString& programme, const NotificationRun& notification) {
    // Not worth a process when there is no bus at all (cron, a service manager).
    if (AdresseBus().isEmpty())
        return false;
    int tube[2];
    if (::pipe2(tube, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, tube[1], 1);
    // The bus library's complaints are not the run's: its output stays as it was.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const QByteArray textes[] = {QFile::encodeName(programme), QByteArray(OptionNotification),
                                 notification.titre.toUtf8(), notification.corps.toUtf8(),
                                 QFile::encodeName(notification.dossier)};
    char* arguments[] = {const_cast<char*>(textes[0].constData()), const_cast<char*>(textes[1].constData()),
                         const_cast<char*>(textes[2].constData()), const_cast<char*>(textes[3].constData()),
                         const_cast<char*>(textes[4].constData()), nullptr};
    pid_t pid = 0;
    const int erreur = ::posix_spawn(&pid, arguments[0], &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(tube[1]);
    if (erreur != 0) {
        ::close(tube[0]);
        return false;
    }
    // Its word, or its end, within the calls' time and a margin.
    pollfd attente{tube[0], POLLIN, 0};
    char octet = 0;
    bool poste = false;
    const QDeadlineTimer limite(2 * DelaiAppelMs + 1500);
    for (;;) {
        const int n = ::poll(&attente, 1, int(std::max<qint64>(0, limite.remainingTime())));
        if (n < 0 && errno == EINTR && !limite.hasExpired())
            continue;
        poste = n > 0 && ::read(tube[0], &octet, 1) == 1 && octet == '1';
        break;
    }
    ::close(tube[0]);
    int statut = 0;
    if (poste) {
        // Left to wait for a click on its own; reaped when it ended already.
        ::waitpid(pid, &statut, WNOHANG);
    } else {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &statut, 0) < 0 && errno == EINTR) {
        }
    }
    return poste;
}

#include "NotificationBureau.moc"
