// Fresh signed lists: an older or expired list, still correctly signed, is
// refused once a newer one was accepted; what the program keeps for that
// cannot be turned against it by a file planted in its folder; and the
// service's tool puts the version and the date in the block it signs.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <functional>
#include <sys/stat.h>

#include "search/FraicheurListe.h"
#include "support/DossierMonte.h"
#include "support/Outils.h"
#include "support/Processus.h"

namespace {

const QString Plus = QStringLiteral("liste plus ancienne que la dernière acceptée");
const QString Version = QStringLiteral("version de liste illisible (VERSION_LISTE)");
const QString Date = QStringLiteral("date d'expiration de liste illisible (EXPIRE_LISTE)");

class Fraicheur : public ::testing::Test {
protected:
    void SetUp() override {
        avant_ = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(etat.path()));
    }
    void TearDown() override {
        avant_.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", avant_);
    }
    // The service's file, found rather than named: only one was written.
    QString FichierDe(const QString& cle) {
        EXPECT_TRUE(RetientVersionListe(cle, {"1", ""}));
        const QStringList noms = QDir(dossier).entryList(QDir::Files);
        EXPECT_EQ(noms.size(), 1) << noms.join(' ');
        return noms.isEmpty() ? QString() : dossier + '/' + noms[0];
    }
    qsizetype Entrees() const {
        return QDir(dossier).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size();
    }

    QTemporaryDir etat;
    const QString dossier = etat.filePath("ramaglin");

private:
    QByteArray avant_;
};

TEST_F(Fraicheur, VersionsEtDates) {
    const QDate jour(2026, 1, 31);
    const struct {
        const char* cas;
        QString service, version, expire;
        QDate aujourdhui;
        QString raison;
        bool retient;
    } etapes[] = {
        {"première version", "A", "5", "", jour, "", true},
        {"la même, reprise", "A", "5", "2026-01-31", jour, "", true},
        {"dernier jour valide", "A", "7", "2026-01-31", jour, "", true},
        {"plus ancienne", "A", "6", "", jour, Plus, true}, // kept all the same: never lowers
        {"toujours refusée", "A", "6", "", jour, Plus, false},
        {"sans version après une version", "A", "", "", jour, Plus, false},
        {"expirée", "A", "8", "2026-01-30", jour, "liste expirée depuis le 30/01/2026", false},
        {"autre service, sans version", "B", "", "", jour, "", true},
        {"18 chiffres", "B", "999999999999999999", "", jour, "", false},
        {"lettre", "A", "12a", "", jour, Version, false},
        {"signe", "A", "-1", "", jour, Version, false},
        {"espaces", "A", " 9", "", jour, Version, false},
        {"chiffres d'une autre écriture", "A", "\u0669", "", jour, Version, false},
        {"19 chiffres", "A", "1000000000000000000", "", jour, Version, false},
        {"30 février", "A", "9", "2026-02-30", jour, Date, false},
        {"année à deux chiffres", "A", "9", "26-01-01", jour, Date, false},
        {"mois sans zéro", "A", "9", "2026-1-01", jour, Date, false},
    };
    for (const auto& e : etapes) {
        SCOPED_TRACE(e.cas);
        const FraicheurListe f{e.version, e.expire};
        EXPECT_EQ(ControleFraicheur(e.service, f, e.aujourdhui), e.raison);
        if (e.retient) {
            EXPECT_TRUE(RetientVersionListe(e.service, f));
        }
    }
    EXPECT_EQ(ControleFraicheur("A", {"7", ""}, jour), "");
    EXPECT_EQ(QFile::permissions(dossier) & 0x0077, 0) << "folder open to others";
    EXPECT_EQ(Entrees(), 1); // A's file only: nothing for unversioned lists, no work file left
}

// What sits under the service's name is not trusted: neither followed nor
// written through, and a list is then judged as if no version were known.
TEST_F(Fraicheur, FichierPlanteNonSuivi) {
    const QString ailleurs = etat.filePath("ailleurs");
    const QByteArray haute = "Le Ramaglin version de liste 1\n99\n";
    const struct {
        const char* cas;
        std::function<bool(const QString&)> plante;
        bool ecrit;
    } cas[] = {
        {"lien", [&](const QString& f) { return EcritFichier(ailleurs, haute) && QFile::link(ailleurs, f); }, true},
        {"contenu illisible", [](const QString& f) { return EcritFichier(f, "Le Ramaglin\n99 99\n"); }, true},
        {"tube", [](const QString& f) { return ::mkfifo(QFile::encodeName(f).constData(), 0600) == 0; }, true},
        {"dossier", [](const QString& f) { return QDir().mkdir(f); }, false},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.cas);
        QDir(dossier).removeRecursively();
        const QString fichier = FichierDe(c.cas);
        ASSERT_TRUE(QFile::remove(fichier) && c.plante(fichier));
        EXPECT_EQ(ControleFraicheur(c.cas, {"", ""}), "");
        EXPECT_EQ(RetientVersionListe(c.cas, {"50", ""}), c.ecrit);
        EXPECT_EQ(LitFichier(ailleurs), haute) << "written through the link";
        if (c.ecrit) {
            EXPECT_FALSE(QFileInfo(fichier).isSymLink());
            EXPECT_EQ(ControleFraicheur(c.cas, {"49", ""}), Plus);
        }
        EXPECT_EQ(Entrees(), 1);
    }
}

// A folder that refuses writes: the version cannot be kept, and says so; the
// versions already kept still refuse older lists.
TEST_F(Fraicheur, DossierEnLectureSeule) {
    ASSERT_TRUE(RetientVersionListe("A", {"4", ""}));
    QDir().mkdir(etat.filePath("vide"));
    DossierMonte montage(etat.path(), DossierMonte::LectureSeule);
    if (!montage.Erreur().isEmpty())
        GTEST_SKIP() << montage.Erreur().toStdString();
    EXPECT_EQ(ControleFraicheur("A", {"3", ""}), Plus);
    EXPECT_EQ(ControleFraicheur("A", {"4", ""}), "");
    EXPECT_FALSE(RetientVersionListe("A", {"5", ""}));
    EXPECT_EQ(Entrees(), 1);
    qputenv("XDG_STATE_HOME", QFile::encodeName(etat.filePath("vide"))); // no folder, none possible
    EXPECT_EQ(ControleFraicheur("A", {"3", ""}), "");
    EXPECT_FALSE(RetientVersionListe("A", {"5", ""}));
}

// The service's tool writes the two lines into the block it then signs,
// keeping the list's line ends; a list it cannot place them in, or a value
// the program would refuse, leaves the list as it was and unsigned.
TEST(RamaglinSigne, VersionEtExpirationDansLeBloc) {
    const QString outil = QStringLiteral(RAMAGLIN_BINARY_DIR "/ramaglin-signe");
    QTemporaryDir tmp;
    const QString cle = tmp.filePath("service.cle"), liste = tmp.filePath("liste.txt");
    const ProgrammeTermine paire = Execute({outil, "cle", cle}, QString(), 30000);
    ASSERT_EQ(paire.code, 0) << paire.Raison();
    const QString publique = QString::fromLatin1(paire.sortie.trimmed());
    const QStringList options{"--version", "12", "--expire", "2030-01-31"};
    const QByteArray lignes = "VERSION_LISTE=12\r\nEXPIRE_LISTE=2030-01-31\r\n";
    const struct {
        const char* cas;
        QByteArray avant;
        QStringList options;
        QByteArray apres; // empty: refused, the list unchanged
    } cas[] = {
        {"sans bloc", "xxx Le Ramaglin V1 xxx\r\na\tG\r\n", options,
         "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\n" + lignes + "-FIN PARAMETRES-\r\na\tG\r\n"},
        {"bloc à remplacer", "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nEXPIRE_LISTE=2020-01-01\r\n"
         "TITRE_TELECHARGEMENT=t\r\nVERSION_LISTE=3\r\n-FIN PARAMETRES-\r\nVERSION_LISTE=3\tG\r\n", options,
         "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=t\r\n" + lignes +
             "-FIN PARAMETRES-\r\nVERSION_LISTE=3\tG\r\n"},
        {"bloc sans fin ni fin de ligne", "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=t",
         {"--version", "12"}, "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\nTITRE_TELECHARGEMENT=t\r\nVERSION_LISTE=12\r\n"},
        {"marqueur seul", "xxx Le Ramaglin V1 xxx", options,
         "xxx Le Ramaglin V1 xxx\r\n-PARAMETRES-\r\n" + lignes + "-FIN PARAMETRES-\r\n"},
        {"BOM et fins de ligne LF", "\xEF\xBB\xBFxxx Le Ramaglin V1 xxx\n-PARAMETRES-\n-FIN PARAMETRES-\na\n",
         {"--expire", "2030-01-31"},
         "\xEF\xBB\xBFxxx Le Ramaglin V1 xxx\n-PARAMETRES-\nEXPIRE_LISTE=2030-01-31\n-FIN PARAMETRES-\na\n"},
        {"sans marqueur", "a\tG\r\n", options, ""},
        {"version vide", "xxx Le Ramaglin V1 xxx\r\n", {"--version", ""}, ""},
        {"date impossible", "xxx Le Ramaglin V1 xxx\r\n", {"--expire", "2030-02-30"}, ""},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.cas);
        QFile::remove(liste + ".sig");
        ASSERT_TRUE(EcritFichier(liste, c.avant));
        const ProgrammeTermine e = Execute(QStringList{outil, "signe", cle, liste} + c.options, QString(), 30000);
        EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).size(), c.apres.isEmpty() ? 2 : 3);
        if (c.apres.isEmpty()) {
            EXPECT_EQ(e.code, 1);
            EXPECT_EQ(LitFichier(liste), c.avant);
            continue;
        }
        ASSERT_EQ(e.code, 0) << e.Raison();
        EXPECT_EQ(LitFichier(liste), c.apres);
        const ProgrammeTermine v = Execute({outil, "verifie", publique, liste}, QString(), 30000);
        EXPECT_EQ(v.code, 0) << v.Raison();
        // What the search reads back from the signed bytes.
        const FraicheurListe lue = LitFraicheurListe(LitFichier(liste));
        EXPECT_EQ(lue.version, c.options.contains("--version") ? "12" : "");
        EXPECT_EQ(lue.expire, c.options.contains("--expire") ? "2030-01-31" : "");
    }
}

} // namespace
