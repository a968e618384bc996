// Lists that prove where they come from: a list signed with the service's key
// (made and signed by ramaglin-signe, the service's tool) is accepted; a
// changed byte, a missing signature, another key or a malformed key each stop
// the search with their message, and nothing is kept. And what an unsigned
// list fetched in clear may not set in its parameter block.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "config/Fonctions_Parametres.h"
#include "config/Fonctions_Variables.h"
#include "net/Fonctions_Internet_INET.h"
#include "net/Inet.h"
#include "search/LignesListe.h"
#include "search/MoteurRecherche.h"
#include "support/EnregistreurMessages.h"
#include "support/Outils.h"
#include "support/ServeursReels.h"

namespace {

const QString Signe = QStringLiteral(RAMAGLIN_BINARY_DIR "/ramaglin-signe");

// Runs ramaglin-signe; its standard output, or a failed test.
QByteArray Outil(const QStringList& arguments, int attendu = 0) {
    QProcess p;
    p.start(Signe, arguments);
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), attendu) << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

// The public key as the tool prints it: "CLE_PUBLIQUE_LISTE=..." and a line end.
QString ClePublique(const QByteArray& sortie) {
    return QString::fromLatin1(sortie.trimmed()).section(QLatin1Char('='), 1);
}

class ListeSignee : public SuiteNginx<ListeSignee> {
protected:
    void SetUp() override {
        ChargeListeOptions(QStringLiteral(RAMAGLIN_SOURCE_DIR "/src/app/Ramag-ListeOptions.dat"), 1,
                           nullptr, true);
        QObject::connect(&inet, &Inet::StateChanged, [this](int etat) { GereEtatTransfert(inet, etat); });
        rep = tmp.filePath("rep");
        QDir().mkpath(rep);
        AffecteVariable("REP_TMP", rep + "/");
        AffecteVariable("RECUPERE_PARAMETRES_LISTE", "O");
        AffecteVariable("COMPARER_LISTE_A_IDENTIFIANT", "O");
        AffecteVariable("COL_COMPARAISON_IDENT", "2");
        AffecteVariable("IDENTIFIANT_A_COMPARER", "G");
        AffecteVariable("AFFICHE_RESULTAT", "O");
    }
    MoteurRecherche::Resultat Cherche(const QString& adresse) {
        AffecteVariable("FICHIER_LISTE_NOM", adresse);
        bool effectuee = false;
        return MoteurRecherche(inet).Lance(ReglagesConnexion(), nullptr, effectuee);
    }
    QStringList Restes() const { return QDir(rep).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir tmp;
    QString rep;
    EnregistreurMessages rec;
    Inet inet;
};

TEST_F(ListeSignee, SignatureVerifieeOuRechercheRefusee) {
    const QString cle = tmp.filePath("service.cle"), autre = tmp.filePath("autre.cle");
    const QString publique = ClePublique(Outil({"cle", cle}));
    Outil({"cle", autre});
    // The tool never replaces a key, and prints the same public key again.
    Outil({"cle", cle}, 1);
    EXPECT_EQ(ClePublique(Outil({"publique", cle})), publique);
    EXPECT_EQ(QFile::permissions(cle) & 0x0077, 0) << "private key readable by others";

    const QByteArray liste = "xxx Le Ramaglin V1 xxx\n-PARAMETRES-\nTITRE_TELECHARGEMENT=signé\n"
                             "-FIN PARAMETRES-\na\tG\nb\tX\n";
    const QString chemin = racine->filePath("liste.txt");
    ASSERT_TRUE(EcritFichier(chemin, liste));
    Outil({"signe", cle, chemin});
    Outil({"verifie", publique, chemin});
    AffecteVariable("CLE_PUBLIQUE_LISTE", publique);
    const QString adresse = nginx->Adresse("/liste.txt");
    {
        const auto r = Cherche(adresse);
        ASSERT_EQ(r.issue, MoteurRecherche::Issue::Trouve) << rec.Textes().join('\n');
        EXPECT_EQ(r.lignes->Nombre(), 1);
        EXPECT_EQ(LitVariable("TITRE_TELECHARGEMENT"), "signé");
        EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n');
    }
    const QString illisible = "La liste " + adresse + " n'a pas pu être vérifiée : sa signature (" +
                              adresse + ".sig) est absente ou illisible. Aucun fichier ne sera téléchargé.";
    const QString fausse = "La liste " + adresse + " est refusée : sa signature ne correspond pas à la "
                           "clé du service (liste modifiée ou signée par une autre clé). Aucun fichier "
                           "ne sera téléchargé.";
    const QByteArray signature = LitFichier(chemin + ".sig");
    const struct {
        const char* cas;
        std::function<void()> prepare;
        QString message;
    } refus[] = {
        {"un octet changé", [&] { QByteArray l = liste; l[l.size() - 2] = 'Y'; EcritFichier(chemin, l); }, fausse},
        {"signature absente", [&] { QFile::remove(chemin + ".sig"); }, illisible},
        {"signature tronquée", [&] { EcritFichier(chemin + ".sig", signature.left(40)); }, illisible},
        {"autre clé", [&] { Outil({"signe", autre, chemin}); }, fausse},
    };
    for (const auto& c : refus) {
        SCOPED_TRACE(c.cas);
        EcritFichier(chemin, liste);
        EcritFichier(chemin + ".sig", signature);
        c.prepare();
        rec.Vide();
        AffecteVariable("TITRE_TELECHARGEMENT", "");
        const auto r = Cherche(adresse);
        EXPECT_EQ(r.issue, MoteurRecherche::Issue::Echec);
        EXPECT_EQ(rec.Textes(), QStringList{c.message});
        EXPECT_EQ(LitVariable("TITRE_TELECHARGEMENT"), "") << "block of a refused list read";
        EXPECT_TRUE(Restes().isEmpty()) << Restes().join(' ');
    }
    // A key that is not 32 bytes of standard base64: nothing is even asked.
    for (const QString& mauvaise : {publique.left(40), publique.chopped(1), "-" + publique.mid(1),
                                    QString("AAAA")}) {
        rec.Vide();
        AffecteVariable("CLE_PUBLIQUE_LISTE", mauvaise);
        const qsizetype avant = nginx->Journal().size();
        EXPECT_EQ(Cherche(adresse).issue, MoteurRecherche::Issue::Echec);
        EXPECT_EQ(rec.Textes(), QStringList{"La clé publique de la liste (CLE_PUBLIQUE_LISTE) n'est pas une "
                                            "clé Ed25519 valide : la recherche est abandonnée."});
        EXPECT_EQ(nginx->Journal().size(), avant);
    }
}

// The block of a list fetched in clear and unsigned may not choose where files
// go, nor have one started: those lines are ignored and the user told once.
// Over HTTPS (or signed, above) the same block is taken whole.
TEST_F(ListeSignee, CeQuUneListeEnClairNePeutPasChanger) {
    const QByteArray liste = "xxx Le Ramaglin V1 xxx\n-PARAMETRES-\nTITRE_TELECHARGEMENT=clair\n"
                             "CHEMIN_DESTINATION_FICHIER_SOURCE=/tmp/ailleurs/\n"
                             "LANCER_APRES_TELECHARGEMENT=O\nLANCER_APRES_TELECHARGEMENT=O\n"
                             "-FIN PARAMETRES-\na\tG\n";
    ASSERT_TRUE(EcritFichier(racine->filePath("clair.txt"), liste));
    AffecteVariable("CHEMIN_DESTINATION_FICHIER_SOURCE", "dest/");
    AffecteVariable("LANCER_APRES_TELECHARGEMENT", "N");
    ASSERT_EQ(Cherche(nginx->Adresse("/clair.txt")).issue, MoteurRecherche::Issue::Trouve);
    EXPECT_EQ(rec.Textes(), QStringList{"La liste a été obtenue sans chiffrement et n'est pas signée : son "
                                        "bloc de paramètres ne peut pas changer CHEMIN_DESTINATION_FICHIER_SOURCE, "
                                        "LANCER_APRES_TELECHARGEMENT. Ces lignes ont été ignorées."});
    EXPECT_EQ(LitVariable("TITRE_TELECHARGEMENT"), "clair");
    EXPECT_EQ(LitVariable("CHEMIN_DESTINATION_FICHIER_SOURCE"), "dest/");
    EXPECT_EQ(LitVariable("LANCER_APRES_TELECHARGEMENT"), "N");

    QTemporaryDir certificats;
    const QString erreur = CreeCertificat(certificats.path());
    if (!erreur.isEmpty())
        GTEST_SKIP() << erreur.toStdString();
    Nginx tls(racine->path(), QString(), certificats.filePath("serveur.pem"),
              certificats.filePath("serveur.key"));
    ASSERT_TRUE(tls.Demarre()) << tls.Erreur().toStdString();
    inet.CertificatsAutorite = certificats.filePath("serveur.pem");
    rec.Vide();
    ASSERT_EQ(Cherche(tls.Adresse("/clair.txt")).issue, MoteurRecherche::Issue::Trouve);
    EXPECT_TRUE(rec.Textes().isEmpty()) << rec.Textes().join('\n');
    EXPECT_EQ(LitVariable("CHEMIN_DESTINATION_FICHIER_SOURCE"), "/tmp/ailleurs/");
    EXPECT_EQ(LitVariable("LANCER_APRES_TELECHARGEMENT"), "O");
}

} // namespace
