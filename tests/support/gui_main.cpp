// Test main for widget tests: headless platform, a QApplication, and every
// port aimed at a path that does not exist.
#include <QApplication>
#include <gtest/gtest.h>

#include "tests/support/safe_ports.h"

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    korvex::test::AimPortsNowhere();
    korvex::test::AimDataFolderAtTemp();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
