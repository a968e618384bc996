// Path and address helpers: roots, folders, names, extensions, links resolved, command lines.
#include "html/Fonctions_Chemin.h"

#include <gtest/gtest.h>

#include <functional>

// Roots of drives, network shares and addresses (schemes in any case).
TEST(Chemins, Racine) {
    const std::pair<QString, QString> cas[] = {
        {"c:\\temp", "c:"}, {"rep/f.txt", ""}, {"\\\\machine\\partage\\f.txt", "\\\\machine\\"},
        {"\\\\machine", "\\\\machine"}, {"Http://serveur/x", "Http://"}, {"mailto:nom", "mailto:"},
        {"HTTPS://s/", "HTTPS://"}, {"news://g", "news://"}, {"http:/x", ""}, {"https:", ""},
    };
    for (const auto& [chemin, racine] : cas) {
        const bool adresse = racine.endsWith(':') ? racine.size() > 2 : racine.endsWith("//");
        bool internet = !adresse;
        EXPECT_EQ(RacineChemin(chemin, internet), racine) << chemin.toStdString();
        EXPECT_EQ(internet, adresse) << chemin.toStdString();
        EXPECT_EQ(EstAdresseInternet(chemin), adresse) << chemin.toStdString();
    }
}

// The character after the root is never a separator, and the root is never cut.
TEST(Chemins, DecoupageDuChemin) {
    const struct {
        const char* nom;
        std::function<QString(const QString&)> fonction;
        std::vector<std::pair<QString, QString>> cas;
    } fonctions[] = {
        {"RepertoireChemin", RepertoireChemin,
         {{"http://serveur/rep/f.zip", "http://serveur/rep/"}, {"f.zip", ""}, {"C:\\setup.zip", "C:"},
          {"rep/sous\\f.txt", "rep/sous\\"}, {"/f.zip", ""}, {"http://serveur", "http://"}}},
        {"NomFichierChemin", NomFichierChemin,
         {{"http://serveur/rep/f.zip", "f.zip"}, {"/f.zip", ""}, {"http://serveur", "serveur"}, {"rep/", ""}}},
        {"ExtensionFichier", ExtensionFichier,
         {{"archive.tar.gz", "GZ"}, {"\"setup.exe\"", "EXE"}, {"lisezmoi", ""}, {"rep.d/fichier", "D/FICHIER"}}},
    };
    for (const auto& f : fonctions)
        for (const auto& [entree, attendu] : f.cas)
            EXPECT_EQ(f.fonction(entree), attendu) << f.nom << "(" << entree.toStdString() << ")";
}

TEST(Chemins, ResolutionDesLiens) {
    const QString b = QStringLiteral("http://serveur/a/b/");
    const struct {
        QString base, lien, attendu;
    } cas[] = {
        {b, "./../x/./y", "http://serveur/a/x/./y"}, {b, "..\\f.htm", "http://serveur/a/f.htm"},
        {b, "../../../f.htm", "http://serveur/f.htm"}, // a one-element path is its own parent
        {b, "/f.htm", "http://serveur/a/f.htm"},      // a leading "/" climbs one level, not to the root
        {b, "mailto:x@y", "mailto:x@y"}, {"http://serveur", "f.htm", "http://serveur/f.htm"},
    };
    for (const auto& c : cas)
        EXPECT_EQ(ResoutLien(c.base, c.lien), c.attendu) << c.base.toStdString() << " + " << c.lien.toStdString();
}

TEST(Chemins, SepareLigneCommande) {
    const std::pair<QString, QString> cas[] = {
        {"\"C:\\Program Files\\x.exe\" /s", "C:\\Program Files\\x.exe|/s"}, {"notepad f.txt g.txt", "notepad|f.txt g.txt"},
        {"\"C:\\a b\\x.exe\"", "C:\\a b\\x.exe|"}, {"\"", "\"|"}, {"\" x", "\" x|"}, {" lead", "|lead"},
    };
    for (const auto& [ligne, attendu] : cas) {
        QString programme = "avant", arguments = "avant";
        SepareLigneCommande(ligne, programme, arguments);
        EXPECT_EQ(programme + "|" + arguments, attendu) << ligne.toStdString();
    }
}
