// Test main for the core: an event loop, a French locale, messages recorded.
#include <QCoreApplication>
#include <QLocale>
#include <gtest/gtest.h>

#include "support/EnregistreurMessages.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    EnregistreurMessages filet; // no test may block on a message nobody answers
    return RUN_ALL_TESTS();
}
