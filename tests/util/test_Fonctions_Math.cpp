// Size texts at the edges of each unit: plural, cut (never rounded) fraction,
// trailing zeros dropped, no grouping, the French separator.
#include <gtest/gtest.h>

#include "util/Fonctions_Math.h"

TEST(FormateTaille, LimitesDesUnites) {
    struct Cas {
        double taille;
        bool sansDecimales;
        const char* attendu;
    };
    const Cas cas[] = {
        {0, false, "0 octet"},          {1, false, "1 octet"},
        {2, false, "2 octets"},         {1023, false, "1023 octets"},
        {1024, false, "1 Ko"},          {1024 * 1.1, false, "1,1 Ko"},
        {1536, true, "1 Ko"},           {1048575, false, "1023,99 Ko"},
        {1048576, false, "1 Mo"},       {1073741823, false, "1023,99 Mo"},
        {1073741824, false, "1 Go"},    {1073741824.0 * 3000, true, "3000 Go"},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(testing::Message() << c.taille << (c.sansDecimales ? " sans" : " avec"));
        EXPECT_EQ(FormateTaille(c.taille, c.sansDecimales).toStdString(), c.attendu);
    }
}
