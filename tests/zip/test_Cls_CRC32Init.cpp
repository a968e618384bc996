// CRC-32: known values through the three ways in (whole array, raw sum, byte by
// byte as decryption does), then the fast sum against zlib over lengths and
// alignments around its block sizes, continued over pieces, by each path the
// processor may allow. The cipher itself
// is checked through the encrypted archives of test_Cls_Zip.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QByteArray>
#include <random>

#include "zip/Cls_CRC32Init.h"
#include "zip/Processeur.h"

TEST(CRC32, KnownValuesAndAgreementWithZlib) {
    const std::pair<QByteArray, uint32_t> cas[] = {
        {"", 0}, {"abc", 0x352441C2u}, {"123456789", 0xCBF43926u}, {QByteArray(32, '\0'), 0x190A55ADu}};
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
    // Each way the processor may allow: 512-bit and 128-bit folding, tables only.
    for (const JeuxInstructions& jeux :
         {JeuxDuProcesseur(), JeuxInstructions{true, true, false}, JeuxInstructions{}}) {
        LimiteJeuxInstructions(jeux);
        SCOPED_TRACE(testing::Message() << "clmul " << JeuxUtilises().clmul << " vpclmul " << JeuxUtilises().vpclmul);
        for (int longueur : {1, 7, 15, 16, 63, 64, 65, 127, 128, 255, 256, 257, 320, 511, 575, 1000, 4096, 65599, 69990})
            for (int decalage : {0, 1, 3, 8}) {
                SCOPED_TRACE(testing::Message() << longueur << "+" << decalage);
                const auto* p = reinterpret_cast<const Bytef*>(d.constData() + decalage);
                const uint32_t attendu = uint32_t(crc32(0, p, uInt(longueur)));
                const size_t tiers = size_t(longueur) / 3;
                EXPECT_EQ(CalculeCRC32(0, p, size_t(longueur)), attendu);
                EXPECT_EQ(CalculeCRC32(CalculeCRC32(0, p, tiers), p + tiers, size_t(longueur) - tiers), attendu);
            }
    }
    LimiteJeuxInstructions(JeuxDuProcesseur());
}
