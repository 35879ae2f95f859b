// The windows' tests run offscreen, in a private runtime folder, inside one QApplication.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string runtime = (std::filesystem::temp_directory_path() / "sieveclaw-ui-XXXXXX").string();
    if (::mkdtemp(runtime.data()) != nullptr) {  // mode 0700, as Qt wants it
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
    return result;
}
