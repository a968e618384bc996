// Traditional ZIP encryption (the PKWARE stream cipher): three keys driven by the
// CRC-32 table, a 12-byte header whose last byte checks the password.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "zip/Cls_CRC32Init.h"

class Cls_Encrypt {
public:
    Cls_Encrypt();
    ~Cls_Encrypt();

    // Starts the keys from the password, then decrypts the 12-byte header at the
    // start of Data in place (Data needs at least 12 bytes; a shorter array is
    // decrypted as far as it goes).
    void ZipPrepareKey(QByteArray& Data, const QString& PassWord);
    // Decrypts every byte of Data in place, continuing the key stream.
    void ZipDecryptArray(QByteArray& Data);
    void ZipDecryptArray(char* Data, size_t n);
    // Prepends a random 12-byte header whose last byte is the high byte of CRC32
    // and encrypts header and data in place with PassWord.
    void ZipEncryptArray(QByteArray& Data, const QString& PassWord, uint32_t CRC32);

    // The bytes a password is keyed with: Windows-1252 when every character has
    // a code there (what archivers on Windows use), UTF-8 otherwise.
    static QByteArray OctetsMotDePasse(const QString& PassWord);

private:
    void InitialiseCles(const QString& PassWord);

    uint32_t cles_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
    // The CRC-32 byte table that drives keys 0 and 2, held here so that the
    // key updates are a load each, inlined in the loops.
    const uint32_t* const table_;
};
