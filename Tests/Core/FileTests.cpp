// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "Core/File.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::path(LAGWELL_BINARY_DIR) / "test-files" /
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    CString path(const char* name) const { return CString::fromUtf8((m_dir / name).string()); }
    static std::string contents(const CString& file) {
        std::ifstream in(file.utf8(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void writeText(CFileWriter& w, const std::string& text) {
        ASSERT_EQ(w.write(text.data(), text.size()), nullptr);
    }

    fs::path m_dir;
};

TEST_F(FileTest, WriteReadSkipAndPositions) {
    const CString name = path("data.bin");
    {
        CFileWriter w;
        ASSERT_EQ(w.open(name), nullptr);
        writeText(w, "hello world");
        uint64_t pos = 0, size = 0;
        ASSERT_EQ(w.getPosition(pos), nullptr);
        ASSERT_EQ(w.getSize(size), nullptr);
        EXPECT_EQ(pos, 11u);
        EXPECT_EQ(size, 11u);
        // Overwrite in place.
        ASSERT_EQ(w.setPosition(0), nullptr);
        writeText(w, "J");
        ASSERT_EQ(w.close(), nullptr);
        EXPECT_FALSE(w.isOpen());
        ASSERT_EQ(w.close(), nullptr);
    }
    EXPECT_EQ(contents(name), "Jello world");

    CFileReader r;
    ASSERT_EQ(r.open(name), nullptr);
    char buf[16] = {};
    ASSERT_EQ(r.read(buf, 5), nullptr);
    EXPECT_EQ(std::string(buf, 5), "Jello");
    ASSERT_EQ(r.skip(1), nullptr);
    uint64_t pos = 0;
    ASSERT_EQ(r.getPosition(pos), nullptr);
    EXPECT_EQ(pos, 6u);

    size_t count = sizeof buf;
    ASSERT_EQ(r.readStreamed(buf, count), nullptr);
    EXPECT_EQ(std::string(buf, count), "world");
    count = sizeof buf;
    ASSERT_EQ(r.readStreamed(buf, count), nullptr);
    EXPECT_EQ(count, 0u) << "the end is not an error for streamed reads";

    ASSERT_EQ(r.setPosition(9), nullptr);
    CErrorPtr err = r.read(buf, 4);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CFileReader_read_ReadBeyondEnd");
    EXPECT_EQ(err->text().utf8(), "Unable to read from file '" + name.utf8() + "' (required 4 bytes, read 2 bytes).");
}

TEST_F(FileTest, RewriteTruncatesAndAppendContinues) {
    const CString name = path("log.txt");
    CFileWriter w;
    ASSERT_EQ(w.open(name), nullptr);
    writeText(w, "first line\n");
    ASSERT_EQ(w.open(name, true), nullptr);
    writeText(w, "second\n");
    ASSERT_EQ(w.close(), nullptr);
    EXPECT_EQ(contents(name), "first line\nsecond\n");

    ASSERT_EQ(w.open(name), nullptr);
    writeText(w, "new");
    ASSERT_EQ(w.close(), nullptr);
    EXPECT_EQ(contents(name), "new");

    // Appending to a file that does not exist yet creates it.
    ASSERT_EQ(w.open(path("fresh.txt"), true), nullptr);
    writeText(w, "x");
    ASSERT_EQ(w.close(), nullptr);
    EXPECT_EQ(contents(path("fresh.txt")), "x");
}

TEST_F(FileTest, OpenFailuresNameTheFileAndTheSystemCode) {
    CFileReader r;
    const CString missing = path("missing.bin");
    CErrorPtr err = r.open(missing);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CFileReader_open_OpenError");
    EXPECT_EQ(err->text().utf8(), "Unable to open file '" + missing.utf8() + "' for reading (error 2).");
    EXPECT_FALSE(r.isOpen());

    // Reading a closed or failed file fails, it does not crash.
    char byte;
    size_t count = 1;
    EXPECT_NE(r.read(&byte, 1), nullptr);
    EXPECT_NE(r.readStreamed(&byte, count), nullptr);
    uint64_t size;
    err = r.getSize(size);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CFileBase_getSize_FileSizeError");

    // A folder is not a file.
    err = r.open(CString::fromUtf8(m_dir.string()));
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CFileReader_open_OpenError");

    CFileWriter w;
    const CString nowhere = path("no-such-folder/out.bin");
    err = w.open(nowhere);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text().utf8(), "Unable to open file '" + nowhere.utf8() + "' for rewriting (error 2).");
    err = w.open(nowhere, true);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text().utf8(), "Unable to open file '" + nowhere.utf8() + "' for appending (error 2).");
    err = w.write("x", 1);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CFileWriter_write_WriteError");
}

TEST_F(FileTest, ReadWriteFlagCreatesAndWritesThrough) {
    const CString name = path("rw.bin");
    CFileReader r;
    ASSERT_EQ(r.open(name, true), nullptr);
    uint64_t size = 1;
    ASSERT_EQ(r.getSize(size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(fs::exists(name.utf8()));
}

TEST_F(FileTest, PositionsBeyondFourGigabytes) {
    const CString name = path("sparse.bin");
    const uint64_t far = 5'000'000'000ull;
    CFileWriter w;
    ASSERT_EQ(w.open(name), nullptr);
    ASSERT_EQ(w.setPosition(far), nullptr);
    writeText(w, "z");
    uint64_t size = 0;
    ASSERT_EQ(w.getSize(size), nullptr);
    EXPECT_EQ(size, far + 1);
    ASSERT_EQ(w.close(), nullptr);

    CFileReader r;
    ASSERT_EQ(r.open(name), nullptr);
    ASSERT_EQ(r.skip(far), nullptr);
    char c = 0;
    ASSERT_EQ(r.read(&c, 1), nullptr);
    EXPECT_EQ(c, 'z');

    CErrorPtr err = r.setPosition(UINT64_MAX);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CFileBase_setPosition_PosError");
    EXPECT_EQ(err->text().utf8(),
              "Unable to set file's '" + name.utf8() + "' position to 18446744073709551615 (error 22).");
    err = r.skip(UINT64_MAX);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->key(), "@zelstr_CFileReader_skip_PosError");
}

TEST_F(FileTest, StandardHandlesAreNeverClosed) {
    {
        CFileReader in;
        CFileWriter out, err;
        ASSERT_EQ(in.open("stdin"), nullptr);
        ASSERT_EQ(out.open("stdout"), nullptr);
        ASSERT_EQ(err.open("stderr"), nullptr);
        EXPECT_TRUE(in.isStandardHandle() && out.isStandardHandle() && err.isStandardHandle());
        EXPECT_EQ(in.handle(), 0);
        EXPECT_EQ(out.handle(), 1);
        EXPECT_EQ(err.handle(), 2);
        ASSERT_EQ(in.close(), nullptr);
        ASSERT_EQ(out.close(), nullptr);
        // `err` goes out of scope open: the destructor must not close it either.
    }
    // Had any of 0, 1 or 2 been closed, the next files would get them.
    CFileWriter a, b, c;
    ASSERT_EQ(a.open(path("a")), nullptr);
    ASSERT_EQ(b.open(path("b")), nullptr);
    ASSERT_EQ(c.open(path("c")), nullptr);
    EXPECT_GT(a.handle(), 2);
    EXPECT_GT(b.handle(), 2);
    EXPECT_GT(c.handle(), 2);
}

}  // namespace
}  // namespace zel
