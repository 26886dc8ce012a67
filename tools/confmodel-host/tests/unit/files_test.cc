// The files the program writes appear whole or not at all: a run killed
// while writing leaves the target as it was, and the next run clears what
// it left.
#include "output/files.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string contents(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
}

// The names in a directory but "." and "..".
std::vector<std::string> names_in(const std::string &dir) {
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    while (dirent *e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    closedir(d);
    return names;
}

// A directory of its own, removed with what it holds.
class Directory {
  public:
    explicit Directory(std::string pattern) : path_(std::move(pattern)) {
        if (mkdtemp(path_.data()) == nullptr) path_.clear();
    }
    ~Directory() {
        if (path_.empty()) return;
        for (const std::string &name : names_in(path_))
            unlink((path_ + "/" + name).c_str());
        rmdir(path_.c_str());
    }
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

TEST(NewFile, AKilledWriterLeavesTheTargetAsItWas) {
    for (int signal : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        Directory dir("files-test-XXXXXX");
        const std::string target = dir.path() + "/dump.jsonl";
        write(target, "before\n");
        pid_t child = fork();
        if (child == 0) {
            NewFile file(target, NewFile::Mode::replace);
            write(file.path(), "half of it");
            raise(signal);
            _exit(0);
        }
        int status;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(contents(target), "before\n");
        // A signal it handles removes the temporary file; the next writer
        // clears what a killed one left.
        EXPECT_EQ(names_in(dir.path()).size(), signal == SIGTERM ? 1u : 2u);
        { NewFile next(target, NewFile::Mode::replace); }
        EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"dump.jsonl"});
    }
}

TEST(NewFile, AnExistingTargetIsReplacedOrLeft) {
    Directory dir("files-test-XXXXXX");
    const std::string target = dir.path() + "/dump.jsonl";
    write(target, "before\n");
    chmod(target.c_str(), 0600);
    EXPECT_THROW(NewFile(target, NewFile::Mode::create), Failure);
    {
        NewFile file(target, NewFile::Mode::replace);
        write(file.path(), "after\n");
        EXPECT_EQ(contents(target), "before\n");
        EXPECT_TRUE(file.commit());
    }
    EXPECT_EQ(contents(target), "after\n");
    struct stat replaced;
    ASSERT_EQ(stat(target.c_str(), &replaced), 0);
    EXPECT_EQ(replaced.st_mode & 07777, 0600u);
    // Created meanwhile by another: creating leaves it and its own file goes.
    const std::string fresh = dir.path() + "/fresh.jsonl";
    {
        NewFile file(fresh, NewFile::Mode::create);
        write(file.path(), "mine\n");
        write(fresh, "theirs\n");
        EXPECT_FALSE(file.commit());
    }
    EXPECT_EQ(contents(fresh), "theirs\n");
    EXPECT_EQ(names_in(dir.path()).size(), 2u);
}

// The temporary file stands beside its target, so that committing is a
// rename within one file system wherever the target is.
TEST(NewFile, ATargetOnAnotherFileSystem) {
    struct stat here, shm;
    if (stat(".", &here) != 0 || stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
        GTEST_SKIP() << "no /dev/shm on a file system other than the working directory's";
    Directory dir("/dev/shm/files-test-XXXXXX");
    ASSERT_FALSE(dir.path().empty());
    const std::string target = dir.path() + "/dump.jsonl";
    NewFile file(target, NewFile::Mode::create);
    write(file.path(), "written\n");
    EXPECT_TRUE(file.commit());
    EXPECT_EQ(contents(target), "written\n");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"dump.jsonl"});
}

} // namespace
