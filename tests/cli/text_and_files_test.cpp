// The emulator's text and file helpers, shared by scenario files, scripts and the files of a run:
// how lines and words are cut, and a file that replaces the old one only once it is whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/formats/files.h"
#include "sim/formats/text.h"
#include "tests/support/read_file.h"

namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string_view>;

TEST(Text, LinesEndAtNewlinesAndWordsAtSpacesAndTabsOnly) {
    EXPECT_EQ(sim::splitLines("a\r\nb\n\nc"), (Words{"a", "b", "", "c"}));
    EXPECT_EQ(sim::splitLines("last\r"), Words{"last"});
    EXPECT_EQ(sim::splitLines(""), Words{});
    // A carriage return anywhere but at a line's end is a byte of its word.
    EXPECT_EQ(sim::splitWords(" \tkey\tM  x\ry "), (Words{"key", "M", "x\ry"}));
    EXPECT_EQ(sim::trim(" \t a b \t"), "a b");
    EXPECT_EQ(sim::trim("\rx\r"), "\rx\r");
    EXPECT_EQ(sim::trim(" \t "), "");
    EXPECT_EQ(sim::trimStart("\t  ITEM 1 "), "ITEM 1 ");
    EXPECT_EQ(sim::lineMessage("a.scn", 7, "what"), "a.scn:7: what");
}

class ReplacingFileTest : public ::testing::Test {
protected:
    ReplacingFileTest() {
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(target) << "OLD";
    }
    ~ReplacingFileTest() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    const fs::path dir = fs::temp_directory_path() / ("kestrane-replacing-" + std::to_string(getpid()));
    const fs::path target = dir / "a.scn";
    std::string error;
};

TEST_F(ReplacingFileTest, TheOldFileStaysUntilTheNewOneIsWholeAndCommitted) {
    {
        sim::ReplacingFile file(target, ".part");
        EXPECT_EQ(file.temporary(), dir / "a.scn.part");
        ASSERT_TRUE(file.write("NEW", error)) << error;
        EXPECT_EQ(test::readFile(target), "OLD");
        EXPECT_EQ(test::readFile(file.temporary()), "NEW");
    }
    // Not committed: the temporary file goes, the old one is as it was.
    EXPECT_FALSE(fs::exists(dir / "a.scn.part"));
    EXPECT_EQ(test::readFile(target), "OLD");

    sim::ReplacingFile file(target);
    ASSERT_TRUE(file.open(error)) << error;
    ASSERT_TRUE(file.write("NEW", error)) << error;
    ASSERT_TRUE(file.commit(error)) << error;
    EXPECT_EQ(test::readFile(target), "NEW");
    EXPECT_FALSE(fs::exists(dir / "a.scn.tmp"));
}

TEST_F(ReplacingFileTest, AWriterOfItsOwnWritesTheTemporaryFileAndFailuresNameTheFile) {
    {
        sim::ReplacingFile file(target);
        EXPECT_FALSE(file.writeWith([](const std::string& name) {
            std::ofstream(name) << "HALF";
            return false;
        }));
    }
    EXPECT_FALSE(fs::exists(dir / "a.scn.tmp"));
    EXPECT_EQ(test::readFile(target), "OLD");

    // A folder where the temporary file would go is not this file's to remove.
    fs::create_directory(dir / "a.scn.tmp");
    {
        sim::ReplacingFile file(target);
        EXPECT_FALSE(file.write("NEW", error));
        EXPECT_EQ(error.rfind((dir / "a.scn.tmp").string() + ": cannot write: ", 0), 0u) << error;
    }
    EXPECT_TRUE(fs::is_directory(dir / "a.scn.tmp"));

    EXPECT_FALSE(sim::readFile((dir / "none").string(), error, " the script"));
    EXPECT_EQ(error.rfind((dir / "none").string() + ": cannot open the script: ", 0), 0u) << error;
    const std::optional<std::string> text = sim::readFile(target.string(), error);
    ASSERT_TRUE(text) << error;
    EXPECT_EQ(*text, "OLD");
}

}  // namespace
