// ZIP archive reader. Records read (little-endian, layouts of the published
// format):
//   end of central directory   PK\5\6  then 18 bytes: disk numbers (2+2),
//                              entries on this disk (2), entries (2), directory
//                              size (4), directory offset (4), comment length (2)
//   central directory header   PK\1\2  then 42 bytes (fields of Entree, in order)
//                              then name, extra field, comment
//   local file header          PK\3\4  then 26 bytes: versions, flags, method,
//                              time, date, CRC, sizes, name and extra lengths
//   data descriptor            PK\7\8  then 12 bytes: CRC, sizes
//   Zip64 end locator          PK\6\7  just before the end record: disk (4),
//                              offset of the Zip64 end record (8), disks (4)
//   Zip64 end record           PK\6\6  then record size (8), versions (2+2),
//                              disks (4+4), entries on this disk (8), entries
//                              (8), directory size (8), directory offset (8)
//   Zip64 extra field          id 1 in a header's extra field: uncompressed
//                              size, compressed size, local header offset (8
//                              each), disk (4), only those whose own field is
//                              full, in that order
// Multi-disk archives are not read.
#include "zip/Cls_Zip.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <limits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "util/Fonctions_Messages.h"
#include "util/Fonctions_Texte.h"
#include "zip/Archives_Decomp.h"
#include "zip/Archives_Ecriture.h"
#include "zip/Archives_Init.h"
#include "zip/Cls_CRC32Init.h"
#include "zip/Cls_Encrypt.h"

namespace {

constexpr uint32_t kSignatureFin = 0x06054b50;
constexpr uint32_t kSignatureCentrale = 0x02014b50;
constexpr uint32_t kSignatureLocale = 0x04034b50;
constexpr uint32_t kSignatureDescripteur = 0x08074b50;
constexpr uint32_t kSignatureFin64 = 0x06064b50;
constexpr uint32_t kSignatureLocalisateur64 = 0x07064b50;
constexpr qint64 kTailleFin64 = 56;
constexpr qint64 kTailleLocalisateur64 = 20;
constexpr qint64 kTailleCentrale = 46;
constexpr uint32_t kPlein32 = 0xFFFFFFFF;
constexpr uint16_t kPlein16 = 0xFFFF;
constexpr qint64 kTailleFin = 22;
constexpr qint64 kCommentaireMax = 0xFFFF;

inline uint16_t Lit16(const char* p) {
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}
inline uint32_t Lit32(const char* p) {
    return static_cast<uint32_t>(Lit16(p)) | (static_cast<uint32_t>(Lit16(p + 2)) << 16);
}
inline uint64_t Lit64(const char* p) {
    return static_cast<uint64_t>(Lit32(p)) | (static_cast<uint64_t>(Lit32(p + 4)) << 32);
}

// The Zip64 extra field (id 1) of a header: it holds, in this order, the
// uncompressed size, the compressed size, the local header offset and the
// disk, but only those whose own field is full. False when one of them is
// missing: the entry cannot be placed.
bool LitZip64(const QByteArray& extra, uint64_t* non, uint64_t* comp, uint64_t* offset, uint32_t* disque) {
    const char* p = extra.constData();
    qsizetype i = 0;
    while (i + 4 <= extra.size()) {
        const uint16_t id = Lit16(p + i);
        const qsizetype n = Lit16(p + i + 2);
        i += 4;
        if (i + n > extra.size())
            break;
        if (id == 0x0001) {
            qsizetype k = i;
            const qsizetype fin = i + n;
            for (uint64_t* champ : {non, comp, offset}) {
                if (!champ)
                    continue;
                if (k + 8 > fin)
                    return false;
                *champ = Lit64(p + k);
                k += 8;
            }
            if (disque) {
                if (k + 4 > fin)
                    return false;
                *disque = Lit32(p + k);
            }
            return true;
        }
        i += n;
    }
    return !non && !comp && !offset && !disque;
}

// Reads an archive the way its records are followed: a read past the end of the
// file gives zero bytes, as if the file went on with zeros. Small reads (records,
// names) are served from a window of the file so that a directory of many
// entries costs a few system calls, not several per entry.
class Lecteur {
public:
    explicit Lecteur(QFile& f) : f_(f), taille_(f.size()) {}
    qint64 Taille() const { return taille_; }
    QByteArray Lit(qint64 position, qint64 n) {
        QByteArray octets(static_cast<qsizetype>(n), '\0');
        if (position < 0 || position >= taille_ || n <= 0)
            return octets;
        const qint64 dispo = std::min(n, taille_ - position);
        if (dispo <= kFenetre / 2) {
            if (position < debutFenetre_ || position + dispo > debutFenetre_ + fenetre_.size()) {
                fenetre_.clear();
                debutFenetre_ = position;
                if (f_.seek(position))
                    fenetre_ = f_.read(std::min(kFenetre, taille_ - position));
                if (fenetre_.size() < dispo)
                    return octets;
            }
            std::memcpy(octets.data(), fenetre_.constData() + (position - debutFenetre_),
                        static_cast<size_t>(dispo));
        } else if (f_.seek(position)) {
            f_.read(octets.data(), dispo);
        }
        return octets;
    }
    // Only the bytes that exist: never reserves more than the file holds.
    QByteArray LitExistant(qint64 position, qint64 n) {
        if (position < 0 || position >= taille_ || n <= 0)
            return QByteArray();
        const qint64 dispo = std::min(n, taille_ - position);
        if (dispo <= kFenetre / 2)
            return Lit(position, dispo);
        // Read into a buffer on large pages: an entry's bytes are written once.
        QByteArray octets(static_cast<qsizetype>(dispo), Qt::Uninitialized);
        ConseillePagesLarges(octets.data(), size_t(dispo));
        const qint64 lu = f_.seek(position) ? f_.read(octets.data(), dispo) : 0;
        octets.resize(static_cast<qsizetype>(std::max<qint64>(lu, 0)));
        return octets;
    }

private:
    static constexpr qint64 kFenetre = 1 << 16;
    QFile& f_;
    qint64 taille_;
    QByteArray fenetre_;
    qint64 debutFenetre_ = 0;
};

// Names and comments: UTF-8 when the entry says so (flag bit 11) or when the bytes
// are valid UTF-8, Windows-1252 otherwise.
QString DecodeNom(const QByteArray& octets, uint16_t flags) {
    if (flags & 0x0800)
        return QString::fromUtf8(octets);
    return DecodeTexte(octets);
}

// Looks for the end record from the end of the file, over the largest possible
// comment, so that archives with a comment are read from their directory too. A
// record whose comment reaches exactly the end of the file is preferred; one
// followed by stray bytes is taken when its directory offset is plausible.
qint64 ChercheFin(Lecteur& l) {
    const qint64 taille = l.Taille();
    const qint64 debut = std::max<qint64>(0, taille - kTailleFin - kCommentaireMax);
    const QByteArray queue = l.Lit(debut, taille - debut);
    const char* q = queue.constData();
    qint64 plausible = -1;
    for (qint64 i = queue.size() - kTailleFin; i >= 0; --i) {
        if (Lit32(q + i) != kSignatureFin)
            continue;
        const qint64 position = debut + i;
        const qint64 finCommentaire = position + kTailleFin + Lit16(q + i + 20);
        const qint64 offsetRepertoire = Lit32(q + i + 16);
        if (offsetRepertoire > position && offsetRepertoire != kPlein32) // full: the Zip64 record has it
            continue;
        if (finCommentaire == taille)
            return position;
        if (finCommentaire < taille && plausible < 0)
            plausible = position;
    }
    return plausible;
}

const char* const kMessageErreurZip = "Error in zipfile";
const char* const kMessageRepertoire = "Le répertoire de l'archive ne correspond pas à son nombre d'entrées";
const char* const kMessageZip64 = "Enregistrements Zip64 incohérents dans l'archive";
const char* const kMessageChevauchement = "Entrées qui se chevauchent dans l'archive";
const char* const kMessagePlein = "Espace insuffisant sur le disque de destination";
// The entries named in one box at most; the rest are counted.
constexpr int kEntreesMontrees = 20;

} // namespace

Cls_Zip::Cls_Zip() = default;
Cls_Zip::~Cls_Zip() = default;

short Cls_Zip::Get_Contents(const QString& ZipName) {
    ReinitialiseArchive();
    entrees_.clear();
    raison_.clear();
    ArchiveZip.Chemin = ZipName;

    QFile fichier(ZipName);
    if (!fichier.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return ZipUnreadable;
    Lecteur l(fichier);
    if (l.Taille() < kTailleFin)
        return ZipUnreadable;

    qint64 position = 0;
    qint64 nombre = 0;
    const qint64 fin = ChercheFin(l);
    if (fin >= 0) {
        const QByteArray record = l.Lit(fin, kTailleFin);
        const char* r = record.constData();
        nombre = Lit16(r + 8);
        position = Lit32(r + 16);
        ArchiveZip.Commentaire = DecodeTexte(l.LitExistant(fin + kTailleFin, Lit16(r + 20)));
        // Past 65,535 entries or 4 GiB the end record's fields are full (or
        // cut) and the Zip64 end record, found through its locator just
        // before, holds the real ones. A field that is not full must agree
        // with it: two counts for one directory are a forged archive.
        const QByteArray loc = l.Lit(fin - kTailleLocalisateur64, kTailleLocalisateur64);
        if (fin >= kTailleLocalisateur64 && Lit32(loc.constData()) == kSignatureLocalisateur64) {
            const uint64_t position64 = Lit64(loc.constData() + 8);
            if (position64 > uint64_t(fin - kTailleLocalisateur64 - kTailleFin64))
                return Illisible(kMessageZip64);
            const QByteArray r64 = l.Lit(qint64(position64), kTailleFin64);
            const uint64_t nombre64 = Lit64(r64.constData() + 24);
            const uint64_t offset64 = Lit64(r64.constData() + 48);
            if (Lit32(r64.constData()) != kSignatureFin64)
                return Illisible(kMessageZip64);
            if (nombre64 != Lit64(r64.constData() + 32) || (nombre != kPlein16 && uint64_t(nombre) != nombre64) ||
                (Lit16(r + 10) != kPlein16 && Lit16(r + 10) != nombre64))
                return Illisible(kMessageRepertoire);
            if ((uint32_t(position) != kPlein32 && uint64_t(position) != offset64) || offset64 > position64)
                return Illisible(kMessageZip64);
            nombre = qint64(std::min<uint64_t>(nombre64, uint64_t(1) << 40));
            position = qint64(offset64);
        }
    } else {
        // No end record: follow the local headers from the start of the file up
        // to the directory, counting entries. Sizes come from the local headers,
        // so archives written as a stream (sizes in data descriptors) stop here.
        for (;;) {
            const uint32_t signature = Lit32(l.Lit(position, 4).constData());
            if (signature == kSignatureLocale) {
                const QByteArray h = l.Lit(position + 4, 26);
                const uint16_t lNom = Lit16(h.constData() + 22), lExtra = Lit16(h.constData() + 24);
                uint64_t compresse = Lit32(h.constData() + 14);
                // A local Zip64 field holds both sizes when either is full.
                if (compresse == kPlein32 || Lit32(h.constData() + 18) == kPlein32) {
                    uint64_t non = 0;
                    if (!LitZip64(l.Lit(position + 30 + lNom, lExtra), &non, &compresse, nullptr, nullptr))
                        return ZipUnreadable;
                }
                if (compresse > uint64_t(l.Taille()))
                    return ZipUnreadable;
                position += 30 + qint64(lNom) + lExtra + qint64(compresse);
                ++nombre;
            } else if (signature == kSignatureDescripteur) {
                position += 16;
            } else if (signature == kSignatureCentrale) {
                break;
            } else {
                return ZipUnreadable;
            }
        }
    }
    if (nombre == 0)
        return ZipOk;
    // Never more entries than the bytes from the directory on could hold.
    if (position < 0 || position > l.Taille() || nombre > (l.Taille() - position) / kTailleCentrale ||
        nombre > std::numeric_limits<int>::max())
        return Illisible(kMessageRepertoire);

    ArchiveZip.NbEntrees = static_cast<int>(nombre);
    ArchiveZip.RepertoireCharge = true;
    entrees_.resize(static_cast<size_t>(nombre));
    for (Entree& e : entrees_) {
        // A directory that does not hold the records its count announces is
        // refused as a whole: a damaged count would otherwise extract the same
        // bytes thousands of times, with a message for each.
        if (Lit32(l.Lit(position, 4).constData()) != kSignatureCentrale)
            return Illisible(kMessageRepertoire);
        const QByteArray h = l.Lit(position + 4, 42);
        const char* p = h.constData();
        e.versionMadeBy = Lit16(p + 0);
        e.versionNeeded = Lit16(p + 2);
        e.flags = Lit16(p + 4);
        e.method = Lit16(p + 6);
        e.dosTime = Lit16(p + 8);
        e.dosDate = Lit16(p + 10);
        e.crc32 = Lit32(p + 12);
        e.compressedSize = Lit32(p + 16);
        e.uncompressedSize = Lit32(p + 20);
        const uint32_t lNom = LongueurNonSignee(static_cast<int16_t>(Lit16(p + 24)));
        const uint32_t lExtra = LongueurNonSignee(static_cast<int16_t>(Lit16(p + 26)));
        const uint32_t lCommentaire = LongueurNonSignee(static_cast<int16_t>(Lit16(p + 28)));
        e.diskStart = Lit16(p + 30);
        e.internalAttributes = Lit16(p + 32);
        e.externalAttributes = Lit32(p + 34);
        e.localHeaderOffset = Lit32(p + 38);
        position += 46;
        if (lNom)
            e.fileName = DecodeNom(l.Lit(position, lNom), e.flags);
        position += lNom;
        if (lExtra)
            e.extraField = l.Lit(position, lExtra);
        position += lExtra;
        if (e.uncompressedSize == kPlein32 || e.compressedSize == kPlein32 || e.localHeaderOffset == kPlein32 ||
            e.diskStart == kPlein16) {
            if (!LitZip64(e.extraField, e.uncompressedSize == kPlein32 ? &e.uncompressedSize : nullptr,
                          e.compressedSize == kPlein32 ? &e.compressedSize : nullptr,
                          e.localHeaderOffset == kPlein32 ? &e.localHeaderOffset : nullptr,
                          e.diskStart == kPlein16 ? &e.diskStart : nullptr))
                return Illisible(kMessageZip64);
            // Sizes beyond what a file can hold are not sizes.
            const uint64_t plafond = uint64_t(1) << 62;
            if (e.uncompressedSize > plafond || e.compressedSize > plafond || e.localHeaderOffset > plafond)
                return Illisible(kMessageZip64);
        }
        if (lCommentaire)
            e.fileComment = DecodeNom(l.Lit(position, lCommentaire), e.flags);
        position += lCommentaire;
    }
    // Entries whose bytes overlap (one small stream behind many entries, each
    // declaring gigabytes) are how an archive writes far more than it holds:
    // no writer makes them.
    {
        std::vector<std::pair<uint64_t, uint64_t>> etendues;
        etendues.reserve(entrees_.size());
        for (const Entree& e : entrees_)
            etendues.emplace_back(e.localHeaderOffset, e.localHeaderOffset + 30 + e.compressedSize);
        std::sort(etendues.begin(), etendues.end());
        for (size_t k = 1; k < etendues.size(); ++k)
            if (etendues[k].first < etendues[k - 1].second)
                return Illisible(kMessageChevauchement);
    }
    // More records than the count: a count cut to 16 bits by a writer that
    // left out the Zip64 records. Part of an archive is never offered as all
    // of it.
    if (Lit32(l.Lit(position, 4).constData()) == kSignatureCentrale)
        return Illisible(kMessageRepertoire);
    if (fin < 0) {
        // The end record that follows the directory carries the archive comment.
        const QByteArray record = l.Lit(position, kTailleFin);
        if (Lit32(record.constData()) == kSignatureFin)
            ArchiveZip.Commentaire =
                DecodeTexte(l.LitExistant(position + kTailleFin, Lit16(record.constData() + 20)));
    }
    return ZipOk;
}

short Cls_Zip::UnPack(const QList<bool>& ZippedFile, const QString& ToPath) {
    const int nombre = FileCount();
    if (nombre == 0 || ZippedFile.size() - 1 != nombre)
        return ZipNothingToExtract;
    ArchiveZip.Donnees.clear();

    QFile fichier(ArchiveZip.Chemin);
    if (!fichier.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        MsgBox(QString::fromUtf8(kMessageErreurZip));
        return ZipNothingToExtract;
    }
    Lecteur l(fichier);
    if (!crc_)
        crc_ = std::make_unique<Cls_CRC32Init>();

    short resultat = ZipOk;
    ecrivain_ = std::make_unique<EcrivainEntrees>(ToPath);
    incomplet_ = arrete_ = plein_ = false;
    raison_.clear();
    problemes_.clear();
    echecs_.clear();
    // What this unpack may write: the sizes declared for the selection, and
    // the free space of the destination less a margin for everything else.
    uint64_t declare = 0;
    for (int i = 1; i <= nombre; ++i)
        if (ZippedFile[i])
            declare += entrees_[static_cast<size_t>(i - 1)].uncompressedSize;
    const qint64 libre = EspaceLibre(ToPath);
    restant_ = std::max<qint64>(0, std::min<qint64>(qint64(std::min<uint64_t>(declare, uint64_t(1) << 62)),
                                                    libre - std::min<qint64>(libre / 20, qint64(64) << 20)));
    QString motDePasse;
    for (int i = 1; i <= nombre; ++i) {
        if (!ZippedFile[i])
            continue;
        if (suivi_)
            suivi_();
        if (ArretDemande()) {
            arrete_ = true;
            break;
        }
        const Entree& e = entrees_[static_cast<size_t>(i - 1)];

        // A name leaving the folder is refused before any of its bytes is read.
        if (NomHorsDestination(e.fileName)) {
            Echec(QStringLiteral("error writing file"), e.fileName);
            continue;
        }
        if (IsDir(i)) {
            QString chemin = ToPath;
            if (!chemin.endsWith(QLatin1Char('\\')) && !chemin.endsWith(QLatin1Char('/')))
                chemin += PathSeparator();
            if (!CreateDirectories(chemin + e.fileName))
                Echec(QString(), e.fileName); // the folder message was shown
            continue;
        }

        const QByteArray locale = l.Lit(qint64(e.localHeaderOffset), 30);
        // The size comes from the directory: tools that write archives as a
        // stream leave it 0 in the local header. An entry whose bytes the file
        // does not hold whole cannot be extracted.
        qint64 debut = qint64(e.localHeaderOffset) + 30 + Lit16(locale.constData() + 26) +
                       Lit16(locale.constData() + 28);
        if (Lit32(locale.constData()) != kSignatureLocale || debut > l.Taille() ||
            e.compressedSize > uint64_t(l.Taille() - debut)) {
            Echec(QString::fromUtf8(kMessageErreurZip), e.fileName);
            continue;
        }
        qint64 longueur = qint64(e.compressedSize);

        const bool chiffre = e.flags & 0x0001;
        if (chiffre) {
            if (motDePasse.isEmpty())
                motDePasse = InputBox(QStringLiteral("Give Password"), QStringLiteral("Password requered"));
            bool bon = !motDePasse.isEmpty() && longueur >= 12;
            if (bon) {
                if (!chiffre_)
                    chiffre_ = std::make_unique<Cls_Encrypt>();
                QByteArray entete = l.LitExistant(debut, 12);
                chiffre_->ZipPrepareKey(entete, motDePasse);
                // Entries written with a data descriptor had no CRC yet when
                // their header was made: their check byte is the high byte of
                // the DOS time.
                const uint8_t attendu = (e.flags & 0x0008) ? static_cast<uint8_t>(e.dosTime >> 8)
                                                           : static_cast<uint8_t>(e.crc32 >> 24);
                bon = static_cast<uint8_t>(entete[11]) == attendu;
            }
            if (!bon) {
                fichier.close();
                ArchiveZip.Donnees.clear();
                ecrivain_.reset();
                Conclut();
                MsgBox(QStringLiteral("Password is incorrect"));
                raison_ = QStringLiteral("Password is incorrect");
                return ZipBadPassword;
            }
            debut += 12;
            longueur -= 12;
        }

        switch (e.method) {
        case 0:
        case 8:
        case 9:
            break;
        default:
            // Not decoded here (imploded, BZip2, ...): skipped without a word,
            // and the unpack is not a success.
            resultat = ZipNothingToExtract;
            continue;
        }

        // A stored entry gives no more than it declares either.
        const qint64 taille = e.method == 0 ? std::min(longueur, qint64(e.uncompressedSize)) : qint64(e.uncompressedSize);
        // A large entry goes to its file as it is decoded, through buffers kept
        // from one entry to the next; where its file cannot be opened quietly,
        // it takes the path of a small one, which says why. Large compressed
        // data declaring a small size goes the same way: it is read in pieces,
        // not whole, and decoding stops at the declared size.
        if ((taille > seuilFlux_ || longueur > seuilFlux_) &&
            ExtraitEnFlux(e, ToPath, fichier, debut, longueur, motDePasse)) {
            if (arrete_ || plein_)
                break;
            continue;
        }

        ArchiveZip.Donnees = l.LitExistant(debut, e.method == 0 ? taille : longueur);
        QByteArray& donnees = ArchiveZip.Donnees;
        if (chiffre)
            chiffre_->ZipDecryptArray(donnees);
        if (e.method != 0)
            Inflate(donnees, qint64(e.uncompressedSize) - 1, e.method == 9);
        else if (donnees.size() > taille)
            donnees.truncate(static_cast<qsizetype>(taille));
        if (donnees.size() > restant_) {
            Plein(e.fileName);
            break;
        }
        restant_ -= donnees.size();
        EcritEntree(e);
    }
    fichier.close();
    ArchiveZip.Donnees.clear();
    ecrivain_.reset();
    if (resultat == ZipOk && incomplet_)
        resultat = ZipIncomplete;
    Conclut();
    if (arrete_) {
        resultat = ZipStopped;
        raison_ = QStringLiteral("extraction arrêtée");
    }
    return resultat;
}

namespace {

// The compressed bytes of an entry, read from the archive in pieces.
class SourceArchive final : public SourceInflate {
public:
    SourceArchive(QFile& f, qint64 debut, qint64 longueur) : f_(f), restant_(f.seek(debut) ? longueur : 0) {}
    size_t Lit(uint8_t* octets, size_t n) override {
        const qint64 lu =
            restant_ > 0 ? f_.read(reinterpret_cast<char*>(octets), std::min<qint64>(qint64(n), restant_)) : 0;
        if (lu <= 0)
            return 0;
        restant_ -= lu;
        return size_t(lu);
    }

private:
    QFile& f_;
    qint64 restant_;
};

// The same for an encrypted entry, read and decrypted ahead on a thread of its
// own: the key chain runs at about 115 MB/s, byte after byte, and would
// otherwise come on top of the decoding and the writing instead of beside
// them. Four blocks of 256 KiB go round between the two threads; the archive
// file and the cipher belong to the reading thread until the source is gone.
class SourceDechiffree final : public SourceInflate {
public:
    SourceDechiffree(QFile& f, qint64 debut, qint64 longueur, Cls_Encrypt& chiffre)
        : f_(f), restant_(f.seek(debut) ? longueur : 0), chiffre_(chiffre), lecteur_([this] { Lecture(); }) {}
    ~SourceDechiffree() override {
        {
            std::lock_guard<std::mutex> verrou(m_);
            arret_ = true;
        }
        cv_.notify_all();
        lecteur_.join();
    }
    size_t Lit(uint8_t* octets, size_t n) override {
        if (!courant_) {
            std::unique_lock<std::mutex> verrou(m_);
            cv_.wait(verrou, [&] { return prets_ > 0 || fini_; });
            if (prets_ == 0)
                return 0;
            courant_ = &blocs_[premier_];
            pos_ = 0;
        }
        const size_t m = std::min(n, courant_->taille - pos_);
        std::memcpy(octets, courant_->octets.get() + pos_, m);
        pos_ += m;
        if (pos_ == courant_->taille) {
            courant_ = nullptr;
            {
                std::lock_guard<std::mutex> verrou(m_);
                premier_ = (premier_ + 1) % kBlocs;
                --prets_;
            }
            cv_.notify_all();
        }
        return m;
    }

private:
    static constexpr size_t kBlocs = 4;
    static constexpr qint64 kTailleBloc = qint64(256) << 10;
    struct Bloc {
        std::unique_ptr<char[]> octets{new char[kTailleBloc]};
        size_t taille = 0;
    };

    // Fills the free blocks in turn; the block being read by Lit still counts
    // among the ready ones, so it is never written.
    void Lecture() {
        size_t suivant = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> verrou(m_);
                cv_.wait(verrou, [&] { return prets_ < kBlocs || arret_; });
                if (arret_)
                    return;
            }
            Bloc& b = blocs_[suivant];
            const qint64 lu = restant_ > 0 ? f_.read(b.octets.get(), std::min(kTailleBloc, restant_)) : 0;
            if (lu > 0) {
                chiffre_.ZipDecryptArray(b.octets.get(), size_t(lu));
                restant_ -= lu;
                b.taille = size_t(lu);
            }
            {
                std::lock_guard<std::mutex> verrou(m_);
                if (lu > 0)
                    ++prets_;
                else
                    fini_ = true;
            }
            cv_.notify_all();
            if (lu <= 0)
                return;
            suivant = (suivant + 1) % kBlocs;
        }
    }

    QFile& f_;
    qint64 restant_;
    Cls_Encrypt& chiffre_;
    Bloc blocs_[kBlocs];
    Bloc* courant_ = nullptr;
    size_t pos_ = 0;
    std::mutex m_;
    std::condition_variable cv_;
    size_t premier_ = 0, prets_ = 0; // under m_
    bool fini_ = false, arret_ = false; // under m_
    std::thread lecteur_; // last: starts once everything above is ready
};

// The entry's file: every byte goes to the CRC and the count; a write error is
// kept for the end, when the checks have spoken.
// Writing stops, for good, when the unpack's allowance is spent or the stop is
// asked; the source then runs dry so that the decoder ends at once.
class PuitsFichier final : public PuitsInflate {
public:
    PuitsFichier(QFile& f, const std::function<void()>& suivi, const std::function<bool()>& arret,
                 qint64& restant)
        : f_(f), suivi_(suivi), arret_(arret), restant_(restant) {}
    void Ecrit(const uint8_t* octets, size_t n) override {
        if (Coupe())
            return;
        if (qint64(n) > restant_) {
            plein_ = true;
            return;
        }
        restant_ -= qint64(n);
        crc_ = CalculeCRC32(crc_, octets, n);
        taille_ += qint64(n);
        if (!erreur_)
            erreur_ = f_.write(reinterpret_cast<const char*>(octets), qint64(n)) != qint64(n);
        if (suivi_)
            suivi_();
        arrete_ = arret_ && arret_();
    }
    uint32_t Crc() const { return crc_; }
    qint64 Taille() const { return taille_; }
    bool Erreur() const { return erreur_; }
    bool Arrete() const { return arrete_; }
    bool Plein() const { return plein_; }
    bool Coupe() const { return arrete_ || plein_; }

private:
    QFile& f_;
    const std::function<void()>& suivi_;
    const std::function<bool()>& arret_;
    qint64& restant_;
    uint32_t crc_ = 0;
    qint64 taille_ = 0;
    bool erreur_ = false, arrete_ = false, plein_ = false;
};

class SourceCoupee final : public SourceInflate {
public:
    SourceCoupee(SourceInflate& source, const PuitsFichier& puits) : source_(source), puits_(puits) {}
    size_t Lit(uint8_t* octets, size_t n) override { return puits_.Coupe() ? 0 : source_.Lit(octets, n); }

private:
    SourceInflate& source_;
    const PuitsFichier& puits_;
};

} // namespace

bool Cls_Zip::ExtraitEnFlux(const Entree& e, const QString& ToPath, QFile& archive, qint64 debut,
                            qint64 longueur, const QString& motDePasse) {
    QFile sortie;
    if (OuvreFichierEntree(e.fileName, ToPath, sortie) != 0)
        return false;
    const bool chiffre = e.flags & 0x0001;
    PuitsFichier puits(sortie, suivi_, arret_, restant_);
    bool arbre = false;
    {
        std::optional<SourceArchive> clair;
        std::optional<SourceDechiffree> dechiffre;
        SourceInflate* source;
        if (chiffre)
            source = &dechiffre.emplace(archive, debut, longueur, *chiffre_);
        else
            source = &clair.emplace(archive, debut, longueur);
        SourceCoupee coupee(*source, puits);
        if (e.method == 0) {
            if (!tampon_)
                tampon_ = std::make_unique<uint8_t[]>(kTailleTampon);
            qint64 reste = std::min(longueur, qint64(e.uncompressedSize));
            while (reste > 0) {
                const size_t n = coupee.Lit(tampon_.get(), size_t(std::min<qint64>(reste, qint64(kTailleTampon))));
                if (n == 0)
                    break;
                puits.Ecrit(tampon_.get(), n);
                reste -= qint64(n);
            }
        } else {
            if (!inflateur_)
                inflateur_ = std::make_unique<InflateurFlux>();
            arbre = inflateur_->Decode(coupee, puits, qint64(e.uncompressedSize) - 1, e.method == 9).arbreInvalide;
        }
    }
    if (puits.Coupe()) {
        // The entry cut short is not left as if it were whole.
        sortie.close();
        sortie.remove();
        if (puits.Plein())
            Plein(e.fileName);
        else
            arrete_ = true;
        return true;
    }
    std::optional<PuitsFichier> brut;
    if (arbre) {
        // The decoder gave up on a table: the entry is written as it was,
        // still compressed (decrypted again from its header).
        QByteArray donnees;
        if (archive.seek(debut - (chiffre ? 12 : 0)))
            donnees = archive.read(longueur + (chiffre ? 12 : 0));
        if (chiffre) {
            chiffre_->ZipPrepareKey(donnees, motDePasse);
            donnees.remove(0, 12);
            chiffre_->ZipDecryptArray(donnees);
        }
        sortie.resize(0);
        sortie.seek(0);
        brut.emplace(sortie, suivi_, arret_, restant_);
        brut->Ecrit(reinterpret_cast<const uint8_t*>(donnees.constData()), size_t(donnees.size()));
        if (brut->Plein()) {
            sortie.close();
            sortie.remove();
            Plein(e.fileName);
            return true;
        }
    }
    const PuitsFichier& ecrit = brut ? *brut : puits;
    Signale(e, ecrit.Crc(), ecrit.Taille());
    if (ecrit.Erreur() || TermineFichierEntree(sortie, e.dosDate, e.dosTime) != 0)
        Echec(QStringLiteral("error writing file"), e.fileName);
    return true;
}

// The checks of an extracted entry against the directory. They only warn: the
// file is written whatever they say.
void Cls_Zip::Signale(const Entree& e, uint32_t crc, qint64 taille) {
    if (taille == 0) {
        if (e.crc32 != 0)
            problemes_.push_back({QStringLiteral("CRC error"), e.fileName});
    } else if (crc != e.crc32) {
        problemes_.push_back({QStringLiteral("CRC calculation failed"), e.fileName});
    }
    if (qint64(e.uncompressedSize) != taille)
        problemes_.push_back({QStringLiteral("Error in decompressed size"), e.fileName});
}

// Checks the extracted data against the directory, then writes it.
bool Cls_Zip::EcritEntree(const Entree& e) {
    const QByteArray& donnees = ArchiveZip.Donnees;
    Signale(e, donnees.isEmpty() ? 0 : crc_->CalcCRC32File(donnees), LongueurDonnees());
    if (ecrivain_->Ecrit(e.fileName, donnees, e.dosDate, e.dosTime) == 0)
        return true;
    Echec(QStringLiteral("error writing file"), e.fileName);
    return false;
}

// An entry of the unpack is lost: its message (none when the folder message
// was shown already) and its reason kept for the end, and no success.
void Cls_Zip::Echec(const QString& message, const QString& nom) {
    if (!message.isEmpty())
        problemes_.push_back({message, nom});
    echecs_.append((message.isEmpty() ? QStringLiteral("impossible de créer le dossier") : message) +
                   (nom.isEmpty() ? QString() : QStringLiteral(": ") + nom));
    incomplet_ = true;
}

namespace {

// At most kEntreesMontrees lines of a list, then how many were left out.
QString Borne(const QStringList& lignes, const QString& separateur) {
    QString texte = lignes.mid(0, kEntreesMontrees).join(separateur);
    if (lignes.size() > kEntreesMontrees)
        texte += separateur + QStringLiteral("… et %1 autres").arg(lignes.size() - kEntreesMontrees);
    return texte;
}

} // namespace

// The end of an unpack: what went wrong with its entries, told once. The
// problems of one entry are its own short messages; those of several entries
// are one box that names them: an archive that refuses a thousand names must
// not ask for a thousand clicks.
void Cls_Zip::Conclut() {
    QStringList noms, lignes;
    for (const auto& [message, nom] : problemes_) {
        if (!noms.contains(nom))
            noms.append(nom);
        lignes.append(nom.isEmpty() ? message : nom + QStringLiteral(" : ") + message);
    }
    if (noms.size() == 1) {
        for (const auto& probleme : problemes_)
            MsgBox(probleme.first);
    } else if (noms.size() > 1) {
        MsgBox(QStringLiteral("%1 entrées de l'archive posent problème :\n\n").arg(noms.size()) +
               Borne(lignes, QStringLiteral("\n")));
    }
    problemes_.clear();
    if (raison_.isEmpty() && !echecs_.isEmpty())
        raison_ = Borne(echecs_, QStringLiteral(" ; "));
    echecs_.clear();
}

// The allowance of the unpack is spent: it ends here, and says why.
void Cls_Zip::Plein(const QString& nom) {
    plein_ = true;
    Echec(QString::fromUtf8(kMessagePlein), nom);
}

// The free space of the drive a folder will be on (the folder may not exist
// yet); unbounded when the system cannot tell.
qint64 Cls_Zip::EspaceLibre(const QString& dossier) {
    QString existant = dossier.isEmpty() ? QStringLiteral(".") : dossier;
    while (!QFileInfo::exists(existant)) {
        const QString parent = QFileInfo(existant).path();
        if (parent == existant)
            break;
        existant = parent;
    }
    const QStorageInfo info(existant);
    const qint64 libre = info.isValid() ? info.bytesAvailable() : -1;
    return libre < 0 ? std::numeric_limits<qint64>::max() / 2 : libre;
}

// The directory cannot be read whole: nothing of it is kept, and the user is
// told why.
short Cls_Zip::Illisible(const char* message) {
    entrees_.clear();
    ArchiveZip.NbEntrees = 0;
    ArchiveZip.RepertoireCharge = false;
    ArchiveZip.Commentaire.clear();
    raison_ = QString::fromUtf8(message);
    MsgBox(raison_);
    return ZipUnreadable;
}

short Cls_Zip::Pack(const QString&, const QStringList&, int, int, bool) { return 0; }

int Cls_Zip::FileCount() const { return ArchiveZip.NbEntrees; }

const Cls_Zip::Entree* Cls_Zip::EntreeValide(qint64 FileNum) const {
    if (FileNum < 1 || FileNum > FileCount() || !ArchiveZip.RepertoireCharge ||
        FileNum > qint64(entrees_.size()))
        return nullptr;
    return &entrees_[static_cast<size_t>(FileNum - 1)];
}

qsizetype Cls_Zip::LongueurDonnees() { return ArchiveZip.Donnees.size(); }

QString Cls_Zip::FileName(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? e->fileName : QString();
}

QString Cls_Zip::CommentsFile(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? e->fileComment : QString();
}

QString Cls_Zip::CommentsPack() const { return ArchiveZip.Commentaire; }

bool Cls_Zip::IsDir(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e && e->fileName.endsWith(QLatin1Char('/'));
}

QString Cls_Zip::Method(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? NomMethode(e->method) : QString();
}

uint32_t Cls_Zip::CRC32(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? e->crc32 : 0;
}

uint64_t Cls_Zip::Compressed_Size(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? e->compressedSize : 0;
}

uint64_t Cls_Zip::UnCompressed_Size(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? e->uncompressedSize : 0;
}

bool Cls_Zip::Encrypted(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e && (e->flags & 0x0001);
}

QDateTime Cls_Zip::FileDateTime(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? DosDateTimeToDate(e->dosDate, e->dosTime) : QDateTime();
}

QString Cls_Zip::SystemMadeBy(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? NomSysteme(e->versionMadeBy >> 8) : QString();
}

QString Cls_Zip::VersionMadeBy(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? TexteVersion(e->versionMadeBy & 0xFF) : QString();
}

QString Cls_Zip::SystemNeeded(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? NomSysteme(e->versionNeeded >> 8) : QString();
}

QString Cls_Zip::VersionNeeded(qint64 FileNum) const {
    const Entree* e = EntreeValide(FileNum);
    return e ? TexteVersion(e->versionNeeded & 0xFF) : QString();
}

QString Cls_Zip::NomSysteme(int valeur) {
    static const char* const noms[] = {
        "MS-DOS and OS/2 (FAT / VFAT / FAT32 file systems)",
        "Amiga",
        "2 - OpenVMS",
        "UNIX",
        "VM/CMS",
        "Atari ST",
        "OS/2 H.P.F.S.",
        "Macintosh",
        "Z-System",
        "CP/M",
        "Windows NTFS",
        "MVS (OS/390 - Z/OS)",
        "VSE",
        "Acorn Risc",
        "VFAT",
        "Alternate MVS",
        "BeOS",
        "Tandem",
        "OS/400",
    };
    if (valeur >= 0 && valeur < int(std::size(noms)))
        return QString::fromLatin1(noms[valeur]);
    return QStringLiteral("UnKnown");
}

QString Cls_Zip::TexteVersion(int valeur) {
    return QStringLiteral("%1.%2").arg(valeur / 10).arg(valeur % 10);
}

QString Cls_Zip::NomMethode(int valeur) {
    static const char* const noms[] = {
        "No Compression",  "Shrunk",   "Reduce Factor 1",    "Reduce Factor 2", "Reduce Factor 3",
        "Reduce Factor 4", "Imploded", "Tokenized",          "Deflated",        "Enhanced Deflating",
        "PKWARE Imploding", "Reserved", "BZip2",
    };
    if (valeur >= 0 && valeur < int(std::size(noms)))
        return QString::fromLatin1(noms[valeur]);
    return QStringLiteral("Unknown");
}
