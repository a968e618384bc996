#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/Outils.h"
#include "util/Fonctions_Fichier.h"

namespace {

class Fichiers : public ::testing::Test {
protected:
    QString P(const QString& nom) const { return dossier.filePath(nom); }
    QTemporaryDir dossier;
};

TEST_F(Fichiers, ExistenceTailleEffacementRenommageCopie) {
    EXPECT_FALSE(FichierExiste(""));
    EXPECT_TRUE(FichierExiste(dossier.path()));
    EXPECT_TRUE(EffaceFichier(P("absent"), false) && TailleFichier(P("absent")) == 0);
    EcritFichier(P("lecture-seule"), "12345");
    QFile::setPermissions(P("lecture-seule"), QFileDevice::ReadOwner);
    EXPECT_EQ(TailleFichier(P("lecture-seule")), 5);
    EXPECT_TRUE(EffaceFichier(P("lecture-seule"), false));
    EXPECT_FALSE(FichierExiste(P("lecture-seule")));
    EcritFichier(P("a"), "a");
    EXPECT_TRUE(RenommeFichier(P("a"), P("a")));
    EXPECT_TRUE(RenommeFichier(P("a"), P("b")));
    EXPECT_FALSE(RenommeFichier(P("a"), P("c"))); // moved, not copied
    // Blocks of 10000 bytes, the last one a single byte, into an existing
    // target, which is not emptied first.
    const QByteArray source = QByteArray("abcdefghijklmnopqrstuvwxyz").repeated(1000);
    EcritFichier(P("source"), source);
    EcritFichier(P("cible"), "0123456789");
    EXPECT_TRUE(CopieBlocFichier(P("source"), P("cible"), 1, 20001, 4));
    EXPECT_EQ(LitFichier(P("cible")), "012" + source.left(20001));
    EXPECT_FALSE(CopieBlocFichier(P("source"), P("rien"), 10, 9, 1));
    EXPECT_FALSE(QFile::exists(P("rien")));
}

TEST_F(Fichiers, EnumerationAvecJokers) {
    for (const char* nom : {"a.txt", "B.TXT", "c.zip", "sans", ".cache", "ab.txtx"})
        EcritFichier(P(nom), "x");
    QDir().mkpath(P("dossier.txt"));
    const QStringList tous{".cache", "B.TXT", "a.txt", "ab.txtx", "c.zip", "dossier.txt", "sans"};
    const std::pair<QString, QStringList> cas[] = {
        {"*.*", tous},         {"*", tous},         {"*.txt", {"B.TXT", "a.txt", "dossier.txt"}},
        {"?.txt", {"B.TXT", "a.txt"}}, {"*.", {"sans"}}, {"sans.*", {"sans"}}, {"*.rien", {}}, {"", {}}};
    for (const auto& [motif, attendus] : cas) {
        QStringList noms = NomsFichiersMotif(dossier.path() + "/" + motif);
        noms.sort();
        EXPECT_EQ(noms, attendus) << motif;
    }
}

} // namespace
