// Link extraction: what a page's tags, comments and script blocks give, in
// order, with kinds and anchor texts; and the scanner's building blocks.
#include "html/Fonctions_Internet.h"

#include "support/Outils.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

const QString kBase = QStringLiteral("http://serveur/rep/");

struct Lien {
    QString adresse;
    QString type;
    QString texte;
    bool operator==(const Lien&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Lien& l) {
    return os << "{" << l.adresse.toStdString() << ", " << l.type.toStdString() << ", \""
              << l.texte.toStdString() << "\"}";
}

std::vector<Lien> EnLiens(const ListeAuto& adresses, const ListeAuto& types, const ListeAuto& textes) {
    EXPECT_EQ(adresses.NbElementsListe(), types.NbElementsListe());
    EXPECT_EQ(adresses.NbElementsListe(), textes.NbElementsListe());
    std::vector<Lien> liens;
    for (qint32 k = 0; k < adresses.NbElementsListe(); ++k)
        liens.push_back({adresses.RenvoieElement(k), types.RenvoieElement(k), textes.RenvoieElement(k)});
    return liens;
}

std::vector<Lien> Extrait(const QString& page) {
    ListeAuto adresses, types, textes;
    ExtraitLiensTexte(page, kBase, adresses, types, &textes);
    return EnLiens(adresses, types, textes);
}

Lien L(const char* relatif, const char* type, const char* texte = "") {
    return {kBase + QString::fromUtf8(relatif), QString::fromLatin1(type), QString::fromUtf8(texte)};
}

// Removal as the rule states it: cut the first segment, then look again from
// the start. Quadratic, but obviously right.
void SupprimeSegmentsNaif(QString& texte, const QString& debut, const QString& fin) {
    for (;;) {
        const qsizetype d = texte.indexOf(debut);
        if (d < 0)
            return;
        const qsizetype f = texte.indexOf(fin, d + debut.size());
        if (f < 0)
            return;
        texte.remove(d, f + fin.size() - d);
    }
}

} // namespace

TEST(ExtraitLiens, Pages) {
    struct Cas {
        const char* nom;
        QString page;
        std::vector<Lien> attendu;
    };
    const Cas cas[] = {
        {"page vide", "", {}},
        {"ancres ignorées",
         "<a href=\"#top\">haut</a><A HREF=\"\">vide</A><A HREF=\"javascript:go()\">js</A>"
         "<a href='JavaScript:x'>",
         {}},
        {"ancre avec fragment", "<a href=\"doc.htm#x\">",
         {L("doc.htm#x", "5")}},
        {"texte d'ancre",
         "<A HREF=\"a.htm\">Suite</A><A HREF=\"b.htm\"><B>Gras</B></A><A HREF=\"c.htm\">Fin</A >"
         "<a href=\"d.htm\"> avec  espaces </a>",
         {L("a.htm", "5", "Suite"), L("b.htm", "5"), L("c.htm", "5"),
          L("d.htm", "5", " avec  espaces ")}},
        {"entités laissées telles quelles", "<a href=\"x.htm\">Caf&eacute; &amp; th&#233;</a>",
         {L("x.htm", "5", "Caf&eacute; &amp; th&#233;")}},
        {"balises non lues",
         "<IFRAME SRC=\"x.htm\"><EMBED SRC=\"x\"><LINK HREF=\"x\"><AREA HREF=\"zone.htm\" SHAPE=rect>"
         "<SCRIPT SRC=\"s.js\"></SCRIPT>",
         {}},
        {"cadres, images, fond",
         "<BODY BACKGROUND=\"fond.jpg\" BGCOLOR=white><FRAMESET><FRAME SRC=\"menu.htm\" NAME=m>"
         "<frame name=corps src=corps.htm></FRAMESET><IMG SRC=logo.gif WIDTH=10><img src='x.png'>",
         {L("fond.jpg", "4"), L("menu.htm", "1"), L("corps.htm", "1"), L("logo.gif", "2"),
          L("x.png", "2")}},
        {"guillemets et chevrons", "<A HREF=\"a>b.htm\">x</A><A HREF='a>b.htm'>",
         {L("a>b.htm", "5", "x"), L("a", "5")}},
        {"attribut nu avant la valeur", "<IMG ISMAP SRC=x.gif><IMG WIDTH=3 SRC=y.gif>",
         {L("y.gif", "2")}},
        {"balise sans espace", "<A\tHREF=\"t.htm\">t</A><AHREF=\"u.htm\">",
         {}},
        {"commentaires", "<!-- <a href=\"cache.htm\">x</a> --><a href=\"vu.htm\">v</a>",
         {L("vu.htm", "5", "v")}},
        {"commentaire non fermé",
         "<a href=\"a.htm\">a</a><!-- pas fermé > <a href=\"b.htm\">b</a>",
         {L("a.htm", "5", "a"), L("b.htm", "5", "b")}},
        {"script puis ancre",
         "<a href=\"avant.htm\">x</a><Script Language=\"JAVASCRIPT\">\n"
         "  location.href = 'suite.htm';\n</Script><A HREF=\"a.htm\">Ancre</A>",
         {L("suite.htm", "3"), L("avant.htm", "5", "x"), L("a.htm", "5", "Ancre")}},
        {"script sans point-virgule",
         "<Script Language=\"JAVASCRIPT\">location.href = 'x.htm'</Script>", {}},
        {"script en majuscules, plusieurs blocs",
         "<SCRIPT LANGUAGE=\"javascript\">LOCATION.HREF=\"un.htm\"; location.href=deux.htm;"
         "if (x) location.href;</SCRIPT><script language=\"JavaScript\">"
         "window.location.href = \"trois.htm\";</script>",
         {L("un.htm", "3"), L("deux.htm", "3"), L("trois.htm", "3")}},
        {"commentaires de script",
         "<Script Language=\"JAVASCRIPT\">/* location.href='non1.htm'; */\n"
         "// location.href='non2.htm';\nlocation.href =\n 'oui.htm' ; // fin\n</Script>",
         {L("oui.htm", "3")}},
        {"adresse absolue dans un script: // commence un commentaire",
         "<Script Language=\"JAVASCRIPT\">location.href = \"http://ailleurs/x.htm\";\n</Script>",
         {}},
        {"script masqué par un commentaire",
         "<Script Language=\"JAVASCRIPT\"><!--\nlocation.href='x.htm';\n//--></Script>", {}},
        {"autre forme de balise script: ni lue ni retirée",
         "<script type=\"text/javascript\">location.href='x.htm';</script><a href=\"a.htm\">",
         {L("a.htm", "5")}},
        {"script retiré avant le découpage",
         "<Script Language=\"JAVASCRIPT\">var s = '<a href=\"dedans.htm\">';</Script><a href=b.htm>",
         {L("b.htm", "5")}},
        {"liens identiques", "<a href=\"x.htm\">x</a><a href=\"x.htm\">x</a>",
         {L("x.htm", "5", "x"), L("x.htm", "5", "x")}},
        {"adresses relatives et absolues",
         "<a href=\"../haut.htm\"><a href=\"/racine.htm\"><a href=\"ftp://f/z.zip\">",
         {{"http://serveur/haut.htm", "5", ""}, {"http://serveur/racine.htm", "5", ""},
          {"ftp://f/z.zip", "5", ""}}},
        {"sauts de ligne dans une balise", "<A\nHREF=\"lf.htm\"\n>lf</A>",
         {L("lf.htm", "5", "lf")}},
        {"guillemet dans le texte", "Il dit \"<a href=x.htm>\" puis <a href=y.htm>",
         {L("y.htm", "5")}},
        {"espaces autour de la balise", "< A HREF=\"e.htm\" >", {L("e.htm", "5")}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        EXPECT_EQ(Extrait(c.page), c.attendu);
    }
}

TEST(ExtraitLiens, ListesCompleteesEtTextesFacultatifs) {
    ListeAuto adresses, types, textes;
    adresses.AjoutElement(QStringLiteral("déjà là"));
    types.AjoutElement(QStringLiteral("0"));
    textes.AjoutElement(QStringLiteral("t"));
    const QString page = QStringLiteral(
        "<Script Language=\"JAVASCRIPT\">location.href='s.htm';</Script><a href=\"a.htm\">A</a>");
    ExtraitLiensTexte(page, kBase, adresses, types, &textes);
    EXPECT_EQ(adresses.Elements(), QStringList({"déjà là", kBase + "s.htm", kBase + "a.htm"}));
    EXPECT_EQ(types.Elements(), QStringList({"0", "3", "5"}));
    EXPECT_EQ(textes.Elements(), QStringList({"t", "", "A"}));

    ListeAuto a2, t2;
    ExtraitLiensTexte(page, kBase, a2, t2, nullptr);
    EXPECT_EQ(a2.Elements(), QStringList({kBase + "s.htm", kBase + "a.htm"}));
    EXPECT_EQ(t2.Elements(), QStringList({"3", "5"}));
}

TEST(ExtraitLiens, FichiersEtFinsDeLigne) {
    QTemporaryDir dossier;
    ASSERT_TRUE(dossier.isValid());
    struct Cas {
        const char* nom;
        QByteArray octets;
        std::vector<Lien> attendu;
    };
    const Cas cas[] = {
        // CR LF joins the lines with nothing between: "<A" + "HREF" has no space.
        {"CR LF", "<A\r\nHREF=\"x.htm\">x</A>\r\n<IMG\r\n SRC=\"i.gif\">", {L("i.gif", "2")}},
        {"LF", "<A\nHREF=\"x.htm\">x</A>\n", {L("x.htm", "5", "x")}},
        {"CR seul", "<A\rHREF=\"x.htm\">", {}},
        {"Windows-1252", "<a href=\"f.htm\">\xe9t\xe9</a>", {L("f.htm", "5", "été")}},
        {"UTF-8 avec BOM", "\xef\xbb\xbf<a href=\"f.htm\">\xc3\xa9t\xc3\xa9</a>",
         {L("f.htm", "5", "été")}},
        {"vide", "", {}},
    };
    int n = 0;
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        const QString chemin = dossier.filePath(QStringLiteral("page%1.htm").arg(n++));
        ASSERT_TRUE(EcritFichier(chemin, c.octets));
        ListeAuto adresses, types, textes;
        EXPECT_TRUE(ExtraitLiensHTML(chemin, kBase, adresses, types, &textes));
        EXPECT_EQ(EnLiens(adresses, types, textes), c.attendu);
    }
    ListeAuto adresses, types;
    EXPECT_FALSE(ExtraitLiensHTML(dossier.filePath(QStringLiteral("absente.htm")), kBase, adresses,
                                  types));
    EXPECT_EQ(adresses.NbElementsListe(), 0);
}

// A directory listing saved from nginx with autoindex on.
TEST(ExtraitLiens, IndexNginx) {
    ListeAuto adresses, types, textes;
    const QString base = QStringLiteral("http://127.0.0.1/fichiers/");
    ASSERT_TRUE(ExtraitLiensHTML(CheminFixture(QStringLiteral("html/nginx-autoindex.html")), base,
                                 adresses, types, &textes));
    const std::vector<Lien> attendu = {
        {"http://127.0.0.1/", "5", "../"},
        {base + "sous-dossier/", "5", "sous-dossier/"},
        {base + "archive.zip", "5", "archive.zip"},
        {base + "lisez-moi.txt", "5", "lisez-moi.txt"},
        {base + "page%20deux.htm", "5", "page deux.htm"},
        {base + "r%C3%A9sum%C3%A9.pdf", "5", "résumé.pdf"},
    };
    EXPECT_EQ(EnLiens(adresses, types, textes), attendu);
}

TEST(ExtraitLiens, DecoupeBalises) {
    struct Cas {
        QString texte;
        QStringList balises;
        QStringList positions;
    };
    const Cas cas[] = {
        {"a<b>c<\"d>\"e>f<g", {"b", "\"d>\"e"}, {"2", "6"}},
        {"x\"<y>\"<z>", {"z"}, {"7"}},
        {"<><a>", {"", "a"}, {"1", "3"}},
        {"<a 'b>c'>", {"a 'b"}, {"1"}},
        {"pas de balise", {}, {}},
        {"<a \"b>", {}, {}},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.texte.toStdString());
        ListeAuto balises, positions, seules;
        DecoupeBalises(c.texte, balises, &positions);
        EXPECT_EQ(balises.Elements(), c.balises);
        EXPECT_EQ(positions.Elements(), c.positions);
        DecoupeBalises(c.texte, seules);
        EXPECT_EQ(seules.Elements(), c.balises);
    }
}

TEST(ExtraitLiens, ValeurAttribut) {
    struct Cas {
        const char* nom;
        QString texte;
        QString attendu;
    };
    const Cas cas[] = {
        {"HREF", "HREF=\"a.htm\"", "a.htm"},
        {"href", "HREF = \"a b.htm\" TARGET=x", "a b.htm"},
        {"TARGET", "HREF=\"a.htm\" TARGET=x", "x"},
        {"TARGET", "HREF=\"a.htm\"TARGET=x", ""}, // the walk skips a character after a quote
        {"SRC", "ISMAP SRC=x.gif", ""},
        {"SRC", "WIDTH=10 SRC=x.gif", "x.gif"},
        {"SRC", "WIDTH=10  SRC=x.gif", "x.gif"},
        {"HREF", "HREF='it\"s.htm'", "it\"s.htm"},
        {"HREF", "HREF=", ""},
        {"HREF", "NAME=x", ""},
        {"HREF", "", ""},
        {"HREF", "HREF=  'a'", "a"},
        {"HREF", "HREF=\" a\"", "a"},
        {"HREF", "HREF=\"a b\"", "a b"},
        {"ALT", "SRC=\"a\" ALT=b\"c d\"e", "bc d"}, // the tag's quote character is remembered
        {"ALT", "ALT=b\"c", "b\"c"},                // no quote seen yet: an ordinary character
        {"HREF", "HREF=\"'x'\"", ""},               // a leading apostrophe takes over as quote
        {"href", "Href=x.htm", "x.htm"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(std::string(c.nom) + " in " + c.texte.toStdString());
        EXPECT_EQ(ValeurAttribut(QString::fromLatin1(c.nom), c.texte), c.attendu);
    }
}

TEST(ExtraitLiens, Segments) {
    struct Cas {
        QString texte;
        int n;
        bool ignorerCasse;
        bool trouve;
        QString segment;
    };
    const Cas cas[] = {
        {"a[1]b[2]c", 1, false, true, "1"},
        {"a[1]b[2]c", 2, false, true, "2"},
        {"a[1]b[2]c", 3, false, false, ""},
        {"a[1]b[2", 2, false, false, ""},
        {"a[1]b[2]c", 0, false, false, ""},
        {"[]", 1, false, true, ""},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.texte.toStdString() + " n=" + std::to_string(c.n));
        QString segment = QStringLiteral("avant");
        EXPECT_EQ(ExtraitSegment(c.texte, "[", "]", c.n, c.ignorerCasse, segment), c.trouve);
        EXPECT_EQ(segment, c.segment);
    }
    QString segment;
    EXPECT_TRUE(ExtraitSegment("x<SCRIPT>Un</script><script>Deux</SCRIPT>", "<script>", "</Script>", 2,
                               true, segment));
    EXPECT_EQ(segment, QStringLiteral("Deux"));
    EXPECT_FALSE(ExtraitSegment("x<SCRIPT>Un</script>", "<script>", "</Script>", 1, false, segment));
}

TEST(ExtraitLiens, SupprimeSegments) {
    struct Cas {
        QString texte;
        QString attendu;
    };
    const Cas cas[] = {
        {"a<!--b-->c", "ac"},
        {"a<!--b", "a<!--b"},
        {"a<!--b-->c<!--d", "ac<!--d"},
        {"<!<!--x-->--y-->z", "z"}, // a delimiter formed by the cut is removed too
        {"<!-->", "<!-->"},
        {"<!---->", ""},
        {"<!-- a --> <!-- b -->", " "},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.texte.toStdString());
        QString texte = c.texte;
        SupprimeSegments(texte, "<!--", "-->", false);
        EXPECT_EQ(texte, c.attendu);
    }
    QString script = QStringLiteral("x<SCRIPT language=\"javascript\">y</script>z");
    SupprimeSegments(script, "<Script Language=\"JAVASCRIPT\">", "</Script>", true);
    EXPECT_EQ(script, QStringLiteral("xz"));
    QString casse = QStringLiteral("x<SCRIPT language=\"javascript\">y</script>z");
    SupprimeSegments(casse, "<Script Language=\"JAVASCRIPT\">", "</Script>", false);
    EXPECT_EQ(casse, QStringLiteral("x<SCRIPT language=\"javascript\">y</script>z"));

    QString espaces = QStringLiteral("  a b  ");
    SupprimeEspacesDebut(espaces);
    EXPECT_EQ(espaces, QStringLiteral("a b  "));
    SupprimeEspacesFin(espaces);
    EXPECT_EQ(espaces, QStringLiteral("a b"));
    QString tabulations = QStringLiteral("\t a \t");
    SupprimeEspacesDebut(tabulations);
    SupprimeEspacesFin(tabulations);
    EXPECT_EQ(tabulations, QStringLiteral("\t a \t"));
}

// The one-pass removal gives what cutting and looking again from the start
// gives, on texts full of partial and overlapping delimiters.
TEST(ExtraitLiens, SupprimeSegmentsCommeLaRegle) {
    QRandomGenerator alea(99);
    const QString alphabet = QStringLiteral("<!->aAsSſ");
    struct Delimiteurs {
        QString debut, fin;
    };
    const Delimiteurs delimiteurs[] = {{"<!--", "-->"}, {"<!", "!>"}, {"aa", "a"},
                                       {"-", "--"},     {"<s", "s>"}, {"ss", "S"}};
    for (int essai = 0; essai < 20000; ++essai) {
        QString texte;
        const int n = int(alea.bounded(24));
        for (int k = 0; k < n; ++k)
            texte += alphabet[int(alea.bounded(int(alphabet.size())))];
        const Delimiteurs& d = delimiteurs[essai % 6];
        QString attendu = texte, obtenu = texte;
        SupprimeSegmentsNaif(attendu, d.debut, d.fin);
        SupprimeSegments(obtenu, d.debut, d.fin, false);
        ASSERT_EQ(obtenu, attendu) << texte.toStdString() << " " << d.debut.toStdString();
        // Ignoring case compares capitals.
        QString attenduMaj = texte.toUpper(), obtenuCasse = texte;
        SupprimeSegmentsNaif(attenduMaj, d.debut.toUpper(), d.fin.toUpper());
        SupprimeSegments(obtenuCasse, d.debut, d.fin, true);
        ASSERT_EQ(obtenuCasse.toUpper(), attenduMaj) << texte.toStdString();
    }
}

TEST(ExtraitLiens, NomsDesTypes) {
    const QStringList noms = {"Aucun lien",    "Frame HTML",  "Image",      "Appel Javascript",
                              "Image de fond", "Clic souris", "Redirection"};
    for (int k = 0; k < noms.size(); ++k)
        EXPECT_EQ(NomTypeLien(k), noms[k]);
    EXPECT_EQ(NomTypeLien(7), QString());
}
