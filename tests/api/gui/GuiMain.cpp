// Window tests need the application object for their whole run, and it must be gone before the
// program's static objects are: it lives on main's stack.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
