// The connection settings kept in "Ramag.ini": the system's settings or an
// explicit proxy (address, HTTP port, FTP port). Four lines: " 1 " for the
// explicit proxy (" 0 " for the system's), then the three fields.
#pragma once

#include <QString>

struct ReglagesConnexion {
    bool particulier = false; // the explicit proxy
    QString adresseProxy;
    QString portHTTP = QStringLiteral("80");
    QString portFTP = QStringLiteral("21");
};

// Where Ramag.ini is read and written: beside the program when its folder is
// writable (or already holds one, for reading), else in the user's
// configuration folder.
QString CheminRamagIni(const QString& cheminApplication, bool pourEcrire);

// Reads the settings; a missing file, or a short one, leaves the missing
// fields at `reglages`' values. False when there is no file to read.
bool LitRamagIni(const QString& chemin, ReglagesConnexion& reglages);

// Writes the settings through a work file that takes the file's place only
// once complete. False (the file left as it was) on failure.
bool EcritRamagIni(const QString& chemin, const ReglagesConnexion& reglages);
