// The desktop's notification service as the program meets it, for the tests
// and the package's check: on the session bus of DBUS_SESSION_BUS_ADDRESS,
// writes one line "summary TAB body TAB actions" per notification to FICHIER,
// then closes it, after clicking it with --clic (the first one only).
//   faux-notifications FICHIER [--clic]
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QTimer>
#include <cstdio>

class FauxNotifications final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    FauxNotifications(QString fichier, bool clic) : fichier_(std::move(fichier)), clic_(clic) {}

public slots:
    QStringList GetCapabilities() { return {"body", "actions"}; }
    uint Notify(const QString&, uint, const QString&, const QString& titre, const QString& corps,
                const QStringList& actions, const QVariantMap&, int) {
        QFile f(fichier_);
        if (f.open(QIODevice::Append))
            f.write((titre + '\t' + corps + '\t' + actions.join(',') + '\n').toUtf8());
        const uint id = ++nombre_;
        QTimer::singleShot(0, this, [this, id] {
            if (clic_ && id == 1)
                emit ActionInvoked(id, "default");
            emit NotificationClosed(id, 2);
        });
        return id;
    }

signals:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint raison);

private:
    QString fichier_;
    bool clic_;
    uint nombre_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    FauxNotifications faux(QString::fromLocal8Bit(argv[1]), argc > 2 && QByteArray(argv[2]) == "--clic");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/Notifications", &faux,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) ||
        !bus.registerService("org.freedesktop.Notifications")) {
        std::fprintf(stderr, "faux-notifications : pas de bus\n");
        return 1;
    }
    std::printf("pret\n");
    std::fflush(stdout);
    return app.exec();
}

#include "faux-notifications.moc"
