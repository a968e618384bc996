// CRC-32 and the traditional ZIP cipher.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QByteArray>
#include <random>

#include "zip/Cls_CRC32Init.h"
#include "zip/Cls_Encrypt.h"

TEST(CRC32, KnownValuesAndTheRegister) {
    struct Cas {
        QByteArray octets;
        uint32_t crc;
    };
    const Cas cas[] = {{"", 0}, {"abc", 0x352441C2u}, {"123456789", 0xCBF43926u},
                       {QByteArray(32, '\0'), 0x190A55ADu}};
    Cls_CRC32Init c;
    for (const Cas& k : cas) {
        SCOPED_TRACE(k.octets.toHex().constData());
        EXPECT_EQ(c.CalcCRC32File(k.octets), k.crc);
        EXPECT_EQ(CalculeCRC32(0, k.octets.constData(), size_t(k.octets.size())), k.crc);
        c.ResetCRC32();
        for (char o : k.octets)
            c.CalcCRC32Byte(static_cast<uint8_t>(o));
        EXPECT_EQ(c.CRC32(), k.crc);
    }
    c.CRC32(0x12345678u);
    EXPECT_EQ(c.CRC32(), ~0x12345678u);
    EXPECT_EQ(c.GetcrcTable(1), 0x77073096u);
    EXPECT_EQ(c.GetcrcTable(255), 0x2D02EF8Du);
}

// The fast sum against zlib over lengths and alignments around its block sizes,
// and continued over pieces.
TEST(CRC32, AgreesWithZlib) {
    std::mt19937 alea(3);
    QByteArray d(70000, '\0');
    for (char& o : d)
        o = char(alea());
    for (int longueur : {1, 7, 15, 16, 63, 64, 65, 127, 128, 1000, 4096, 65599, 69990}) {
        for (int decalage : {0, 1, 3, 8}) {
            SCOPED_TRACE(testing::Message() << longueur << "+" << decalage);
            const auto* p = reinterpret_cast<const Bytef*>(d.constData() + decalage);
            const uint32_t attendu = uint32_t(crc32(0, p, uInt(longueur)));
            EXPECT_EQ(CalculeCRC32(0, p, size_t(longueur)), attendu);
            const size_t moitie = size_t(longueur) / 3;
            EXPECT_EQ(CalculeCRC32(CalculeCRC32(0, p, moitie), p + moitie, size_t(longueur) - moitie), attendu);
        }
    }
}

TEST(Cls_Encrypt, RoundTripAndCheckByte) {
    const QByteArray clair = "Des données à chiffrer, assez longues pour plusieurs octets.";
    const uint32_t crc = 0xA1B2C3D4u;
    for (const QString& mdp : {QStringLiteral("secret"), QStringLiteral("é"), QString()}) {
        SCOPED_TRACE(mdp.toStdString());
        QByteArray d = clair;
        Cls_Encrypt e;
        e.ZipEncryptArray(d, mdp, crc);
        ASSERT_EQ(d.size(), clair.size() + 12);
        EXPECT_NE(d.mid(12), clair);

        QByteArray lu = d;
        Cls_Encrypt dec;
        dec.ZipPrepareKey(lu, mdp);
        EXPECT_EQ(uint8_t(lu[11]), 0xA1);
        lu.remove(0, 12);
        dec.ZipDecryptArray(lu);
        EXPECT_EQ(lu, clair);

        QByteArray faux = d;
        Cls_Encrypt autre;
        autre.ZipPrepareKey(faux, mdp + "x");
        faux.remove(0, 12);
        autre.ZipDecryptArray(faux);
        EXPECT_NE(faux, clair);
    }
}
