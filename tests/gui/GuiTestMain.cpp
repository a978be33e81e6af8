// The desktop program's tests need a QApplication; listing the tests (as the build does to
// register them) needs none.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    // Each test process gets a data directory of its own: replace runs in two processes at
    // once would otherwise share the recovery list's lock, and one of them would wait with a
    // message box no test answers.
    std::string data = ::testing::TempDir() + "twguidataXXXXXX";
    if (!::mkdtemp(data.data()))
        return 2;
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    int rc = 0;
    {
        QApplication app(argc, argv);
        rc = RUN_ALL_TESTS();
    }
    (void)std::system(("rm -rf '" + data + "'").c_str());
    return rc;
}
