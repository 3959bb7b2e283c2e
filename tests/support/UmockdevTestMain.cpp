// main() for tests on emulated devices: runs under umockdev's preload library and a Qt event loop.
#include "support/EmulatedUsb.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    uvccam::testing::runUnderUmockdev(argv);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
