// GoogleTest main for window tests that run on a desktop of their own (Xvfb + openbox)
// instead of the offscreen platform. Without Xvfb or openbox the tests skip and say why.

#include "XDesktop.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ql::test::TXDesktop desktop;
    // Listing the tests (CTest's discovery) needs no desktop.
    if (::testing::GTEST_FLAG(list_tests)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (const QString whyNot = desktop.Start(); whyNot.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", desktop.Display().toLatin1());
        ql::test::OnOwnDesktop() = true;
    } else {
        ql::test::DesktopSkipReason() = whyNot;
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int result = 0;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
