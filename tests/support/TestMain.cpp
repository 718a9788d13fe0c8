// One main for every test executable: GoogleTest, plus a QGuiApplication when
// the executable links Qt (the renderer and the pages need one).
#include <gtest/gtest.h>

#if __has_include(<QApplication>) && defined(QT_WIDGETS_LIB)
#include <QApplication>
#define SCORIVO_TEST_APP QApplication
#elif __has_include(<QGuiApplication>) && defined(QT_GUI_LIB)
#include <QGuiApplication>
#define SCORIVO_TEST_APP QGuiApplication
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
#ifdef SCORIVO_TEST_APP
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    SCORIVO_TEST_APP app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
