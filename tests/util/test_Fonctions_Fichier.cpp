#include <gtest/gtest.h>

#include <optional>

#include <QTemporaryDir>

#include "support/DossierMonte.h"
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
    // Blocks of 10000 bytes, the last a single byte, into an existing target not emptied first.
    const QByteArray source = QByteArray("abcdefghijklmnopqrstuvwxyz").repeated(1000);
    EcritFichier(P("source"), source);
    EcritFichier(P("cible"), "0123456789");
    EXPECT_TRUE(CopieBlocFichier(P("source"), P("cible"), 1, 20001, 4));
    EXPECT_EQ(LitFichier(P("cible")), "012" + source.left(20001));
    EXPECT_FALSE(CopieBlocFichier(P("source"), P("rien"), 10, 9, 1));
    EXPECT_FALSE(QFile::exists(P("rien")));
}

// The new content replaces the old in one step or nothing changes; no work file is left.
TEST_F(Fichiers, RemplacementParFichierDeTravail) {
    const QString ini = P("Ramag.ini"), travail = P("Ramag.ini.tmp");
    EcritFichier(ini, "ancien");
    QFile::setPermissions(ini, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    EXPECT_TRUE(RemplaceParFichierTravail(ini, "nouveau", travail));
    EXPECT_EQ(LitFichier(ini), "nouveau");
    EXPECT_EQ(QFile::permissions(ini), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ReadUser | QFileDevice::WriteUser |
                                           QFileDevice::ReadGroup);
    EXPECT_TRUE(RemplaceParFichierTravail(P("neuf"), "", P("neuf.tmp"))); // none before
    EXPECT_TRUE(QFile::exists(P("neuf")) && TailleFichier(P("neuf")) == 0);
    {
        FichierTravail abandonne(ini, travail); // gone without Remplace
        ASSERT_TRUE(abandonne.Ouvre() && abandonne.Ecrit("moitié"));
    }
    EXPECT_EQ(LitFichier(ini), "nouveau");
    // The work file's former fixed name taken by a folder, or by a link
    // planted to make the rewrite write elsewhere: work files get names no
    // one can guess and are created, never opened. The original's name a
    // folder: the rename is refused, after the work file was written.
    QDir().mkpath(travail + "/dedans");
    EcritFichier(P("victime"), "intacte");
    ASSERT_TRUE(QFile::link(P("victime"), travail + ".lien"));
    EXPECT_TRUE(RemplaceParFichierTravail(ini, "nouveau", travail));
    EXPECT_EQ(LitFichier(P("victime")), "intacte");
    QDir().mkpath(P("dossier/dedans"));
    EXPECT_FALSE(RemplaceParFichierTravail(P("dossier"), "perdu", P("dossier.tmp")));
    EXPECT_EQ(LitFichier(ini), "nouveau");
    QStringList noms = QDir(dossier.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    noms.sort();
    EXPECT_EQ(noms, (QStringList{"Ramag.ini", "Ramag.ini.tmp", "Ramag.ini.tmp.lien", "dossier", "neuf", "victime"}));

    // Through symbolic links (relative, dangling): the file is rewritten, the links stay.
    QDir().mkpath(P("vrai"));
    EcritFichier(P("vrai/reglages.ini"), "ancien");
    ASSERT_TRUE(QFile::link("vrai/reglages.ini", P("lien.ini")));
    ASSERT_TRUE(QFile::link(P("vrai/absent.ini"), P("pendant.ini")));
    for (const char* lien : {"lien.ini", "pendant.ini"}) {
        EXPECT_TRUE(RemplaceParFichierTravail(P(lien), "par le lien", P(lien) + ".tmp"));
        EXPECT_TRUE(QFileInfo(P(lien)).isSymLink());
        EXPECT_EQ(LitFichier(P(lien)), "par le lien");
    }
    EXPECT_EQ(QDir(P("vrai")).entryList(QDir::Files), (QStringList{"absent.ini", "reglages.ini"}));
    // Not followed when asked so (the list copy): the link itself is replaced.
    EXPECT_TRUE(RemplaceParFichierTravail(P("lien.ini"), "remplace", P("lien.ini.tmp"), false));
    EXPECT_FALSE(QFileInfo(P("lien.ini")).isSymLink());
    EXPECT_EQ(LitFichier(P("vrai/reglages.ini")), "par le lien");

    // A full disk, a folder no one may write.
    for (DossierMonte::Genre genre : {DossierMonte::Tmpfs, DossierMonte::LectureSeule}) {
        SCOPED_TRACE(int(genre));
        QTemporaryDir petit;
        std::optional<DossierMonte> montage;
        if (genre == DossierMonte::Tmpfs)
            montage.emplace(petit.path(), genre, 1 << 20);
        EcritFichier(petit.filePath("Ramag.ini"), "ancien");
        if (genre == DossierMonte::LectureSeule)
            montage.emplace(petit.path(), genre);
        if (!montage->Erreur().isEmpty())
            GTEST_SKIP() << montage->Erreur();
        EXPECT_FALSE(RemplaceParFichierTravail(petit.filePath("Ramag.ini"), QByteArray(2 << 20, 'x'),
                                               petit.filePath("Ramag.ini.tmp")));
        EXPECT_EQ(LitFichier(petit.filePath("Ramag.ini")), "ancien");
        EXPECT_EQ(QDir(petit.path()).entryList(QDir::Files), QStringList{"Ramag.ini"});
    }
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
