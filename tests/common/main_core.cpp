#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests that post window messages or wait on threads need a running Qt core.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
