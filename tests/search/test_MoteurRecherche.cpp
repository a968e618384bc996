// The search without windows: a list that never ends, a stop, and a list
// copy that cannot be written, each told to the user (or not, for a stop) and
// leaving nothing behind. (What an ordinary search shows is tested through
// the window.)
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/MoteurRecherche.h"
#include "support/DossierMonte.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"
#include "support/ServeurTest.h"
#include "util/ModuleRamaglin.h"

namespace {

class MoteurRechercheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ChargeListeOptions(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"), 1, nullptr, true);
        QObject::connect(&inet, &Inet::StateChanged, [this](int etat) { GereEtatTransfert(inet, etat); });
        QDir().mkpath(rep);
        AffecteVariable("REP_TMP", rep + "/");
        AffecteVariable("COMPARER_LISTE_A_IDENTIFIANT", "O");
        AffecteVariable("COL_COMPARAISON_IDENT", "2");
        AffecteVariable("IDENTIFIANT_A_COMPARER", "G");
        AffecteVariable("AFFICHE_RESULTAT", "O");
    }
    void TearDown() override { ArretDemande = false; }
    MoteurRecherche::Resultat Cherche() { return MoteurRecherche(inet).Lance(ReglagesConnexion(), nullptr, effectuee); }
    QStringList Restes() const { return QDir(rep).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir tmp;
    const QString rep = tmp.filePath("rep");
    EnregistreurMessages rec;
    Inet inet;
    ServeurTest serveur;
    bool effectuee = false;
};

// A server that sends a list without end, into a temporary folder whose free
// space would fall under its floor: the search stops before, says why, and
// leaves nothing. A stop asked meanwhile ends it without a message.
TEST_F(MoteurRechercheTest, ListeSansFinEtArret) {
    QByteArray lignes;
    for (int i = 0; i < 1000; ++i)
        lignes += "f" + QByteArray::number(i) + "\tG\r\n";
    serveur.Repond("GET", "/liste", ReponseTest{.corps = lignes, .fin = ReponseTest::Fin::Fermeture, .sansFin = true});
    AffecteVariable("FICHIER_LISTE_NOM", serveur.Adresse("/liste"));
    {
        // The floor is 100 MiB: a folder of 110 MiB fills to 10 MiB at most.
        DossierMonte petit(rep, DossierMonte::Tmpfs, 110 << 20);
        if (!petit.Erreur().isEmpty())
            GTEST_SKIP() << petit.Erreur().toStdString();
        const auto r = Cherche();
        EXPECT_EQ(r.issue, MoteurRecherche::Issue::Echec);
        EXPECT_EQ(rec.Textes(), QStringList{"Echec lors de la recherche : il resterait moins de 100 Mo d'espace "
                                            "libre dans le dossier."});
        EXPECT_TRUE(Restes().isEmpty()) << Restes().join(' ').toStdString();
        EXPECT_FALSE(effectuee);
    }
    rec.Vide();
    QTimer::singleShot(300, [] { ArretDemande = true; });
    const auto r = Cherche();
    EXPECT_EQ(r.issue, MoteurRecherche::Issue::Echec);
    EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n').toStdString();
    EXPECT_TRUE(Restes().isEmpty()) << Restes().join(' ').toStdString();
}

// The list arrives, but the temporary folder takes no work file (read-only):
// its line ends cannot be repaired, and a list read as one line would show
// other rows than the service's. The search stops and says why; the list as
// fetched stays as it was.
TEST_F(MoteurRechercheTest, ReparationImpossible) {
    const QByteArray liste = "a\tG\nb\tG\nc\tX\n";
    EcritFichier(rep + "/Liste.tmp", liste);
    DossierMonte lecture(rep, DossierMonte::LectureSeule);
    if (!lecture.Erreur().isEmpty())
        GTEST_SKIP() << lecture.Erreur().toStdString();
    bool reponse = true;
    EXPECT_FALSE(MoteurRecherche(inet).TraitementFichier(rep + "/Liste.tmp", false, effectuee, reponse));
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_TRUE(rec.messages[0].texte.startsWith("La liste des fichiers n'a pas pu être écrite dans le dossier "
                                                 "temporaire"));
    EXPECT_EQ(LitFichier(rep + "/Liste.tmp"), liste);
    EXPECT_EQ(Restes(), QStringList{"Liste.tmp"});
}

} // namespace
