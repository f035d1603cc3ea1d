// Runs the window tests headless with a real QApplication.
#include <QApplication>
#include <gtest/gtest.h>

#include "ui/MessagePreview.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareMessagePreview();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
