// Window tests need the application object for their whole run, and it must be gone before the
// program's static objects are: it lives on main's stack. Listing the tests (which the build
// does, with no display) needs no application.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app;
    if (!::testing::GTEST_FLAG(list_tests)) app = std::make_unique<QApplication>(argc, argv);
    return RUN_ALL_TESTS();
}
