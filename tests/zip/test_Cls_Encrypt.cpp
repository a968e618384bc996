// CRC-32 and the traditional ZIP cipher.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QByteArray>
#include <random>

#include "zip/Cls_CRC32Init.h"
#include "zip/Cls_Encrypt.h"

// Known values through the three ways in (whole array, raw sum, byte by byte as
// decryption does), then the fast sum against zlib over lengths and alignments
// around its block sizes, continued over pieces.
TEST(CRC32, KnownValuesAndAgreementWithZlib) {
    const std::pair<QByteArray, uint32_t> cas[] = {{"", 0}, {"abc", 0x352441C2u},
        {"123456789", 0xCBF43926u}, {QByteArray(32, '\0'), 0x190A55ADu}};
    Cls_CRC32Init c;
    for (const auto& [octets, crc] : cas) {
        SCOPED_TRACE(octets.toHex().constData());
        EXPECT_EQ(c.CalcCRC32File(octets), crc);
        EXPECT_EQ(CalculeCRC32(0, octets.constData(), size_t(octets.size())), crc);
        c.ResetCRC32();
        for (char o : octets)
            c.CalcCRC32Byte(uint8_t(o));
        EXPECT_EQ(c.CRC32(), crc);
    }
    std::mt19937 alea(3);
    QByteArray d(70000, '\0');
    for (char& o : d)
        o = char(alea());
    for (int longueur : {1, 7, 15, 16, 63, 64, 65, 127, 128, 1000, 4096, 65599, 69990})
        for (int decalage : {0, 1, 3, 8}) {
            SCOPED_TRACE(testing::Message() << longueur << "+" << decalage);
            const auto* p = reinterpret_cast<const Bytef*>(d.constData() + decalage);
            const uint32_t attendu = uint32_t(crc32(0, p, uInt(longueur)));
            const size_t tiers = size_t(longueur) / 3;
            EXPECT_EQ(CalculeCRC32(0, p, size_t(longueur)), attendu);
            const uint32_t debut = CalculeCRC32(0, p, tiers);
            EXPECT_EQ(CalculeCRC32(debut, p + tiers, size_t(longueur) - tiers), attendu);
        }
}

// Encrypted with a password, the header's last byte is the CRC's high byte (the
// check the reader makes), the right password gives the data back, a wrong one
// does not.
TEST(Cls_Encrypt, RoundTripAndCheckByte) {
    const QByteArray clair = "Des données à chiffrer, assez longues pour plusieurs octets.";
    for (const QString& mdp : {QStringLiteral("secret"), QStringLiteral("é"), QString()}) {
        SCOPED_TRACE(mdp.toStdString());
        QByteArray chiffre = clair;
        Cls_Encrypt().ZipEncryptArray(chiffre, mdp, 0xA1B2C3D4u);
        ASSERT_EQ(chiffre.size(), clair.size() + 12);
        for (const QString& essai : {mdp, mdp + "x"}) {
            QByteArray lu = chiffre;
            Cls_Encrypt dec;
            dec.ZipPrepareKey(lu, essai);
            if (essai == mdp) { // a wrong password matches it once in 256 (random header)
                EXPECT_EQ(uint8_t(lu[11]), 0xA1);
            }
            lu.remove(0, 12);
            dec.ZipDecryptArray(lu);
            EXPECT_EQ(lu == clair, essai == mdp);
        }
    }
}
