// The desktop's secret store, where the proxy's password lives (never in
// Ramag.ini). One seam: the program uses the store through QtKeychain (the
// desktop's Secret Service or KWallet); tests put their own in its place.
// Every call answers later, through the event loop: a locked store may ask
// the user, and the window must not wait for it.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

struct ReponseCoffre {
    enum class Etat {
        Trouve,      // the password (Lit) or done (Ecrit, Efface)
        Absent,      // no password under that key
        Indisponible // no store: no session bus, none running, locked, refused
    };
    Etat etat = Etat::Indisponible;
    QString motDePasse;
    QString erreur; // what the store said, for Indisponible
};

class CoffreSecrets {
public:
    using Suite = std::function<void(const ReponseCoffre&)>;
    virtual ~CoffreSecrets() = default;
    // `suite` is called once, from the event loop, unless `contexte` is gone by
    // then.
    virtual void Lit(const QString& cle, QObject* contexte, Suite suite) = 0;
    virtual void Ecrit(const QString& cle, const QString& motDePasse, QObject* contexte, Suite suite) = 0;
    virtual void Efface(const QString& cle, QObject* contexte, Suite suite) = 0;
};

// The store in use: the desktop's unless one was given.
CoffreSecrets& Coffre();
void DefinitCoffre(std::shared_ptr<CoffreSecrets> coffre);

// A call to the store waited for by turning the event loop, at most
// `delaiMs`: past it, the store counts as unavailable for that call.
ReponseCoffre AttendCoffre(const std::function<void(QObject*, CoffreSecrets::Suite)>& appel, int delaiMs);

// The key of a proxy's password: its user and its address (a password given
// to one proxy is never sent to another).
QString CleProxy(const QString& utilisateur, const QString& adresse);
