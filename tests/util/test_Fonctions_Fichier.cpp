#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/Outils.h"
#include "util/Fonctions_Fichier.h"
#include "util/Fonctions_Jauge.h"

namespace {

class Fichiers : public ::testing::Test {
protected:
    QString P(const QString& nom) const { return dossier.filePath(nom); }
    QTemporaryDir dossier;
};

TEST_F(Fichiers, ExistenceTailleEffacementRenommage) {
    EXPECT_FALSE(FichierExiste(""));
    EXPECT_TRUE(FichierExiste(dossier.path()));
    EXPECT_FALSE(FichierExiste(P("absent")));
    EXPECT_EQ(TailleFichier(P("absent")), 0);
    EXPECT_TRUE(EffaceFichier(P("absent"), false));

    EcritFichier(P("lecture-seule"), "12345");
    QFile::setPermissions(P("lecture-seule"), QFileDevice::ReadOwner);
    EXPECT_EQ(TailleFichier(P("lecture-seule")), 5);
    EXPECT_TRUE(EffaceFichier(P("lecture-seule"), false));
    EXPECT_FALSE(FichierExiste(P("lecture-seule")));

    EcritFichier(P("a"), "a");
    EXPECT_TRUE(RenommeFichier(P("a"), P("a")));
    EXPECT_EQ(LitFichier(P("a")), "a");
    EXPECT_TRUE(RenommeFichier(P("a"), P("b")));
    EXPECT_FALSE(RenommeFichier(P("a"), P("c")));
    EXPECT_TRUE(CreeFichierVide(P("b")));
    EXPECT_EQ(TailleFichier(P("b")), 0);
    EXPECT_FALSE(CreeFichierVide(P("absent/x")));
    EXPECT_TRUE(EstCheminReseau("\\\\serveur\\partage"));
    EXPECT_FALSE(EstCheminReseau("\\dossier"));
}

TEST_F(Fichiers, BlocsDOctets) {
    QByteArray source;
    for (int i = 0; i < 25000; ++i)
        source += char('a' + i % 26);
    EcritFichier(P("source"), source);
    EXPECT_TRUE(CopieBlocFichier(P("source"), P("cible"), 1, 25000, 1));
    EXPECT_EQ(LitFichier(P("cible")), source);
    EXPECT_FALSE(CopieBlocFichier(P("source"), P("rien"), 10, 9, 1));
    EXPECT_FALSE(QFile::exists(P("rien")));
    // Written into an existing target, which is not emptied first.
    EcritFichier(P("cible2"), "0123456789");
    EXPECT_TRUE(CopieBlocFichier(P("source"), P("cible2"), 1, 3, 4));
    EXPECT_EQ(LitFichier(P("cible2")), "012abc6789");

    EcritFichier(P("dix"), "0123456789");
    EXPECT_TRUE(RetireBlocFichier(P("dix"), P("tmp"), 5, 8));
    EXPECT_EQ(LitFichier(P("dix")), "012389");
    EcritFichier(P("dix"), "0123456789");
    EXPECT_FALSE(RetireBlocFichier(P("dix"), P("tmp"), 4, 10)); // nothing left after the block
    EXPECT_EQ(LitFichier(P("dix")), "012");
    EXPECT_FALSE(RetireBlocFichier(P("absent"), P("tmp"), 1, 2));
}

TEST_F(Fichiers, EnumerationAvecJokers) {
    for (const char* nom : {"a.txt", "B.TXT", "c.zip", "sans", ".cache", "ab.txtx"})
        EcritFichier(P(nom), "x");
    QDir().mkpath(P("dossier.txt"));
    struct Cas {
        QString motif;
        QStringList attendus;
    };
    const Cas cas[] = {
        {"*.*", {".cache", "B.TXT", "a.txt", "ab.txtx", "c.zip", "dossier.txt", "sans"}},
        {"*", {".cache", "B.TXT", "a.txt", "ab.txtx", "c.zip", "dossier.txt", "sans"}},
        {"*.txt", {"B.TXT", "a.txt", "dossier.txt"}},
        {"?.txt", {"B.TXT", "a.txt"}},
        {"*.", {"sans"}},
        {"sans.*", {"sans"}},
        {"*.rien", {}},
        {"", {}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.motif.toStdString());
        QStringList noms = NomsFichiersMotif(dossier.path() + "/" + c.motif);
        noms.sort();
        EXPECT_EQ(noms, c.attendus);
    }
    DonneesFichier d;
    PoigneeRecherche p;
    EXPECT_FALSE(CherchePremierFichier(P("*.rien"), d, p, false));
    EXPECT_FALSE(p);
    EXPECT_TRUE(CherchePremierFichier(P("*.zip"), d, p, true));
    EXPECT_EQ(d.nom, "c.zip");
    EXPECT_FALSE(p); // closed at once when asked
    int n = 0;
    bool dossierVu = false;
    if (CherchePremierFichier(P("*.txt"), d, p, false)) {
        do {
            ++n;
            dossierVu |= d.dossier && d.nom == "dossier.txt";
        } while (ChercheFichierSuivant(p, d));
    }
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(dossierVu);
    EXPECT_FALSE(p); // the last step closed it
    EXPECT_FALSE(CherchePremierFichier(P("absent/*.*"), d, p, false));
    // A pattern full of stars stays quick.
    EXPECT_FALSE(CorrespondMotif(QString(5000, 'a') + "b", QString(200, '*') + "c"));
}

struct SurfaceEnregistree final : SurfaceJauge {
    void MontreSurface(bool v) override { visible = v; }
    void DessineSurface(int p, const QString& l) override { dessins << QString("%1|%2").arg(p).arg(l); }
    bool visible = false;
    QStringList dessins;
};

TEST(Jauge, RedessineSeulementQuandLePourcentageChange) {
    SurfaceEnregistree s;
    InitialiseJauge(s);
    EXPECT_TRUE(s.visible);
    EXPECT_EQ(s.dessins, QStringList{"0|"});
    AfficheJauge(s, 40, "a");
    AfficheJauge(s, 40, "b");
    AfficheJauge(s, 0, "c"); // no caption at 0
    EXPECT_EQ(s.dessins, (QStringList{"0|", "40|a", "0|"}));
    EXPECT_EQ(s.Tag, "0");
    InitialiseJauge(s); // already at 0: nothing drawn again
    EXPECT_EQ(s.dessins.size(), 3);
    MasqueJauge(s);
    EXPECT_FALSE(s.visible);
}

} // namespace
