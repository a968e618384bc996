// State of the archive being read: one archive at a time for the whole process,
// shared by the reader (Cls_Zip) and the decoder it feeds.
#pragma once

#include <QByteArray>
#include <QString>

struct EtatArchive {
    QString Chemin;              // path given to Get_Contents
    int NbEntrees = 0;           // entries found in the directory
    QString Commentaire;         // the archive comment
    bool RepertoireCharge = false; // true once at least one entry was read
    QByteArray Donnees;          // the current entry while it is decrypted, inflated, written
};

extern EtatArchive ArchiveZip;

// Forgets the archive (path, count, comment, flag and buffer).
void ReinitialiseArchive();
