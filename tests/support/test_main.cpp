// Test main for the widget-free groups: aims every port at a path that does
// not exist before any test runs, whatever the environment said.
#include <gtest/gtest.h>

#include "tests/support/safe_ports.h"

int main(int argc, char **argv)
{
    korvex::test::AimPortsNowhere();
    korvex::test::AimDataFolderAtTemp();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
