// The list copy held in memory: its lines in one block of UTF-8 text,
// addressed by offsets. A list of a million lines costs little more than its
// file, and a line or a column is made into text only when it is asked for
// (a visible row, a row being downloaded, a size being summed).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

class LignesListe {
public:
    // Reads a list file: UTF-8 when the whole file is valid UTF-8 (a leading
    // BOM dropped), Windows-1252 otherwise; CR LF or a lone CR ends a line, a
    // lone LF stays inside its line. False when the file cannot be opened.
    bool Charge(const QString& chemin);
    // The same from bytes already read.
    void DefinitOctets(const QByteArray& octets);

    qsizetype Nombre() const { return qsizetype(debuts_.size()); }
    bool EstVide() const { return debuts_.empty(); }
    // Line i (from 0) as UTF-8 bytes, without its line end.
    QByteArrayView Octets(qsizetype i) const;
    QString Ligne(qsizetype i) const { return Texte(Octets(i)); }
    // Column `colonne` (from 1, TAB-separated) of line i; empty when the line
    // has no such column.
    QByteArrayView ColonneOctets(qsizetype i, int colonne) const;
    QString Colonne(qsizetype i, int colonne) const { return Texte(ColonneOctets(i, colonne)); }
    // UTF-8 bytes of the list as text. A U+FEFF that begins them is kept: it is
    // part of the line (only the file's first one is a byte order mark).
    static QString Texte(QByteArrayView octets);

    // Drops the lines for which `retiree[i]` is true. Returns, for each former
    // line, its new index, or -1 when it was dropped.
    std::vector<qint32> Retire(const std::vector<bool>& retiree);

    // The lines as they are written to the list copy, each followed by CR LF;
    // without those for which `sauf[i]` is true, when given.
    QByteArray Texte(const std::vector<bool>* sauf = nullptr) const;

    // Puts a CR before every LF that has none, so that a list written with
    // lone LF ends is read line by line. Copies only when there is one.
    static void AjouteCRManquants(QByteArray& octets);

private:
    void Decoupe();

    QByteArray octets_;            // the lines, each followed by its end
    std::vector<qint64> debuts_;   // where each line begins in octets_
    std::vector<qint32> longueurs_; // each line's length, without its end
    // octets_ is exactly the lines each followed by CR LF, as Texte() makes
    // them: they can then be written and compacted as they are.
    bool normal_ = true;
};
