#include "framework/Exception.h"
#include "framework/ReplacingFile.h"
#include "framework/Streams.h"
#include "support/RunAsNobody.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace {

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "jeerbox-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const char* name) const { return (dir / name).string(); }
    static std::string Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Write(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string ErrorOf(const std::string& path, TFileMode mode)
    {
        try {
            TFileStream file(path, mode);
        } catch (const EStreamError& e) {
            return e.Message();
        }
        return "no error";
    }

    fs::path dir;
};

TEST_F(FileStreamTest, ReadsWritesSeeksAndResizesTheFileItself)
{
    {
        TFileStream file(Path("a.bin"), TFileMode::Create);
        file.WriteBuffer("abcdef", 6);
        file.SetPosition(2);
        file.WriteBuffer("XY", 2);
        EXPECT_EQ(file.Size(), 6);
        file.SetSize(5);
        EXPECT_EQ(file.Seek(0, TSeekOrigin::End), 5);
        file.Close();
    }
    EXPECT_EQ(Contents(Path("a.bin")), "abXYe");

    TFileStream read(Path("a.bin"), TFileMode::OpenRead);
    char buffer[8] = {};
    EXPECT_EQ(read.Read(buffer, 8), 5) << "a read past the end returns what there is";
    EXPECT_THROW(read.ReadBuffer(buffer, 1), EReadError);
    EXPECT_THROW(read.WriteBuffer("z", 1), EWriteError) << "opened for reading only";

    TFileStream create(Path("a.bin"), TFileMode::Create);
    EXPECT_EQ(create.Size(), 0) << "creating empties an existing file";
}

TEST_F(FileStreamTest, FailuresNameTheFileAndTheSystemsReason)
{
    EXPECT_EQ(ErrorOf(Path("none.bin"), TFileMode::OpenRead),
              "Cannot open file \"" + Path("none.bin") + "\". No such file or directory");
    EXPECT_EQ(ErrorOf(dir.string(), TFileMode::OpenRead), "Cannot open file \"" + dir.string() + "\". Is a directory")
        << "a folder is no file to read";
    EXPECT_EQ(ErrorOf(Path("no/such.bin"), TFileMode::Create),
              "Cannot create file \"" + Path("no/such.bin") + "\". No such file or directory");
    EXPECT_EQ(ErrorOf("", TFileMode::OpenRead), "Cannot open file \"\". No file name specified");
    EXPECT_THROW(TFileStream(Path("none.bin"), TFileMode::OpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(Path("no/such.bin"), TFileMode::Create), EFCreateError);
}

TEST_F(FileStreamTest, ReplacingFileChangesNothingUntilCommitAndLeavesNoLeftovers)
{
    Write(Path("song.wav"), "old");
    {
        TReplacingFile replacing(Path("song.wav"));
        replacing.Stream().WriteBuffer("new content", 11);
        EXPECT_EQ(Contents(Path("song.wav")), "old");
    }
    EXPECT_EQ(Contents(Path("song.wav")), "old") << "abandoned without Commit";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary file left";

    TReplacingFile replacing(Path("song.wav"));
    replacing.Stream().WriteBuffer("new", 3);
    replacing.Commit();
    EXPECT_EQ(Contents(Path("song.wav")), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(FileStreamTest, ReplacingADanglingLinkWritesTheFileItPointsAt)
{
    fs::create_directory(dir / "sub");
    fs::create_symlink("../target.gam", dir / "sub" / "link.gam");
    TReplacingFile replacing(Path("sub/link.gam"));
    replacing.Stream().WriteBuffer("page", 4);
    replacing.Commit();
    EXPECT_TRUE(fs::is_symlink(dir / "sub" / "link.gam"));
    EXPECT_EQ(Contents(Path("target.gam")), "page") << "a relative link is read from the link's folder";

    EXPECT_THROW(TReplacingFile(""), EFCreateError);
}

TEST_F(FileStreamTest, ReplacingFileRefusesWhatIsNoRegularFile)
{
    ASSERT_EQ(::mkfifo(Path("pipe.wav").c_str(), 0666), 0);
    // A character device like the null device; only root may make one.
    const bool device = ::mknod(Path("null.wav").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    for (const char* name : {"pipe.wav", "null.wav"}) {
        if (std::string(name) == "null.wav" && !device)
            continue;
        try {
            TReplacingFile replacing(Path(name));
            ADD_FAILURE() << name << " was taken for a file";
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.Message(), "Cannot create file \"" + Path(name) + "\". It is not a regular file") << name;
        }
    }
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.wav"));
    if (device) {
        EXPECT_TRUE(fs::is_character_file(dir / "null.wav"));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), device ? 2 : 1);
}

TEST_F(FileStreamTest, ReplacedFileKeepsEveryPermissionBit)
{
    Write(Path("shared.wav"), "old");
    ASSERT_EQ(::chmod(Path("shared.wav").c_str(), 02640), 0);
    TReplacingFile replacing(Path("shared.wav"));
    replacing.Stream().WriteBuffer("new", 3);
    replacing.Commit();
    struct stat info {};
    ASSERT_EQ(::stat(Path("shared.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 02640u);
    EXPECT_EQ(Contents(Path("shared.wav")), "new");
}

TEST_F(FileStreamTest, WritableFileInAFolderThatTakesNoNewFileIsWrittenInPlace)
{
    RunAsNobody nobody(dir.string());
    if (!nobody.Active())
        GTEST_SKIP() << "cannot leave root here";
    Write(Path("long.wav"), std::string(100, 'o'));
    Write(Path("kept.wav"), std::string(100, 'k'));
    ASSERT_EQ(::chmod(Path("long.wav").c_str(), 0640), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0500), 0);

    {
        TReplacingFile abandoned(Path("kept.wav"));
        EXPECT_EQ(Contents(Path("kept.wav")), std::string(100, 'k')) << "nothing is cut before Commit";
    }
    EXPECT_EQ(Contents(Path("kept.wav")), std::string(100, 'k'));

    TReplacingFile replacing(Path("long.wav"));
    replacing.Stream().WriteBuffer("short", 5);
    replacing.Commit();
    EXPECT_EQ(Contents(Path("long.wav")), "short");
    struct stat info {};
    ASSERT_EQ(::stat(Path("long.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_THROW(TReplacingFile(Path("new.wav")), EFCreateError) << "a new file still needs the folder";
    ::chmod(dir.c_str(), 0700);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << "no temporary file";
}

}
