#include "framework/Exception.h"
#include "framework/ReplacingFile.h"
#include "framework/Streams.h"
#include "support/RunAsNobody.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Makes this process's file systems take no file without a name (as some do), so that every
// new content gets a hidden name beside its file.
void RefuseUnnamedFiles()
{
    struct sock_filter refuse[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_TMPFILE & ~O_DIRECTORY, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {sizeof refuse / sizeof refuse[0], refuse};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        ::_exit(3);
}

// A signal that ends the program takes away the hidden file of a content not yet committed,
// and ends it as the signal does; the file being replaced keeps its content.
TEST_F(FileStreamTest, EndingSignalsRemoveHiddenFilesAndEndTheProgramAsTheyDo)
{
    Write(Path("song.wav"), "old");
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            RefuseUnnamedFiles();
            RemoveTemporariesOnSignals();
            TReplacingFile replacing(Path("song.wav"));
            replacing.Stream().WriteBuffer("new", 3);
            (void)!::write(ready[1], "!", 1);
            for (;;)
                ::pause();
        }
        char word = 0;
        ASSERT_EQ(::read(ready[0], &word, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << "a hidden file";
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << signal;
        EXPECT_EQ(Contents(Path("song.wav")), "old");
    }
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
