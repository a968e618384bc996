// The archive reader and the extraction writer, on real tools' archives and hand-built ones.
#include <gtest/gtest.h>

#include <QStorageInfo>
#include <QTemporaryDir>
#include <random>

#include "download/Lectures.h"
#include "support/DossierMonte.h"
#include "support/EnregistreurMessages.h"
#include "zip/Archives_Ecriture.h"
#include "zip/Cls_CRC32Init.h"
#include "zip/Cls_Encrypt.h"
#include "zip/Cls_Zip.h"
#include "zip/DeflateZlib.h"

namespace {

QString Fixture(const QString& nom) { return CheminFixture("zip/" + nom); }
QList<bool> Tout(const Cls_Zip& z) { return QList<bool>(z.FileCount() + 1, true); }
const QDateTime kDateSource(QDate(2006, 4, 3), QTime(14, 25, 36));

// Compressible bytes that are not all alike.
QByteArray Octets(qint64 n, uint32_t graine) {
    std::mt19937 alea(graine);
    QByteArray o(n, '\0');
    for (char& c : o)
        c = "abcdefgh"[alea() % 8];
    return o;
}

// Appends v on n bytes, least significant first, as the format's records have it.
void Le(QByteArray& o, uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        o.append(char(v >> (8 * i)));
}

// An entry as stored (deflated or encrypted), then `trou` zero bytes left as a hole of the file.
struct EntreeBrute {
    QByteArray nom, octets;
    uint32_t crc = 0;
    uint64_t taille = 0; // decoded
    int methode = 0, drapeaux = 0;
    qint64 trou = 0;
};

// Hand-made archives, dated 2006-04-03 14:25:38: with Zip64 records, or the classic
// ones alone with the count cut to 16 bits as such a writer leaves it.
bool EcritArchive(const QString& chemin, const std::vector<EntreeBrute>& entrees, bool zip64) {
    QFile f(chemin);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray rep;
    const uint32_t plein = 0xFFFFFFFF;
    for (const EntreeBrute& e : entrees) {
        const uint64_t position = uint64_t(f.pos()), stocke = uint64_t(e.octets.size() + e.trou);
        // version, flags, method, time, date, CRC, sizes, name length, extra length
        QByteArray champs;
        Le(champs, zip64 ? 45 : 20, 2), Le(champs, uint32_t(e.drapeaux), 2), Le(champs, uint32_t(e.methode), 2);
        Le(champs, 0x7333, 2), Le(champs, 0x3483, 2), Le(champs, e.crc, 4), Le(champs, zip64 ? plein : stocke, 4);
        Le(champs, zip64 ? plein : e.taille, 4), Le(champs, uint32_t(e.nom.size()), 2);
        QByteArray local = "PK\x03\x04" + champs, extra;
        Le(local, zip64 ? 20 : 0, 2), Le(extra, 1, 2), Le(extra, 16, 2), Le(extra, e.taille, 8), Le(extra, stocke, 8);
        local += e.nom + (zip64 ? extra : QByteArray()) + e.octets;
        rep += "PK\x01\x02";
        Le(rep, zip64 ? 45 : 20, 2);
        rep += champs;
        Le(rep, zip64 ? 28 : 0, 2), Le(rep, 0, 6), Le(rep, 0, 4), Le(rep, zip64 ? plein : position, 4);
        Le(extra, position, 8), extra[2] = 24;
        rep += e.nom + (zip64 ? extra : QByteArray());
        if (f.write(local) != local.size() || !f.resize(f.pos() + e.trou) || !f.seek(f.size()))
            return false;
    }
    const uint64_t debut = uint64_t(f.pos()), n = entrees.size();
    QByteArray fin = rep;
    if (zip64) {
        Le(fin, 0x06064b50, 4), Le(fin, 44, 8), Le(fin, 45, 2), Le(fin, 45, 2), Le(fin, 0, 8), Le(fin, n, 8);
        Le(fin, n, 8), Le(fin, uint64_t(rep.size()), 8), Le(fin, debut, 8);
        Le(fin, 0x07064b50, 4), Le(fin, 0, 4), Le(fin, debut + uint64_t(rep.size()), 8), Le(fin, 1, 4);
    }
    Le(fin, 0x06054b50, 4), Le(fin, 0, 4), Le(fin, zip64 ? 0xFFFF : n & 0xFFFF, 2), Le(fin, zip64 ? 0xFFFF : n & 0xFFFF, 2);
    Le(fin, uint64_t(rep.size()), 4), Le(fin, zip64 ? plein : debut, 4), Le(fin, 0, 2);
    return f.write(fin) == fin.size();
}

// An entry of `contenu`, stored, or deflated by zlib.
EntreeBrute Entree(const QByteArray& nom, const QByteArray& contenu, bool deflate = false) {
    return {nom, deflate ? Deflate(contenu) : contenu, CalculeCRC32(0, contenu.constData(), size_t(contenu.size())),
            uint64_t(contenu.size()), deflate ? 8 : 0};
}

} // namespace

// Every entry decoded whole, or written as it is decoded.
class ModeExtraction : public testing::TestWithParam<qint64> {
protected:
    void SetUp() override { Cls_Zip::FixeSeuilFlux(GetParam()); }
    void TearDown() override { Cls_Zip::FixeSeuilFlux(qint64(1) << 20); }
};
INSTANTIATE_TEST_SUITE_P(EnMemoireEtEnFlux, ModeExtraction, testing::Values(qint64(1) << 40, qint64(0)));

// Every fixture: codes, messages, password question, and the whole tree written (nothing beside).
TEST_P(ModeExtraction, EveryFixtureExtractsAsExpected) {
    struct Cas {
        const char* archive;
        const char* motDePasse; // nullptr: no question expected
        short contenu, extraction;
        QStringList messages;
        QMap<QString, QByteArray> arbre;
        QString infos; // the comment, then the last entry's method and encryption
    };
    const QMap<QString, QByteArray> source = Arbre(Fixture("source")), rien;
    ASSERT_EQ(source.size(), 7);
    QMap<QString, QByteArray> altere = source; // the altered entry is still written, altered
    altere["texte.txt"][10] = char(altere["texte.txt"][10] ^ 0x20);
    const QStringList mdpFaux = {"Password is incorrect"};
    const QString repertoire = "Le répertoire de l'archive ne correspond pas à son nombre d'entrées";
    const QString nc = "|No Compression", ncChiffre = nc + "|chiffré";
    const Cas cas[] = {
        {"infozip_stored.zip", nullptr, 0, 0, {}, source, nc},
        {"infozip_deflate.zip", nullptr, 0, 0, {}, source, nc},
        {"infozip_comment.zip", nullptr, 0, 0, {}, source, "Commentaire de l'archive" + nc},
        {"infozip_password.zip", "secret", 0, 0, {}, source, ncChiffre},
        {"infozip_stream.zip", nullptr, 0, 0, {}, source, nc}, // sizes after the data
        {"infozip_stream_password.zip", "secret", 0, 0, {}, source, ncChiffre},
        {"infozip_stream_comment.zip", nullptr, 0, 0, {}, source, "Flux avec commentaire" + nc},
        {"7z_deflate.zip", nullptr, 0, 0, {}, source, nc},
        {"7z_deflate64.zip", nullptr, 0, 0, {}, source, nc},
        {"7z_zipcrypto.zip", "secret", 0, 0, {}, source, ncChiffre},
        {"bsdtar.zip", nullptr, 0, 0, {}, source, "|Deflated"},
        // Zip64: encrypted; end record with a comment; counts beyond the directory.
        {"infozip_zip64_password.zip", "secret", 0, 0, {}, source, ncChiffre},
        {"bsdtar_zip64_comment.zip", nullptr, 0, 0, {}, source, "Commentaire Zip64|Deflated"},
        {"zip64_compte_faux.zip", nullptr, 1, -10, {repertoire}, rien, "|"},
        // One stream behind three entries: refused before anything is written.
        {"chevauchement.zip", nullptr, 1, -10, {"Entrées qui se chevauchent dans l'archive"}, rien, "|"},
        {"sans_fin.zip", nullptr, 0, 0, {}, source, nc}, // no end record: local headers read
        {"infozip_password.zip", "faux", 0, -1, mdpFaux, rien, ncChiffre},
        {"infozip_stream_password.zip", "faux", 0, -1, mdpFaux, rien, ncChiffre},
        {"7z_zipcrypto.zip", "", 0, -1, mdpFaux, rien, ncChiffre}, // cancelled
        {"pas_une_archive.zip", nullptr, 1, -10, {}, rien, "|"},
        // Found by fuzzing: thousands of entries announced over an empty directory.
        {"regression_compte_repertoire.zip", nullptr, 1, -10, {repertoire}, rien, "|"},
        {"flux_sans_fin.zip", nullptr, 1, -10, {}, rien, "|"},
        {"vide.zip", nullptr, 0, -10, {}, rien, "|"},
        // Imploded and BZip2 entries are skipped, and the unpack is no success.
        {"methodes.zip", nullptr, 0, -10, {}, {{"stocke.txt", "stocke"}}, "|BZip2"},
        {"7z_bzip2.zip", nullptr, 0, -10, {}, rien, "|BZip2"},
        {"crc_altere.zip", nullptr, 0, 0, {"CRC calculation failed"}, altere, nc},
        {"enorme.zip", nullptr, 0, 0, {"Error in decompressed size"}, {{"enorme.bin", "peu"}}, "|Deflated"},
        // Five names refused: one box names them all.
        {"traversee.zip", nullptr, 0, -2,
         {"5 entrées de l'archive posent problème :\n\n../dehors.txt : error writing file\n/absolu.txt : error "
          "writing file\nC:/lecteur.txt : error writing file\na/../../remonte.txt : error writing file\n..\\\\contre.txt "
          ": error writing file"},
         {{"bon.txt", "oui"}}, "|Deflated"},
        {"7z_deflate64_long.zip", nullptr, 0, 0, {}, {}, "|Enhanced Deflating"}, // checked below
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.archive << " " << (c.motDePasse ? c.motDePasse : "-"));
        EnregistreurMessages rec;
        if (c.motDePasse && *c.motDePasse)
            rec.Saisit(c.motDePasse);
        QTemporaryDir racine;
        const QString dest = racine.filePath("dest");
        Cls_Zip zip;
        EXPECT_EQ(zip.Get_Contents(Fixture(c.archive)), c.contenu);
        const int n = zip.FileCount();
        const QString infos = zip.CommentsPack() + "|" + zip.Method(n) + (zip.Encrypted(n) ? "|chiffré" : "");
        EXPECT_EQ(infos.toStdString(), c.infos.toStdString());
        EXPECT_EQ(zip.UnPack(Tout(zip), dest), c.extraction);
        EXPECT_EQ(rec.Textes(), c.messages);
        EXPECT_EQ(rec.questions, c.motDePasse ? QStringList{"Give Password"} : QStringList());
        const QMap<QString, QByteArray> arbre = Arbre(dest);
        if (QString(c.archive) == "7z_deflate64_long.zip") { // far repeats (distance codes 30, 31)
            const QByteArray d = arbre.value("repete.bin");
            EXPECT_TRUE(d.size() == 66000 && d.left(33000) == d.mid(33000));
            continue;
        }
        EXPECT_TRUE(arbre == c.arbre) << arbre.keys().join(' ').toStdString();
        EXPECT_EQ(QDir(racine.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  c.arbre.isEmpty() ? QStringList() : QStringList{"dest"});
        EXPECT_TRUE(!c.arbre.contains("dossier/sous/note.txt") ||
                    QFileInfo(dest + "/dossier/sous/note.txt").lastModified() == kDateSource);
    }
}

// Windows-1252 names, a "/" name with data, folders out of the destination, selections
// (slot 0 required, unchosen entries left out), a read-only file replaced.
TEST_P(ModeExtraction, NamesFoldersSelectionAndReplacement) {
    EnregistreurMessages rec;
    QTemporaryDir dest;
    QByteArray octets = LitFichier(Fixture("infozip_stored.zip"));
    octets.replace("vide.txt", "vid\xe9.txt").replace("binaire.bin", "binaire.bi/");
    octets.replace("dossier/", "../doss/");
    ASSERT_TRUE(EcritFichier(dest.filePath("noms.zip"), octets));
    Cls_Zip zip;
    ASSERT_EQ(zip.Get_Contents(dest.filePath("noms.zip")), 0);
    const QString sortie = dest.filePath("sortie");
    EXPECT_EQ(zip.UnPack(QList<bool>(zip.FileCount(), true), sortie), -10);
    QList<bool> choix = Tout(zip);
    for (int i = 1; i <= zip.FileCount(); ++i)
        choix[i] = zip.FileName(i) != "../doss/sous/note.txt";
    ASSERT_TRUE(EcritFichier(sortie + "/texte.txt", "ancien"));
    QFile::setPermissions(sortie + "/texte.txt", QFileDevice::ReadOwner);
    EXPECT_EQ(zip.UnPack(choix, sortie + "/"), Cls_Zip::ZipIncomplete);
    EXPECT_EQ(rec.Textes(), QStringList{"2 entrées de l'archive posent problème :\n\n../doss/ : error writing "
                                        "file\n../doss/sous/ : error writing file"});
    EXPECT_EQ(zip.Raison(), "error writing file: ../doss/ ; error writing file: ../doss/sous/");
    EXPECT_FALSE(QFileInfo::exists(dest.filePath("doss")));
    QMap<QString, QByteArray> attendu = Arbre(Fixture("source"));
    attendu[QString::fromUtf8("vidé.txt")] = attendu.take("vide.txt");
    for (const char* d : {"dossier/sous/note.txt", "dossier/sous", "dossier"})
        attendu.remove(d);
    attendu.remove("binaire.bin");
    attendu["binaire.bi"] = "<dossier>";
    EXPECT_TRUE(Arbre(sortie) == attendu) << Arbre(sortie).keys().join(' ').toStdString();

    // Past twenty refused names, the box and the reason count the others.
    rec.messages.clear();
    std::vector<EntreeBrute> nombreux;
    for (int i = 0; i < 23; ++i)
        nombreux.push_back(Entree(QString::asprintf("../n%02d", i).toLatin1(), "x"));
    ASSERT_TRUE(EcritArchive(dest.filePath("nombreux.zip"), nombreux, false));
    ASSERT_EQ(zip.Get_Contents(dest.filePath("nombreux.zip")), 0);
    EXPECT_EQ(zip.UnPack(Tout(zip), dest.filePath("nombreux")), Cls_Zip::ZipIncomplete);
    const QStringList lignes = rec.Textes().join('|').split('\n');
    EXPECT_EQ(lignes.size(), 2 + 20 + 1);
    EXPECT_EQ(lignes[0] + lignes[22], "23 entrées de l'archive posent problème :… et 3 autres");
    EXPECT_TRUE(zip.Raison().endsWith("error writing file: ../n19 ; … et 3 autres"));
}

// Large entries, deflated or stored, clear or encrypted: every buffer goes round many times.
TEST_P(ModeExtraction, LargeEntriesEncryptedOrNot) {
    std::mt19937 alea(11);
    QByteArray aleatoire(3 << 20, '\0'), texte(5 << 20, '\0');
    for (char& o : aleatoire)
        o = char(alea());
    for (qsizetype k = 0; k < texte.size(); ++k) // repeats near and far, and fresh bytes
        texte[k] = k > 70000 && alea() % 4 ? texte[k - 1 - qsizetype(alea() % (alea() % 2 ? 8 : 60000))]
                                           : "abcdefgh \n"[alea() % 10];
    std::vector<EntreeBrute> brutes = {Entree("a/texte.txt", texte, true), Entree("aleatoire.bin", aleatoire, true),
                                       Entree("stocke.bin", aleatoire), Entree("clair.txt", texte, true),
                                       Entree("clair.bin", aleatoire)};
    const QByteArray* donnees[] = {&texte, &aleatoire, &aleatoire, &texte, &aleatoire};
    Cls_Encrypt chiffre;
    for (int i = 0; i < 3; ++i) { // the first three encrypted
        chiffre.ZipEncryptArray(brutes[i].octets, "secret", brutes[i].crc);
        brutes[i].drapeaux = 1;
    }

    EnregistreurMessages rec;
    rec.Saisit("secret");
    QTemporaryDir dest;
    ASSERT_TRUE(EcritArchive(dest.filePath("gros.zip"), brutes, false));
    Cls_Zip zip;
    ASSERT_EQ(zip.Get_Contents(dest.filePath("gros.zip")), 0);
    ASSERT_EQ(zip.FileCount(), 5);
    int appels = 0; // before each entry, and for each MiB written as it is decoded
    zip.FixeSuivi([&] { ++appels; });
    EXPECT_EQ(zip.UnPack(Tout(zip), dest.filePath("sortie")), 0);
    EXPECT_EQ(rec.Textes(), QStringList());
    if (GetParam() == 0)
        EXPECT_GE(appels, 5 + 19);
    else
        EXPECT_EQ(appels, 5);
    for (size_t i = 0; i < brutes.size(); ++i) {
        const QString chemin = dest.filePath("sortie/" + brutes[i].nom);
        EXPECT_TRUE(LitFichier(chemin) == *donnees[i]) << brutes[i].nom.constData();
        EXPECT_EQ(QFileInfo(chemin).lastModified(), QDateTime(QDate(2006, 4, 3), QTime(14, 25, 38)));
    }
}

// Patched fixtures: an unreachable local header; a refused table (the entry left compressed,
// with the checks that follow); a name flagged UTF-8 whose bytes are not.
TEST_P(ModeExtraction, ArchivesRetouchees) {
    const QMap<QString, QByteArray> source = Arbre(Fixture("source"));
    QByteArray injoignable = LitFichier(Fixture("infozip_stored.zip")), arbre = LitFichier(Fixture("infozip_deflate.zip"));
    ASSERT_EQ(injoignable.mid(30, 11), "binaire.bin");
    ASSERT_EQ(arbre.mid(30, 11), "binaire.bin");
    injoignable[2] = '\0';
    const int debut = 30 + uint8_t(arbre[26]) + 256 * uint8_t(arbre[27]) + uint8_t(arbre[28]) + 256 * uint8_t(arbre[29]);
    arbre.replace(debut, 4, QByteArray("\x05\0\0\0", 4));
    QMap<QString, QByteArray> sansBinaire = source, binaireCompresse = source, utf8 = source;
    sansBinaire.remove("binaire.bin");
    binaireCompresse["binaire.bin"] = arbre.mid(debut, 3316);
    utf8[QStringLiteral("caf\uFFFD_.txt")] = utf8.take(QStringLiteral("café.txt"));
    const struct {
        const char* nom;
        QByteArray octets;
        short resultat;
        QStringList messages;
        QString raison;
        QMap<QString, QByteArray> arbre;
    } cas[] = {
        {"injoignable", injoignable, Cls_Zip::ZipIncomplete, {"Error in zipfile"}, "Error in zipfile: binaire.bin",
         sansBinaire},
        {"table refusée", arbre, 0,
         {"Error in tree creation (Static)", "CRC calculation failed", "Error in decompressed size"}, "",
         binaireCompresse},
        {"drapeau UTF-8", LitFichier(Fixture("7z_deflate.zip")).replace("caf\xc3\xa9", "caf\xe9_"), 0, {}, "", utf8},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        EnregistreurMessages rec;
        QTemporaryDir dest;
        ASSERT_TRUE(EcritFichier(dest.filePath("a.zip"), c.octets));
        Cls_Zip zip;
        ASSERT_EQ(zip.Get_Contents(dest.filePath("a.zip")), 0);
        EXPECT_EQ(zip.UnPack(Tout(zip), dest.filePath("sortie")), c.resultat);
        EXPECT_EQ(rec.Textes(), c.messages);
        EXPECT_EQ(zip.Raison(), c.raison);
        EXPECT_TRUE(Arbre(dest.filePath("sortie")) == c.arbre) << Arbre(dest.filePath("sortie")).keys().join(' ');
    }
}

// The unpack's writer: folders made, both separators, a file or link replaced (never written
// through), the date set; then a folder that cannot be made, and TargetDirectory.
TEST(ExtractionWriter, EcrivainEntrees) {
    EnregistreurMessages rec;
    QTemporaryDir racine;
    ASSERT_TRUE(EcritFichier(racine.filePath("dehors.txt"), "dehors"));
    const QString dest = racine.filePath("dest");
    ASSERT_TRUE(QDir().mkpath(dest + "/a"));
    ASSERT_TRUE(QFile::link(racine.filePath("dehors.txt"), dest + "/a/lien.txt"));
    const uint16_t date = (26 << 9) | (4 << 5) | 3, heure = (14 << 11) | (25 << 5) | 18;
    {
        EcrivainEntrees e(dest);
        EXPECT_EQ(e.Ecrit("a/b/c.txt", "c", date, heure), 0);
        EXPECT_EQ(e.Ecrit("a\\d.txt", "d", date, heure), 0);
        EXPECT_EQ(e.Ecrit("a/lien.txt", "nouveau", date, heure), 0);
        EXPECT_EQ(e.Ecrit("a/b/c.txt", "c2", 0, 0), 0);
        EXPECT_NE(e.Ecrit("a/b", "x", date, heure), 0);
        EXPECT_EQ(e.Ecrit("../x", "x", date, heure), 1);
        EXPECT_EQ(e.Ecrit("e.txt", "e", date, heure), 0);
    }
    EXPECT_EQ(LitFichier(racine.filePath("dehors.txt")), "dehors");
    EXPECT_EQ(Arbre(dest), (QMap<QString, QByteArray>{{"a", "<dossier>"}, {"a/b", "<dossier>"}, {"a/b/c.txt", "c2"},
                                                       {"a/d.txt", "d"}, {"a/lien.txt", "nouveau"}, {"e.txt", "e"}}));
    EXPECT_EQ(QFileInfo(dest + "/e.txt").lastModified(), DosDateTimeToDate(date, heure));
    EXPECT_GT(QFileInfo(dest + "/a/b/c.txt").lastModified(), kDateSource);
    EXPECT_EQ(rec.Textes(), QStringList());
    EXPECT_FALSE(DosDateTimeToDate((26 << 9) | (13 << 5) | 3, 0).isValid()) << "month 13";
    // A folder that cannot be made: the setup message, then the write fails.
    ASSERT_TRUE(EcritFichier(racine.filePath("bouchon"), "x"));
    EXPECT_NE(WriteEntryFile("a/b.txt", racine.filePath("bouchon"), "x", 0, 0), 0);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].titre + "|" + rec.messages[0].texte,
              "SETUP|Error While Attempting to Create Directories on Destination Drive.");
    EXPECT_EQ(rec.messages[0].icone, IconeMessage::Exclamation);
    EXPECT_EQ(TargetDirectory("a\\b/c.txt"), "a/b/");
    EXPECT_EQ(TargetDirectory("c.txt"), QDir::currentPath() + "/");
}

// Zip64 records with a small count: read and written; the classic count cut below the
// directory refused whole. Then past 4 GiB on tmpfs: sizes and places only in Zip64 fields.
TEST(Zip64, ComptesEtTaillesZip64) {
    QTemporaryDir racine;
    std::vector<EntreeBrute> entrees = {Entree("a/un.txt", "un"), Entree("deux.txt", Octets(5000, 9), true),
                                        Entree("trois.txt", "trois")};
    ASSERT_TRUE(EcritArchive(racine.filePath("z64.zip"), entrees, true));
    ASSERT_TRUE(EcritArchive(racine.filePath("coupee.zip"), entrees, false));
    QByteArray coupee = LitFichier(racine.filePath("coupee.zip"));
    coupee[coupee.size() - 14] = coupee[coupee.size() - 12] = 2; // the end record's two counts
    ASSERT_TRUE(EcritFichier(racine.filePath("coupee.zip"), coupee));
    EnregistreurMessages rec;
    Cls_Zip zip;
    ASSERT_EQ(zip.Get_Contents(racine.filePath("z64.zip")), 0);
    ASSERT_EQ(zip.FileCount(), 3);
    EXPECT_EQ(zip.UnPack(Tout(zip), racine.filePath("sortie")), 0);
    EXPECT_EQ(Arbre(racine.filePath("sortie")),
              (QMap<QString, QByteArray>{{"a", "<dossier>"}, {"a/un.txt", "un"}, {"deux.txt", Octets(5000, 9)},
                                         {"trois.txt", "trois"}}));
    EXPECT_EQ(rec.Textes(), QStringList());
    EXPECT_EQ(zip.Get_Contents(racine.filePath("coupee.zip")), 1);
    EXPECT_EQ(zip.FileCount(), 0);
    EXPECT_EQ(rec.Textes(), QStringList{"Le répertoire de l'archive ne correspond pas à son nombre d'entrées"});
    // A classic count that is not full must be the Zip64 one: here the entries of this disk.
    QByteArray discordante = LitFichier(racine.filePath("z64.zip"));
    discordante[discordante.size() - 14] = 2;
    discordante[discordante.size() - 13] = 0;
    ASSERT_TRUE(EcritFichier(racine.filePath("discordante.zip"), discordante));
    rec.Vide();
    EXPECT_EQ(zip.Get_Contents(racine.filePath("discordante.zip")), 1);
    EXPECT_EQ(rec.Textes(), QStringList{"Le répertoire de l'archive ne correspond pas à son nombre d'entrées"});

    const qint64 grand = (qint64(4) << 30) + 100, zeros = (qint64(4) << 30) + (qint64(16) << 20);
    const QStorageInfo shm("/dev/shm");
    if (!shm.isValid() || shm.bytesAvailable() < zeros + (qint64(1) << 30))
        GTEST_SKIP() << "pas assez de place sur /dev/shm pour une entrée de 4 Gio";
    QTemporaryDir grande("/dev/shm/ramaglin-zip64-XXXXXX");
    ASSERT_TRUE(grande.isValid());
    const QByteArray bloc(16 << 20, '\0');
    uint32_t crc = 0;
    for (int i = 0; i < 257; ++i)
        crc = CalculeCRC32(crc, bloc.constData(), size_t(bloc.size()));
    entrees = {{"grand.bin", {}, 0, uint64_t(grand), 0, 0, grand},
               {"zeros.bin", Deflate(bloc, 257), crc, uint64_t(zeros), 8},
               Entree("apres.txt", "apres 4 Gio")};
    const QString archive = grande.filePath("creuse.zip"), sortie = grande.filePath("sortie");
    ASSERT_TRUE(EcritArchive(archive, entrees, true));
    rec.Vide();
    ASSERT_EQ(zip.Get_Contents(archive), 0);
    ASSERT_EQ(zip.FileCount(), 3);
    EXPECT_EQ(zip.Compressed_Size(1), uint64_t(grand));
    EXPECT_EQ(zip.UnCompressed_Size(2), uint64_t(zeros));
    QList<bool> choix(4, true);
    choix[1] = false;
    EXPECT_EQ(zip.UnPack(choix, sortie), 0);
    EXPECT_EQ(rec.Textes(), QStringList());
    EXPECT_EQ(QDir(sortie).entryList(QDir::Files), (QStringList{"apres.txt", "zeros.bin"}));
    EXPECT_EQ(QFileInfo(sortie + "/zeros.bin").size(), zeros);
    EXPECT_EQ(LitFichier(sortie + "/apres.txt"), "apres 4 Gio");
}

// A stop between entries, then inside a large one: earlier entries stay, the cut one goes.
TEST(Cls_Zip, ArretEntreEtDansLesEntrees) {
    QTemporaryDir racine;
    const QString archive = racine.filePath("a.zip");
    ASSERT_TRUE(EcritArchive(archive, {Entree("a.txt", "premier"), Entree("gros.bin", Octets(qint64(8) << 20, 5), true),
                                       Entree("z.txt", "dernier")}, false));
    // The progress callback: once before each entry, once per MiB written.
    for (const int arretAuAppel : {2, 5}) {
        SCOPED_TRACE(arretAuAppel);
        EnregistreurMessages rec;
        const QString sortie = racine.filePath(QString("sortie%1").arg(arretAuAppel));
        Cls_Zip zip;
        ASSERT_EQ(zip.Get_Contents(archive), 0);
        int appels = 0;
        zip.FixeSuivi([&] { ++appels; });
        zip.FixeArret([&] { return appels >= arretAuAppel; });
        EXPECT_EQ(zip.UnPack(Tout(zip), sortie), Cls_Zip::ZipStopped);
        EXPECT_EQ(Arbre(sortie), (QMap<QString, QByteArray>{{"a.txt", "premier"}}));
        EXPECT_EQ(rec.Textes(), QStringList());
        EXPECT_EQ(appels, arretAuAppel);
    }
}

// Free space bounds an unpack: the entry that would pass the margin is removed, with a message.
// Entries decoded as they are written (past the threshold), then whole in memory.
TEST(Cls_Zip, EspaceLibreDeLaDestination) {
    QTemporaryDir racine;
    const QString archive = racine.filePath("a.zip");
    ASSERT_TRUE(EcritArchive(archive, {Entree("un.bin", Octets(1536 << 10, 1), true),
                                       Entree("deux.bin", Octets(1536 << 10, 2), true),
                                       Entree("trois.bin", Octets(1536 << 10, 3), true), Entree("quatre.txt", "quatre")},
                             false));
    for (const qint64 seuil : {qint64(1) << 20, qint64(8) << 20}) {
        SCOPED_TRACE(seuil);
        Cls_Zip::FixeSeuilFlux(seuil);
        const QString sortie = racine.filePath(QString("petit%1").arg(seuil));
        QDir().mkpath(sortie);
        DossierMonte montage(sortie, DossierMonte::Tmpfs, 4 << 20);
        if (!montage.Erreur().isEmpty())
            GTEST_SKIP() << montage.Erreur().toStdString();
        EnregistreurMessages rec;
        Cls_Zip zip;
        ASSERT_EQ(zip.Get_Contents(archive), 0);
        EXPECT_EQ(zip.UnPack(Tout(zip), sortie), Cls_Zip::ZipIncomplete);
        EXPECT_EQ(rec.Textes(), QStringList{"Espace insuffisant sur le disque de destination"});
        EXPECT_EQ(zip.Raison(), "Espace insuffisant sur le disque de destination: trois.bin");
        EXPECT_EQ(Arbre(sortie).keys(), (QStringList{"deux.bin", "un.bin"}));
    }
    Cls_Zip::FixeSeuilFlux(qint64(1) << 20);
}
