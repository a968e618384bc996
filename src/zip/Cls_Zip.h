// Reader of ZIP archives: the directory of an archive and the extraction of its
// entries (stored, deflated, enhanced deflated; traditional encryption; CRC
// check), used to unpack what the download subsystem fetched.
//
// Calling order: Get_Contents(path); when it returns 0 and FileCount() > 0,
// build a selection of FileCount() + 1 booleans (index 0 unused, entries 1 to
// FileCount()) and call UnPack(selection, destination folder).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class Cls_CRC32Init;
class Cls_Encrypt;
class EcrivainEntrees;
class InflateurFlux;
class QFile;

class Cls_Zip {
public:
    // Result codes of Get_Contents and UnPack.
    static constexpr short ZipOk = 0;
    static constexpr short ZipUnreadable = 1;        // the archive's records cannot be followed
    static constexpr short ZipNothingToExtract = -10; // empty archive, wrong selection, unsupported method
    static constexpr short ZipBadPassword = -1;      // extraction stopped on the password
    // An entry of the selection was not written whole: unreachable, refused
    // (a name leaving the folder), or its file could not be written. The
    // entries that could be written are on disk; the unpack is not a success.
    static constexpr short ZipIncomplete = -2;
    // The stop given to FixeArret was asked: the entries written before stay,
    // the one being written is removed.
    static constexpr short ZipStopped = -3;

    Cls_Zip();
    ~Cls_Zip();
    Cls_Zip(const Cls_Zip&) = delete;
    Cls_Zip& operator=(const Cls_Zip&) = delete;

    // Reads the directory of ZipName (Zip64 records included). 0 (also for an
    // archive without entries), or 1 when its records cannot be followed; a
    // directory that cannot be read whole (a count it does not match, Zip64
    // records that do not hold together, entries whose bytes overlap) is
    // refused with a message, never offered in part.
    short Get_Contents(const QString& ZipName);
    // Extracts the entries i (1 to FileCount) whose ZippedFile[i] is true under
    // ToPath. ZippedFile must hold FileCount() + 1 values (index 0 is not used).
    // 0 only when every selected entry was written; -10 (nothing to extract,
    // wrong selection size, or an entry packed with a method this reader does
    // not decode), -1 (password missing or wrong), -2 (an entry not written),
    // -3 (stopped). One unpack writes at most the sizes its directory declares
    // for the selection, and never fills the destination's drive: it stops,
    // with a message, where that would leave less than a margin free.
    short UnPack(const QList<bool>& ZippedFile, const QString& ToPath);
    // Packing is not offered: does nothing, returns 0.
    short Pack(const QString& ZipName, const QStringList& Files, int CompType, int CompLevel,
               bool IncludeDir);

    // Entries above this size (1 MiB) are written to their files as they are
    // decoded; the others are decoded whole, then written. Both give the same
    // files and messages; tests set 0 to take every entry through the first.
    static void FixeSeuilFlux(qint64 octets) { seuilFlux_ = octets; }
    // Called by UnPack before each entry and each time a large entry has
    // written another MiB, so that the caller's windows keep answering.
    void FixeSuivi(std::function<void()> suivi) { suivi_ = std::move(suivi); }
    // Asked after each of those calls: true stops the unpack there.
    void FixeArret(std::function<bool()> arret) { arret_ = std::move(arret); }

    bool CanUnpack() const { return true; }
    int FileCount() const;
    QString FileName(qint64 FileNum) const;
    QString CommentsFile(qint64 FileNum) const;
    QString CommentsPack() const;
    bool IsDir(qint64 FileNum) const;
    QString Method(qint64 FileNum) const;
    uint32_t CRC32(qint64 FileNum) const;
    // The sizes from the Zip64 extra field when the directory's own are full.
    uint64_t Compressed_Size(qint64 FileNum) const;
    uint64_t UnCompressed_Size(qint64 FileNum) const;
    bool Encrypted(qint64 FileNum) const;
    QDateTime FileDateTime(qint64 FileNum) const;
    QString SystemMadeBy(qint64 FileNum) const;
    QString VersionMadeBy(qint64 FileNum) const;
    QString SystemNeeded(qint64 FileNum) const;
    QString VersionNeeded(qint64 FileNum) const;
    // Why the last Get_Contents or UnPack failed, in the words of the message
    // shown, with the entry's name when there is one (the lost entries one
    // after the other, "; " between them, the first 20 named); empty after a
    // success. The problems of an unpack's entries are shown in one box at its
    // end; one problem alone is its own message.
    QString Raison() const { return raison_; }

private:
    // One central directory record.
    struct Entree {
        uint16_t versionMadeBy = 0;
        uint16_t versionNeeded = 0;
        uint16_t flags = 0;
        uint16_t method = 0;
        uint16_t dosTime = 0;
        uint16_t dosDate = 0;
        uint32_t crc32 = 0;
        uint64_t compressedSize = 0;   // these three and the disk: from the
        uint64_t uncompressedSize = 0; // Zip64 extra field where their own
        uint32_t diskStart = 0;        // field is full
        uint16_t internalAttributes = 0;
        uint32_t externalAttributes = 0;
        uint64_t localHeaderOffset = 0;
        QString fileName;
        QByteArray extraField;
        QString fileComment;
    };

    const Entree* EntreeValide(qint64 FileNum) const;
    static uint32_t LongueurNonSignee(int16_t longueur) { return static_cast<uint16_t>(longueur); }
    bool EcritEntree(const Entree& e);
    void Echec(const QString& message, const QString& nom = QString());
    short Illisible(const char* message);
    bool ArretDemande() { return arret_ && arret_(); }
    void Plein(const QString& nom);
    static qint64 EspaceLibre(const QString& dossier);
    bool ExtraitEnFlux(const Entree& e, const QString& ToPath, QFile& archive, qint64 debut, qint64 longueur,
                       const QString& motDePasse);
    void Signale(const Entree& e, uint32_t crc, qint64 taille);
    void Conclut();
    static qsizetype LongueurDonnees();
    static QString NomSysteme(int valeur);
    static QString TexteVersion(int valeur);
    static QString NomMethode(int valeur);

    std::vector<Entree> entrees_;
    std::unique_ptr<Cls_CRC32Init> crc_;
    std::unique_ptr<Cls_Encrypt> chiffre_;
    static inline qint64 seuilFlux_ = qint64(1) << 20;
    static constexpr size_t kTailleTampon = size_t(1) << 20;
    std::unique_ptr<InflateurFlux> inflateur_;
    std::unique_ptr<EcrivainEntrees> ecrivain_; // during an unpack
    std::unique_ptr<uint8_t[]> tampon_;
    std::function<void()> suivi_;
    std::function<bool()> arret_;
    QString raison_;
    // The unpack's problems (message, entry name), shown together at its
    // end, and the reasons of the entries it lost.
    std::vector<std::pair<QString, QString>> problemes_;
    QStringList echecs_;
    bool incomplet_ = false;
    // The unpack under way: bytes it may still write, and why it ended early.
    qint64 restant_ = 0;
    bool arrete_ = false;
    bool plein_ = false;
};
