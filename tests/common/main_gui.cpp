#include <QApplication>
#include <gtest/gtest.h>

#include "tests/common/qt_warnings.h"

// Widget tests run offscreen unless the caller chose a platform.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    FailOnQtWarnings();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
