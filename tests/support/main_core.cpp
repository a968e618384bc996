// Test main: an event loop (offscreen windows), a French locale, messages recorded.
#include <QCoreApplication>
#include <QLocale>
#include <gtest/gtest.h>

#include "support/EnregistreurMessages.h"

#ifndef APPLICATION_TEST
#define APPLICATION_TEST QCoreApplication
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    APPLICATION_TEST app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    EnregistreurMessages filet; // no test may block on a message nobody answers
    return RUN_ALL_TESTS();
}
