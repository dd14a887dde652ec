// Test fixture for the dialogs: the recording backend, the program's resources and a
// scratch directory for output files.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "afx/afxwin.h"
#include "res/resources.h"
#include "tests/ui/fake_backend.h"

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        afx::SetBackend(&backend);
        AfxSetResourceHandle(&wobblegenResources);
        // A new folder of the temporary folder; the random part tells it from other runs'.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
            const std::filesystem::path candidate = std::filesystem::temp_directory_path() /
                                                    ("wobblegen-ui-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) dir = candidate.string();
        }
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        afx::SetBackend(nullptr);
        AfxSetResourceHandle(nullptr);
        std::filesystem::remove_all(dir);
    }

    std::string Path(const std::string& name) const { return dir + "/" + name; }
    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }
    static long SizeOf(const std::string& path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
    }

    FakeBackend backend;
    std::string dir;
};
