// Test main for the windows: offscreen, a French locale, messages recorded.
#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

#include "support/EnregistreurMessages.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    EnregistreurMessages filet;
    return RUN_ALL_TESTS();
}
