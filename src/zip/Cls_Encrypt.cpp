// The traditional PKWARE cipher: weak by today's standards, but it is what
// archives from the usual tools still carry when a password is set on them.
#include "zip/Cls_Encrypt.h"

#include <QDateTime>
#include <algorithm>
#include <random>

#include "util/Fonctions_Texte.h"

Cls_Encrypt::Cls_Encrypt() = default;
Cls_Encrypt::~Cls_Encrypt() = default;

Cls_CRC32Init& Cls_Encrypt::Crc() {
    if (!crc_) {
        crc_ = std::make_unique<Cls_CRC32Init>();
        table_ = crc_.get();
    }
    return *crc_;
}

QByteArray Cls_Encrypt::OctetsMotDePasse(const QString& PassWord) {
    QByteArray octets;
    octets.reserve(PassWord.size());
    for (QChar c : PassWord) {
        if (c.unicode() < 0x80) {
            octets.append(static_cast<char>(c.unicode()));
            continue;
        }
        int code = -1;
        for (int b = 0x80; b < 0x100 && code < 0; ++b)
            if (CaractereWindows1252(static_cast<unsigned char>(b)) == c)
                code = b;
        if (code < 0)
            return PassWord.toUtf8();
        octets.append(static_cast<char>(code));
    }
    return octets;
}

// The key-stream byte: t = key2 | 2 (low 16 bits), then the high byte of t*(t^1).
uint8_t Cls_Encrypt::OctetFlux() const {
    const uint32_t t = (cles_[2] | 2u) & 0xFFFFu;
    return static_cast<uint8_t>(((t * (t ^ 1u)) >> 8) & 0xFFu);
}

// Key update with one plain byte. Key 0 and key 2 take a CRC step; key 1 a linear
// congruential step (unsigned arithmetic wraps modulo 2^32 as the cipher wants).
void Cls_Encrypt::MetAJourCles(uint8_t clair) {
    const Cls_CRC32Init& t = *table_;
    cles_[0] = t.GetcrcTable(static_cast<int>((cles_[0] ^ clair) & 0xFFu)) ^ (cles_[0] >> 8);
    cles_[1] = (cles_[1] + (cles_[0] & 0xFFu)) * kMultiplicateur + 1u;
    cles_[2] = t.GetcrcTable(static_cast<int>((cles_[2] ^ (cles_[1] >> 24)) & 0xFFu)) ^ (cles_[2] >> 8);
}

void Cls_Encrypt::InitialiseCles(const QString& PassWord) {
    Crc();
    cles_[0] = 0x12345678u;
    cles_[1] = 0x23456789u;
    cles_[2] = 0x34567890u;
    for (char c : OctetsMotDePasse(PassWord))
        MetAJourCles(static_cast<uint8_t>(c));
}

void Cls_Encrypt::ZipPrepareKey(QByteArray& Data, const QString& PassWord) {
    InitialiseCles(PassWord);
    const qsizetype n = std::min<qsizetype>(12, Data.size());
    ZipDecryptArray(Data.data(), static_cast<size_t>(n));
}

void Cls_Encrypt::ZipDecryptArray(QByteArray& Data) {
    ZipDecryptArray(Data.data(), static_cast<size_t>(Data.size()));
}

void Cls_Encrypt::ZipDecryptArray(char* Data, size_t n) {
    Crc();
    auto* p = reinterpret_cast<uint8_t*>(Data);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t clair = p[i] ^ OctetFlux();
        p[i] = clair;
        MetAJourCles(clair);
    }
}

void Cls_Encrypt::ZipEncryptArray(QByteArray& Data, const QString& PassWord, uint32_t CRC32) {
    const qsizetype n = Data.size();
    Data.prepend(QByteArray(12, '\0'));
    auto* p = reinterpret_cast<uint8_t*>(Data.data());

    std::mt19937 alea(static_cast<uint32_t>(QDateTime::currentMSecsSinceEpoch()));
    std::uniform_int_distribution<int> octet(0, 255);
    for (int i = 0; i < 11; ++i) {
        uint8_t v = static_cast<uint8_t>(octet(alea));
        if (n > 0)
            v ^= p[12 + std::uniform_int_distribution<qsizetype>(0, n - 1)(alea)];
        p[i] = v;
    }
    // Mixing the random bytes with the password keeps two headers made in the
    // same clock tick with different passwords apart.
    const QByteArray mdp = OctetsMotDePasse(PassWord);
    if (!mdp.isEmpty()) {
        int pos = 0;
        for (int i = 0; i < 11; ++i) {
            pos = (pos + static_cast<uint8_t>(mdp[i % mdp.size()])) % 11;
            std::swap(p[i], p[pos]);
        }
    }
    p[11] = static_cast<uint8_t>(CRC32 >> 24);

    InitialiseCles(PassWord);
    for (qsizetype i = 0; i < Data.size(); ++i) {
        const uint8_t clair = p[i];
        p[i] = clair ^ OctetFlux();
        MetAJourCles(clair);
    }
}
