#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "../support/run_cli.hpp"
#include "document_io.hpp"

namespace razavovivodidi {
namespace {

namespace fs = std::filesystem;
using vorel_test::ScratchDir;
using vorel_test::slurp;

mode_t mode_of(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(WriteFile, CreatesMissingParentsAndWritesExactBytes) {
    ScratchDir dir;
    const fs::path path = dir / "a/b/doc.json";
    ASSERT_TRUE(write_file(path, "{}"));
    EXPECT_EQ(slurp(path), "{}");
    EXPECT_TRUE(fs::is_directory(dir / "a/b"));
}

TEST(WriteFile, ReplacesAWholeFileAndLeavesNoTemporaryBehind) {
    ScratchDir dir;
    const fs::path path = dir.write("doc.json", std::string(10000, 'x'));
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(write_file(path, "short"));
    EXPECT_EQ(slurp(path), "short");
    EXPECT_EQ(mode_of(path), 0640u) << "a replaced file keeps its permission bits";
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(WriteFile, ExplicitModeAndDefaultMode) {
    ScratchDir dir;
    ASSERT_TRUE(write_file(dir / "secret.json", "{}", 0600));
    EXPECT_EQ(mode_of(dir / "secret.json"), 0600u);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ASSERT_TRUE(write_file(dir / "plain.json", "{}"));
    EXPECT_EQ(mode_of(dir / "plain.json"), 0666u & ~mask);
}

TEST(WriteFile, FollowsASymlinkAndReplacesWhatItPointsTo) {
    ScratchDir dir;
    const fs::path real = dir.write("real/target.json", "old");
    const fs::path link = dir / "link.json";
    fs::create_symlink("real/target.json", link);
    ASSERT_TRUE(write_file(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(slurp(real), "new");
    // A dangling link is followed too: the file appears where it points.
    fs::create_symlink("missing.json", dir / "dangling.json");
    ASSERT_TRUE(write_file(dir / "dangling.json", "made"));
    EXPECT_EQ(slurp(dir / "missing.json"), "made");
}

TEST(WriteFile, NonRegularTargetsAreWrittenInPlace) {
    ASSERT_TRUE(write_file("/dev/null", "anything"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(WriteFile, FailuresUseTheSystemsWords) {
    ScratchDir dir;
    dir.write("file", "x");
    // The parent cannot be created: the system error alone, without a prefix.
    auto parent = write_file(dir / "file/child/doc.json", "{}");
    ASSERT_FALSE(parent);
    EXPECT_EQ(parent.error(), "Not a directory (os error 20)");
    // The target is a directory.
    fs::create_directories(dir / "adir");
    auto onto_dir = write_file(dir / "adir", "{}");
    ASSERT_FALSE(onto_dir);
    EXPECT_EQ(onto_dir.error(), "writing " + (dir / "adir").string() + ": Is a directory (os error 21)");
}

TEST(ReadTextFile, ReportsOsErrorsAndNonUtf8) {
    ScratchDir dir;
    const fs::path missing = dir / "missing.json";
    EXPECT_EQ(read_text_file(missing).error(),
              "reading " + missing.string() + ": No such file or directory (os error 2)");
    EXPECT_EQ(read_text_file(dir.path()).error(), "reading " + dir.path().string() + ": Is a directory (os error 21)");
    const fs::path latin1 = dir.write("latin1.json", "\"caf\xE9\"");
    EXPECT_EQ(read_text_file(latin1).error(), "reading " + latin1.string() + ": stream did not contain valid UTF-8");
    const fs::path good = dir.write("good.json", "\"caf\xC3\xA9\"");
    EXPECT_EQ(*read_text_file(good), "\"caf\xC3\xA9\"");
}

}  // namespace
}  // namespace razavovivodidi
