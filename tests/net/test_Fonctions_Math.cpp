// Size texts: units, plural, cut (never rounded) fraction, French separator.
#include <gtest/gtest.h>

#include "util/Fonctions_Math.h"

TEST(FormateTaille, UnitesEtDecimales) {
    struct Cas {
        double taille;
        bool sansDecimales;
        const char* attendu;
    };
    const Cas cas[] = {
        {0, false, "0 octet"},
        {0, true, "0 octet"},
        {1, false, "1 octet"},
        {2, false, "2 octets"},
        {1023, false, "1023 octets"},
        {1.5, false, "1,5 octets"},
        {1024, false, "1 Ko"},
        {1536, false, "1,5 Ko"},
        {1536, true, "1 Ko"},
        {1048575, false, "1023,99 Ko"},
        {12 * 1024, true, "12 Ko"},
        {29256, false, "28,57 Ko"},
        {1048576, false, "1 Mo"},
        {1048576 * 2.5, false, "2,5 Mo"},
        {1073741823, false, "1023,99 Mo"},
        {1073741824, false, "1 Go"},
        {1073741824.0 * 3000, true, "3000 Go"}, // no thousands grouping
        {1024 * 1.1, false, "1,1 Ko"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.taille << (c.sansDecimales ? " sans" : " avec"));
        EXPECT_EQ(FormateTaille(c.taille, c.sansDecimales).toStdString(), c.attendu);
    }
}

TEST(TronqueDecimales, CoupeVersZero) {
    EXPECT_DOUBLE_EQ(TronqueDecimales(1.999, 2), 1.99);
    EXPECT_DOUBLE_EQ(TronqueDecimales(1.999, 0), 1);
    EXPECT_DOUBLE_EQ(TronqueDecimales(-1.999, 1), -1.9);
    EXPECT_DOUBLE_EQ(TronqueDecimales(42, 2), 42);
}
