// The search without windows: a list that never ends, a stop, and a list
// copy that cannot be written, each told to the user (or not, for a stop) and
// leaving nothing behind. (What an ordinary search shows is tested through
// the window.)
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/LignesListe.h"
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
    MoteurRecherche::Resultat Cherche() {
        return MoteurRecherche(inet).Lance(VariablesService(), ReglagesConnexion(), nullptr, effectuee);
    }
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

// The temporary folder as someone else left it: a link in the list copy's
// place (its target stays untouched; the link is replaced by the copy), work
// files of a killed search (removed), and a list copy swapped while the list
// arrives (no effect: what was received is what is used). A folder that
// takes no file: the search says so and nothing is left.
TEST_F(MoteurRechercheTest, DossierTemporaireHostile) {
    serveur.Repond("GET", "/liste",
                   {.corps = "a\tG\nb\tG\nc\tX\n", .goutteOctets = 3, .goutteDelaiMs = 60});
    AffecteVariable("FICHIER_LISTE_NOM", serveur.Adresse("/liste"));
    const QString victime = tmp.filePath("victime.txt");
    EcritFichier(victime, "à garder");
    QFile::link(victime, rep + "/Liste.tmp");
    EcritFichier(rep + "/Liste.tmp.k3j9.recu", "reste");
    EcritFichier(rep + "/Liste.tmp.travail.x8", "reste");
    QTimer::singleShot(150, [&] {
        QFile::remove(rep + "/Liste.tmp");
        EcritFichier(rep + "/Liste.tmp", "z\tG\r\n");
    });
    const auto r = Cherche();
    ASSERT_EQ(r.issue, MoteurRecherche::Issue::Trouve) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(r.lignes->Texte(), "a\tG\r\nb\tG\r\n");
    EXPECT_EQ(LitFichier(rep + "/Liste.tmp"), "a\tG\r\nb\tG\r\n");
    EXPECT_FALSE(QFileInfo(rep + "/Liste.tmp").isSymLink());
    EXPECT_EQ(LitFichier(victime), "à garder");
    EXPECT_EQ(Restes(), QStringList{"Liste.tmp"});

    // A link planted again, then a folder that takes no file.
    QFile::remove(rep + "/Liste.tmp");
    QFile::link(victime, rep + "/Liste.tmp");
    serveur.Repond("GET", "/liste", ReponseTest::Ok("a\tG\n"));
    DossierMonte lecture(rep, DossierMonte::LectureSeule);
    if (!lecture.Erreur().isEmpty())
        GTEST_SKIP() << lecture.Erreur().toStdString();
    rec.Vide();
    EXPECT_EQ(Cherche().issue, MoteurRecherche::Issue::Echec);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_TRUE(rec.messages[0].texte.startsWith("Echec lors de la recherche")) << rec.messages[0].texte.toStdString();
    EXPECT_EQ(LitFichier(victime), "à garder");
}

// The list's own framing decides; a failure says why
// beside its box, after the retries of a run; a server that asks to wait is
// waited for.
TEST_F(MoteurRechercheTest, CadrageRaisonsEtEssais) {
    qputenv("RAMAGLIN_ECHELLE_ATTENTES", "0.01");
    serveur.Repond("GET", "/liste", {.corps = "a\tG\nb\tX\n", .fin = ReponseTest::Fin::Chunked});
    AffecteVariable("FICHIER_LISTE_NOM", serveur.Adresse("/liste"));
    auto r = Cherche();
    ASSERT_EQ(r.issue, MoteurRecherche::Issue::Trouve) << rec.Textes().join('\n').toStdString();
    EXPECT_EQ(r.lignes->Texte(), "a\tG\r\n");

    serveur.Repond("GET", "/absente", ReponseTest::Statut(404));
    AffecteVariable("FICHIER_LISTE_NOM", serveur.Adresse("/absente"));
    rec.Vide();
    r = Cherche();
    EXPECT_EQ(r.issue, MoteurRecherche::Issue::Echec);
    EXPECT_EQ(rec.Textes(), QStringList{"Echec lors de la recherche !"});
    EXPECT_EQ(r.raison, "erreur HTTP 404 : fichier introuvable");
    EXPECT_EQ(serveur.Requetes("GET", "/absente").size(), 1) << "a 404 tried again";

    serveur.RepondSuite("*", "/occupe",
                        {{.statut = 503, .entetes = "Retry-After: 1\r\n"}, ReponseTest::Statut(502),
                         ReponseTest::Ok("a\tG\n")});
    AffecteVariable("FICHIER_LISTE_NOM", serveur.Adresse("/occupe"));
    rec.Vide();
    r = Cherche();
    EXPECT_EQ(r.issue, MoteurRecherche::Issue::Trouve) << rec.Textes().join('\n').toStdString();
    EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n').toStdString();
    qunsetenv("RAMAGLIN_ECHELLE_ATTENTES");
}

// One search of a service at a time: a second lock in the same folder is
// refused with its message while the first is held, taken once it goes; a
// lock file that is not one is named.
TEST_F(MoteurRechercheTest, UneRechercheALaFois) {
    VerrouListe premier, second;
    ASSERT_EQ(premier.Prend(rep + "/"), VerrouListe::Etat::Pris);
    EXPECT_EQ(second.Prend(rep + "/"), VerrouListe::Etat::Occupe);
    EXPECT_EQ(rec.Textes(), QStringList{"Une autre recherche de ce service est en cours."});
    premier.Rend();
    EXPECT_EQ(second.Prend(rep + "/"), VerrouListe::Etat::Pris);
    second.Rend();
    QFile::remove(rep + "/Liste.verrou");
    QDir().mkpath(rep + "/Liste.verrou");
    rec.Vide();
    EXPECT_EQ(second.Prend(rep + "/"), VerrouListe::Etat::Illisible);
    EXPECT_EQ(rec.Textes(), QStringList{"Le verrou de la liste " + rep + "/Liste.verrou n'est pas un fichier : la "
                                        "recherche est abandonnée."});
}

} // namespace
