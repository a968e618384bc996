// The traditional PKWARE cipher: weak by today's standards, but it is what
// archives from the usual tools still carry when a password is set on them.
#include "zip/Cls_Encrypt.h"

#include <QDateTime>
#include <algorithm>
#include <random>

#include "util/Fonctions_Texte.h"

namespace {

constexpr uint32_t kMultiplicateur = 134775813u; // 0x08088405

// The three keys, kept in registers for the length of a loop.
struct Cles {
    uint32_t k0, k1, k2;

    // The key-stream byte: t = key2 | 2 (low 16 bits), then the high byte of t*(t^1).
    inline uint8_t Flux() const {
        const uint32_t t = (k2 | 2u) & 0xFFFFu;
        return static_cast<uint8_t>((t * (t ^ 1u)) >> 8);
    }
    // Key update with one plain byte. Key 0 and key 2 take a CRC step; key 1 a
    // linear congruential step (unsigned arithmetic wraps modulo 2^32 as the
    // cipher wants). Each byte's keys depend on the last ones, so the loop runs
    // at the latency of this chain: no call, no store between bytes.
    inline void MetAJour(const uint32_t* table, uint8_t clair) {
        k0 = table[(k0 ^ clair) & 0xFFu] ^ (k0 >> 8);
        k1 = (k1 + (k0 & 0xFFu)) * kMultiplicateur + 1u;
        k2 = table[(k2 ^ (k1 >> 24)) & 0xFFu] ^ (k2 >> 8);
    }
};

} // namespace

Cls_Encrypt::Cls_Encrypt() : table_(TableCRC32()) {}
Cls_Encrypt::~Cls_Encrypt() = default;

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

void Cls_Encrypt::InitialiseCles(const QString& PassWord) {
    Cles c{0x12345678u, 0x23456789u, 0x34567890u};
    for (char o : OctetsMotDePasse(PassWord))
        c.MetAJour(table_, static_cast<uint8_t>(o));
    cles_[0] = c.k0;
    cles_[1] = c.k1;
    cles_[2] = c.k2;
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
    Cles c{cles_[0], cles_[1], cles_[2]};
    const uint32_t* const table = table_;
    auto* p = reinterpret_cast<uint8_t*>(Data);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t clair = p[i] ^ c.Flux();
        p[i] = clair;
        c.MetAJour(table, clair);
    }
    cles_[0] = c.k0;
    cles_[1] = c.k1;
    cles_[2] = c.k2;
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
    Cles c{cles_[0], cles_[1], cles_[2]};
    for (qsizetype i = 0; i < Data.size(); ++i) {
        const uint8_t clair = p[i];
        p[i] = clair ^ c.Flux();
        c.MetAJour(table_, clair);
    }
    cles_[0] = c.k0;
    cles_[1] = c.k1;
    cles_[2] = c.k2;
}
