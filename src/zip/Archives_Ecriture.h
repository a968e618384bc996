// Extraction writer: puts one extracted entry on disk under the destination
// folder, with its folders and its date, and converts the DOS dates of entries.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

class QFile;

// Writes Data as EntryName (the name as stored, "/" separators) under DestDir.
// 0 when the file was written; non-zero when it could not be created or written,
// or when the name would leave DestDir or is refused (absolute, drive letter,
// an element util/NomsFichiers.h refuses): such a name is never written.
short WriteEntryFile(const QString& EntryName, const QString& DestDir, const QByteArray& Data,
                     uint16_t DosDate, uint16_t DosTime);

// WriteEntryFile in two steps, for an entry written while it is decoded.
// OuvreFichierEntree makes the path, creates the missing folders (without a
// message: the caller falls back to WriteEntryFile, which shows it, when this
// fails), replaces an existing file and opens the new one for writing, without
// a buffer: 0, or WriteEntryFile's codes 1 to 3. TermineFichierEntree gives the
// file the entry's date and closes it: 0, or 5 on a write error.
short OuvreFichierEntree(const QString& EntryName, const QString& DestDir, QFile& Fichier);
short TermineFichierEntree(QFile& Fichier, uint16_t DosDate, uint16_t DosTime);

// The files of one unpack under one destination folder, written as
// WriteEntryFile writes them (same files, dates, codes and messages). Where the
// system offers calls relative to an open folder, the destination and the
// folder of the last entry stay open: a file then costs one open relative to
// its folder, its writes, one call that sets its times, and its close. Any
// step that fails there (a folder to make that cannot be made, a name taken by
// a folder, ...) is left to WriteEntryFile, which says why.
class EcrivainEntrees {
public:
    explicit EcrivainEntrees(QString DestDir);
    ~EcrivainEntrees();
    EcrivainEntrees(const EcrivainEntrees&) = delete;
    EcrivainEntrees& operator=(const EcrivainEntrees&) = delete;
    short Ecrit(const QString& EntryName, const QByteArray& Data, uint16_t DosDate, uint16_t DosTime);

private:
    short EcritRelatif(const QString& EntryName, const QByteArray& Data, uint16_t DosDate, uint16_t DosTime);
    int Dossier(const QByteArray& relatif);
    void FermeCourant();

    QString dest_;
    int racine_ = -1;       // the destination folder, opened on first use
    bool racineVue_ = false; // tried once: no second try after a failure
    QByteArray relatifCourant_;
    int courant_ = -1; // the folder of the last entry (may be racine_)
    uint32_t cleDate_ = 0xFFFFFFFF;
    qint64 secondes_ = 0; // the last entry date, converted once
};

// True when an entry name would land outside the destination folder, or holds
// an element refused on this system (util/NomsFichiers.h).
bool NomHorsDestination(const QString& EntryName);

// Creates every missing folder of DirPath. On failure shows "Error While
// Attempting to Create Directories on Destination Drive." and returns false.
bool CreateDirectories(const QString& DirPath);

// The folder part of a path (up to its last separator, separator included), or
// the current folder when the path has none. Separators are normalised; names
// go to capitals only where the file system ignores case.
QString TargetDirectory(const QString& Path);

// "\" on systems whose paths use it, "/" elsewhere; fixed on first use.
QString PathSeparator();

// Every "\" and "/" of a path replaced by PathSeparator().
QString NormaliseSeparateurs(const QString& Path);

// Creation and last-write time = the entry's date, last access = now.
bool SetEntryFileTimes(const QString& Path, uint16_t DosDate, uint16_t DosTime);
bool SetFileTimes(const QString& Path, const QDateTime& Creation, const QDateTime& LastWrite,
                  const QDateTime& LastAccess);

// The local date and time of a DOS date and time (date: year-1980:7, month:4,
// day:5; time: hour:5, minute:6, second/2:5). Invalid for impossible values.
QDateTime DosDateTimeToDate(uint16_t DosDate, uint16_t DosTime);
