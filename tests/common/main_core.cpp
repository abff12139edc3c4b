#include <QCoreApplication>
#include <gtest/gtest.h>

#include "tests/common/qt_warnings.h"

// Tests that post window messages or wait on threads need a running Qt core.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    FailOnQtWarnings();
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
