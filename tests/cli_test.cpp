// End-to-end tests of wobblegen-cli: the real binary, its output files, streams and statuses,
// with its standard streams closed, full or dead, under file-size limits and interrupted.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "synth/test_tone.h"
#include "synth/tone_kernels.h"
#include "tests/test_support.h"

namespace {

// The default file's digest (its md5 is f381080cbdf77566deea73bb5ada1bf2).
constexpr uint64_t kDefaultFileDigest = 0x83ffb3725f2930f5u;
// An unprivileged user for the read-only directory, where the tests run as root.
constexpr uid_t kNobody = 65534;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

// The summary wobblegen-cli prints for a header of frames samples at 44100 Hz.
std::string Summary(long frames) {
    return "Chunk size = " + std::to_string(36 + 2 * frames) +
           "\n"
           "Format chunk size = 16\n"
           "Format tag is 1 = WAVE_FORMAT_PCM Microsoft\n"
           "Number of channels = 1\n"
           "Sample rate = 44100\n"
           "Average bytes per second = 88200\n"
           "BlockAlign = 2\n"
           "Sample size = 16\n"
           "Data size = " +
           std::to_string(2 * frames) + "\n";
}

// How one standard descriptor of the child is set up.
struct Stream {
    enum Kind { kScratchFile, kClosed, kPath, kDescriptor } kind;
    std::string path;  // kScratchFile: a name in the scratch folder; kPath: any path
    int fd = -1;       // kDescriptor
};
Stream ScratchFile(const std::string& name) {
    return {Stream::kScratchFile, name};
}
Stream Closed() {
    return {Stream::kClosed, ""};
}
Stream OnPath(const std::string& path) {
    return {Stream::kPath, path};
}
Stream OnDescriptor(int fd) {
    return {Stream::kDescriptor, "", fd};
}

// One run of wobblegen-cli: arguments, environment, standard streams and limits. Signals have
// their default action in the child, whatever the test runner's are.
struct Launch {
    std::vector<std::string> arguments;
    std::vector<std::string> environment;  // NAME=VALUE added
    Stream in = OnPath("/dev/null");
    Stream out = ScratchFile("out.txt");
    Stream err = ScratchFile("err.txt");
    long fileSizeLimit = -1;  // bytes, RLIMIT_FSIZE
    bool unprivileged = false;
};

struct CliRun {
    int status = -1;  // the exit status, or 128 + the signal, as a shell reports it
    int signal = 0;   // the signal that ended the process
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/wobblegen-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::chmod(dir_.c_str(), 0755);  // reachable for the unprivileged runs
    }
    void TearDown() override {
        std::system(("chmod -R u+w '" + dir_ + "'; rm -rf '" + dir_ + "'").c_str());
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    pid_t Start(const Launch& launch) {
        const pid_t pid = ::fork();
        if (pid != 0) return pid;
        if (::chdir(dir_.c_str()) != 0) std::_Exit(126);
        // Every source first, above the standard descriptors, so that no opening lands on a
        // descriptor that is to be closed; then into place.
        constexpr int kAside = 10;
        const Stream* streams[3] = {&launch.in, &launch.out, &launch.err};
        int sources[3] = {-1, -1, -1};
        for (int fd = 0; fd < 3; ++fd) {
            const Stream& s = *streams[fd];
            int opened = -1;
            switch (s.kind) {
                case Stream::kClosed:
                    continue;
                case Stream::kScratchFile:
                    opened = ::open(s.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                    break;
                case Stream::kPath:
                    opened = ::open(s.path.c_str(), fd == 0 ? O_RDONLY : O_WRONLY);
                    break;
                case Stream::kDescriptor:
                    opened = ::dup(s.fd);
                    break;
            }
            sources[fd] = opened < 0 ? -1 : ::fcntl(opened, F_DUPFD, kAside + fd);
            if (sources[fd] < 0) std::_Exit(126);
        }
        for (int fd = 0; fd < 3; ++fd) {
            if (sources[fd] < 0) {
                ::close(fd);
            } else if (::dup2(sources[fd], fd) != fd) {
                std::_Exit(126);
            }
        }
        ::close_range(3, ~0u, 0);
        for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::umask(022);
        if (launch.fileSizeLimit >= 0) {
            const rlim_t limit = static_cast<rlim_t>(launch.fileSizeLimit);
            const struct rlimit bytes = {limit, limit};
            if (::setrlimit(RLIMIT_FSIZE, &bytes) != 0) std::_Exit(126);
        }
        if (launch.unprivileged && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                std::_Exit(126);
        }
        for (const std::string& variable : launch.environment) {
            const std::size_t equals = variable.find('=');
            ::setenv(variable.substr(0, equals).c_str(), variable.substr(equals + 1).c_str(), 1);
        }
        std::vector<char*> argv = {const_cast<char*>(WOBBLEGEN_CLI)};
        for (const std::string& argument : launch.arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(WOBBLEGEN_CLI, argv.data());
        std::_Exit(127);
    }

    CliRun Finish(pid_t pid, const Launch& launch) {
        int raw = 0;
        CliRun run;
        if (::waitpid(pid, &raw, 0) != pid) return run;
        if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
        if (WIFSIGNALED(raw)) {
            run.signal = WTERMSIG(raw);
            run.status = 128 + run.signal;
        }
        if (launch.out.kind == Stream::kScratchFile) run.out = ReadFile(Path(launch.out.path));
        if (launch.err.kind == Stream::kScratchFile) run.err = ReadFile(Path(launch.err.path));
        return run;
    }

    CliRun Run(const Launch& launch) { return Finish(Start(launch), launch); }
    CliRun Run(const std::vector<std::string>& arguments) {
        Launch launch;
        launch.arguments = arguments;
        return Run(launch);
    }

    bool Exists(const std::string& name) const {
        struct stat info;
        return ::lstat(Path(name).c_str(), &info) == 0;
    }
    // Names in a folder of the scratch directory, without "." and "..", sorted.
    std::vector<std::string> Names(const std::string& folder = "") const {
        std::vector<std::string> names;
        DIR* d = ::opendir(folder.empty() ? dir_.c_str() : Path(folder).c_str());
        if (d == nullptr) return names;
        while (const dirent* entry = ::readdir(d)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};

using NameList = std::vector<std::string>;

// ---- The file and its summary ---------------------------------------------------------------

TEST_F(CliTest, DefaultsWriteTestWavAndPrintTheSummary) {
    const CliRun run = Run(std::vector<std::string>{});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("Opened test.wav\n") + kDefaultHeaderSummary);
    EXPECT_EQ(run.err, "");
    const std::string file = ReadFile(Path("test.wav"));
    EXPECT_EQ(file.size(), 2646044u);
    EXPECT_EQ(Fnv1a64(file), kDefaultFileDigest);
    EXPECT_EQ(Names(), (NameList{"err.txt", "out.txt", "test.wav"})) << "no temporary file is left";
}

TEST_F(CliTest, KernelFromTheEnvironmentIsUsedOrItsNameReported) {
    const std::string summary = Run(std::vector<std::string>{}).out;
    const std::string fastest = ToneKernelName(tone_kernels::ChooseKernel(nullptr));
    Launch launch;
    // A name that is not a kernel, or not in this spelling: one line on standard error, the
    // fastest kernel, and standard output and the file as always.
    for (const std::string name : {"bogus", "AVX2"}) {
        launch.environment = {"WOBBLEGEN_TONE_KERNEL=" + name};
        const CliRun run = Run(launch);
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.out, summary) << name;
        EXPECT_EQ(run.err, "WOBBLEGEN_TONE_KERNEL=" + name +
                               ": no such kernel (portable, sse4, avx2, avx512); using " + fastest +
                               "\n");
        EXPECT_EQ(Fnv1a64(ReadFile(Path("test.wav"))), kDefaultFileDigest) << name;
    }
    // An available kernel is taken silently and writes the same file; so is an empty value.
    for (const std::string name : {"portable", fastest.c_str(), ""}) {
        launch.environment = {"WOBBLEGEN_TONE_KERNEL=" + name};
        const CliRun run = Run(launch);
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.out, summary) << name;
        EXPECT_EQ(run.err, "") << name;
        EXPECT_EQ(Fnv1a64(ReadFile(Path("test.wav"))), kDefaultFileDigest) << name;
    }
    // A kernel this processor lacks, where there is one.
    for (ToneKernel kernel : {ToneKernel::kSse4, ToneKernel::kAvx2, ToneKernel::kAvx512}) {
        if (ToneKernelAvailable(kernel)) continue;
        const std::string name = ToneKernelName(kernel);
        launch.environment = {"WOBBLEGEN_TONE_KERNEL=" + name};
        const CliRun run = Run(launch);
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.err, "WOBBLEGEN_TONE_KERNEL=" + name +
                               ": not available on this processor or in this build; using " +
                               fastest + "\n");
    }
}

TEST_F(CliTest, OptionsReachTheGenerator) {
    const CliRun run = Run({"--rate", "48000", "--center", "3000", "--level", "0.5", "--mod", "2",
                            "--duration", "2", "-o", "x.wav"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Opened x.wav\n"), std::string::npos);
    EXPECT_NE(run.out.find("Sample rate = 48000\n"), std::string::npos);
    EXPECT_EQ(ReadFile(Path("x.wav")).size(), 44u + 2u * 96000u);
}

// rate x duration + 0.5, truncated: products that fall just below a whole number in binary
// (44100 x 0.7 is 30869.999999999996) still round up to it.
TEST_F(CliTest, FrameCountRoundsProductsJustBelowAWholeNumber) {
    const struct {
        const char* rate;
        const char* duration;
        size_t frames;
    } cases[] = {{"44100", "0.7", 30870}, {"44100", "0.35", 15435}, {"48000", "0.009", 432},
                 {"8000", "1.001", 8008}, {"2", "0.25", 1},         {"2", "0.2499", 0}};
    for (const auto& c : cases) {
        const CliRun run = Run({"--rate", c.rate, "--duration", c.duration, "-o", "r.wav"});
        EXPECT_EQ(run.status, 0) << c.rate << " x " << c.duration;
        EXPECT_EQ(ReadFile(Path("r.wav")).size(), 44 + 2 * c.frames)
            << c.rate << " x " << c.duration;
    }
}

// ---- Standard streams -----------------------------------------------------------------------

// A closed descriptor must not be taken by the WAV file: the file stays byte for byte the
// default one, and output meant for a closed stream makes the status 1.
TEST_F(CliTest, ClosedStandardStreamsNeverReceiveTheFile) {
    const struct {
        const char* what;
        bool inClosed, outClosed, errClosed;
        bool warning;  // a bad WOBBLEGEN_TONE_KERNEL: a line meant for standard error
        int status;
        const char* err;  // when standard error is open
    } cases[] = {
        {"standard output", false, true, false, false, 1,
         "Cannot write standard output (it was closed): the file x.wav itself is complete\n"},
        {"standard error with a warning", false, false, true, true, 1, nullptr},
        {"standard error without a warning", false, false, true, false, 0, nullptr},
        {"standard input", true, false, false, false, 0, ""},
        {"all three", true, true, true, true, 1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(Path("x.wav").c_str());
        Launch launch;
        launch.arguments = {"-o", "x.wav"};
        if (c.inClosed) launch.in = Closed();
        if (c.outClosed) launch.out = Closed();
        if (c.errClosed) launch.err = Closed();
        if (c.warning) launch.environment = {"WOBBLEGEN_TONE_KERNEL=bogus"};
        const CliRun run = Run(launch);
        EXPECT_EQ(run.status, c.status);
        if (!c.outClosed) {
            EXPECT_EQ(run.out, std::string("Opened x.wav\n") + kDefaultHeaderSummary);
        }
        if (c.err != nullptr) {
            EXPECT_EQ(run.err, c.err);
        }
        EXPECT_EQ(Fnv1a64(ReadFile(Path("x.wav"))), kDefaultFileDigest);
    }
}

// A full standard output or a pipe without reader: the file is complete and replaces the old
// one, the status is 1, and standard error says that the file is fine. SIGPIPE does not end
// the process half-way.
TEST_F(CliTest, LostStandardOutputKeepsTheFileAndSaysSo) {
    WriteFile(Path("c.wav"), "the previous file");
    Launch full;
    full.arguments = {"-o", "c.wav"};
    full.out = OnPath("/dev/full");
    CliRun run = Run(full);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "Cannot write standard output (No space left on device): the file c.wav itself is "
              "complete\n");
    EXPECT_EQ(Fnv1a64(ReadFile(Path("c.wav"))), kDefaultFileDigest);

    WriteFile(Path("c.wav"), "the previous file");
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);  // the reader has gone before the first line
    Launch dead;
    dead.arguments = {"-o", "c.wav"};
    dead.out = OnDescriptor(ends[1]);
    const pid_t pid = Start(dead);
    ::close(ends[1]);
    run = Finish(pid, dead);
    EXPECT_EQ(run.signal, 0) << "killed by signal " << run.signal;
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "Cannot write standard output (Broken pipe): the file c.wav itself is complete\n");
    EXPECT_EQ(Fnv1a64(ReadFile(Path("c.wav"))), kDefaultFileDigest);

    // A failure of the file itself is reported on standard error too when standard output is
    // lost; and --help to a full standard output is an error.
    Launch both;
    both.arguments = {"-o", "no/such/dir/x.wav"};
    both.out = OnPath("/dev/full");
    run = Run(both);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Cannot open no/such/dir/x.wav\n");
    Launch help;
    help.arguments = {"--help"};
    help.out = OnPath("/dev/full");
    run = Run(help);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "wobblegen-cli: cannot write standard output (No space left on device)\n");
}

// ---- Output files ---------------------------------------------------------------------------

TEST_F(CliTest, UnopenablePathEndsWithStatusOne) {
    const CliRun run = Run({"-o", "no/such/dir/x.wav"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Cannot open no/such/dir/x.wav\n");
    EXPECT_EQ(run.err, "");
}

// Writes fail on a full device and past a file-size limit (with SIGXFSZ at its default, which
// would end the process); a 44-byte file fails only when the stream is closed. The device is
// kept, and a regular file that was there before is untouched: nothing else is left.
TEST_F(CliTest, FailedWriteOrCloseKeepsThePreviousFile) {
    CliRun run = Run({"--duration", "0", "-o", "/dev/full"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Opened /dev/full\n" + Summary(0) + "Cannot write /dev/full\n");
    run = Run({"-o", "/dev/full"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Opened /dev/full\n" + Summary(1323000) + "Cannot write /dev/full\n");
    struct stat info;
    ASSERT_EQ(::stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));

    // The limit holds for standard output and error too: with no byte allowed, they go to
    // the null device and only the status tells.
    const struct {
        const char* duration;
        long limit;  // bytes
    } limits[] = {{"30", 100 * 512}, {"0", 0}};
    ::unlink(Path("out.txt").c_str());
    ::unlink(Path("err.txt").c_str());
    for (const auto& l : limits) {
        SCOPED_TRACE(l.limit);
        for (const bool before : {true, false}) {
            ::unlink(Path("cut.wav").c_str());
            if (before) WriteFile(Path("cut.wav"), "the previous file");
            Launch launch;
            launch.arguments = {"--duration", l.duration, "-o", "cut.wav"};
            launch.fileSizeLimit = l.limit;
            launch.out = launch.err = OnPath("/dev/null");
            run = Run(launch);
            EXPECT_EQ(run.status, 1) << "signal " << run.signal;
            if (before) {
                EXPECT_EQ(ReadFile(Path("cut.wav")), "the previous file");
                EXPECT_EQ(Names(), (NameList{"cut.wav"}));
            } else {
                EXPECT_EQ(Names(), NameList{});
            }
        }
    }
    Launch limited;
    limited.arguments = {"-o", "cut.wav"};
    limited.fileSizeLimit = 100 * 512;
    run = Run(limited);
    EXPECT_EQ(run.out, "Opened cut.wav\n" + Summary(1323000) + "Cannot write cut.wav\n");
}

// A chain of relative links: the final target is written (its temporary file beside it), the
// links stay links, and a failure leaves target and links as they were. A dangling link
// creates its target. Permissions: the old file's, or 0666 less the umask for a new one.
TEST_F(CliTest, SymbolicLinksAreFollowedAndStayLinks) {
    ASSERT_EQ(::mkdir(Path("sub").c_str(), 0755), 0);
    WriteFile(Path("sub/real.wav"), "the previous file");
    ASSERT_EQ(::chmod(Path("sub/real.wav").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("sub/hop", Path("link.wav").c_str()), 0);
    ASSERT_EQ(::symlink("../sub/real.wav", Path("sub/hop").c_str()), 0);
    ASSERT_EQ(::symlink("sub/new.wav", Path("dangling.wav").c_str()), 0);

    Launch limited;
    limited.arguments = {"-o", "link.wav"};
    limited.fileSizeLimit = 100 * 512;
    CliRun run = Run(limited);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFile(Path("sub/real.wav")), "the previous file");

    run = Run({"-o", "link.wav"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Fnv1a64(ReadFile(Path("sub/real.wav"))), kDefaultFileDigest);
    run = Run({"--duration", "0", "-o", "dangling.wav"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadFile(Path("sub/new.wav")).size(), 44u);

    struct stat info;
    for (const char* link : {"link.wav", "sub/hop", "dangling.wav"}) {
        ASSERT_EQ(::lstat(Path(link).c_str(), &info), 0) << link;
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << link;
    }
    ASSERT_EQ(::stat(Path("sub/real.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    ASSERT_EQ(::stat(Path("sub/new.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(Names(), (NameList{"dangling.wav", "err.txt", "link.wav", "out.txt", "sub"}));
    EXPECT_EQ(Names("sub"), (NameList{"hop", "new.wav", "real.wav"}));
}

// A real full file system behind a link, where this test may mount one (as root): the link
// stays, its target keeps the previous contents, and no temporary file is left on it.
TEST_F(CliTest, FullFileSystemBehindALinkKeepsLinkAndTarget) {
    const std::string small = Path("small");
    ASSERT_EQ(::mkdir(small.c_str(), 0755), 0);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "no small file system to fill here: " << std::strerror(errno);
    }
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{small};
    WriteFile(Path("small/real.wav"), "the previous file");
    ASSERT_EQ(::symlink("small/real.wav", Path("link.wav").c_str()), 0);
    const CliRun run = Run({"-o", "link.wav"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              std::string("Opened link.wav\n") + kDefaultHeaderSummary + "Cannot write link.wav\n");
    struct stat info;
    ASSERT_EQ(::lstat(Path("link.wav").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(Path("small/real.wav")), "the previous file");
    EXPECT_EQ(Names("small"), (NameList{"real.wav"}));
}

// SIGTERM, Ctrl-C and a hang-up while a long file is written: the process ends with the
// signal, the partial file is gone, and the file that was there before is untouched.
TEST_F(CliTest, InterruptionLeavesNoPartialFile) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        for (const bool before : {true, false}) {
            ::unlink(Path("long.wav").c_str());
            if (before) WriteFile(Path("long.wav"), "the previous file");
            Launch launch;
            // 20 minutes at 192 kHz: 460 MB, seconds to write; stopped after the first MB.
            launch.arguments = {"--rate", "192000", "--duration", "1200", "-o", "long.wav"};
            launch.out = OnPath("/dev/null");
            const pid_t pid = Start(launch);
            bool writing = false;
            for (int wait = 0; wait < 20000 && !writing; ++wait) {
                for (const std::string& name : Names()) {
                    struct stat info;
                    if (name.rfind(".long.wav.", 0) == 0 &&
                        ::stat(Path(name).c_str(), &info) == 0 && info.st_size > (1 << 20))
                        writing = true;
                }
                if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            EXPECT_TRUE(writing) << "no temporary file beside long.wav grew past 1 MB";
            ::kill(pid, signal);
            const CliRun run = Finish(pid, launch);
            EXPECT_EQ(run.signal, signal);
            if (before) {
                EXPECT_EQ(ReadFile(Path("long.wav")), "the previous file");
                EXPECT_EQ(Names(), (NameList{"err.txt", "long.wav"}));
            } else {
                EXPECT_EQ(Names(), (NameList{"err.txt"}));
            }
        }
    }
}

// Devices and FIFOs are written in place. A FIFO whose reader leaves is a write failure
// (status 1, "Cannot write"), not death by SIGPIPE; the FIFO stays a FIFO.
TEST_F(CliTest, DevicesAndFifosAreWrittenInPlace) {
    CliRun run = Run({"-o", "/dev/null"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("Opened /dev/null\n") + kDefaultHeaderSummary);

    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
    for (const bool readerLeaves : {false, true}) {
        SCOPED_TRACE(readerLeaves ? "reader leaves" : "reader reads all");
        Launch launch;
        launch.arguments = {"-o", "fifo"};
        const pid_t pid = Start(launch);
        const int reader = ::open(Path("fifo").c_str(), O_RDONLY);
        ASSERT_GE(reader, 0);
        std::string received;
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(reader, buffer, readerLeaves ? 100 : sizeof buffer)) > 0) {
            received.append(buffer, static_cast<size_t>(n));
            if (readerLeaves) break;
        }
        ::close(reader);
        run = Finish(pid, launch);
        EXPECT_EQ(run.signal, 0);
        if (readerLeaves) {
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.out,
                      std::string("Opened fifo\n") + kDefaultHeaderSummary + "Cannot write fifo\n");
        } else {
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(Fnv1a64(received), kDefaultFileDigest);
        }
        struct stat info;
        ASSERT_EQ(::lstat(Path("fifo").c_str(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
    }
}

// A writable file in a directory where nothing can be created: written in place; a failure
// then leaves it empty rather than claiming audio it does not hold.
TEST_F(CliTest, FileInAReadOnlyDirectoryIsWrittenInPlace) {
    ASSERT_EQ(::mkdir(Path("ro").c_str(), 0755), 0);
    WriteFile(Path("ro/x.wav"), "the previous file");
    ASSERT_EQ(::chmod(Path("ro/x.wav").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(Path("ro").c_str(), 0555), 0);
    Launch launch;
    launch.arguments = {"-o", "ro/x.wav"};
    launch.unprivileged = true;
    launch.out = OnPath("/dev/null");
    CliRun run = Run(launch);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Fnv1a64(ReadFile(Path("ro/x.wav"))), kDefaultFileDigest);

    launch.fileSizeLimit = 100 * 512;
    run = Run(launch);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFile(Path("ro/x.wav")), "");
    EXPECT_EQ(Names("ro"), (NameList{"x.wav"}));
}

// A read-only file in a writable directory is refused as opening it always was: the rename
// that could replace it is not used against its owner's wish.
TEST_F(CliTest, ReadOnlyFileIsRefusedNotReplaced) {
    ASSERT_EQ(::mkdir(Path("rw").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(Path("rw").c_str(), 0777), 0);  // whatever the umask
    WriteFile(Path("rw/x.wav"), "the previous file");
    ASSERT_EQ(::chmod(Path("rw/x.wav").c_str(), 0444), 0);
    Launch launch;
    launch.arguments = {"-o", "rw/x.wav"};
    launch.unprivileged = true;
    const CliRun run = Run(launch);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Cannot open rw/x.wav\n");
    EXPECT_EQ(ReadFile(Path("rw/x.wav")), "the previous file");
    EXPECT_EQ(Names("rw"), (NameList{"x.wav"}));
}

// ---- Arguments ------------------------------------------------------------------------------

// Every number is decimal: leading zeros are zeros, not octal.
TEST_F(CliTest, NumbersAreDecimalWithLeadingZeros) {
    CliRun run = Run({"--rate", "044100", "--duration", "0", "-o", "z.wav"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Sample rate = 44100\n"), std::string::npos) << run.out;
    run = Run({"--rate", "08000", "--duration", "01", "-o", "z.wav"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadFile(Path("z.wav")).size(), 44u + 2u * 8000u);
    // A real option with leading zeros writes what its plain spelling writes.
    ASSERT_EQ(
        Run({"--level", "010", "--center", "03150", "--duration", "0.5", "-o", "a.wav"}).status, 0);
    ASSERT_EQ(Run({"--level", "10", "--duration", "0.5", "-o", "b.wav"}).status, 0);
    EXPECT_EQ(ReadFile(Path("a.wav")), ReadFile(Path("b.wav")));
}

// Both sides of the documented limits that whole runs can show.
TEST_F(CliTest, DocumentedLimitsAreAllowedAndOneBeyondRefused) {
    const struct {
        std::vector<std::string> arguments;
        size_t bytes;  // 0: refused
    } cases[] = {
        {{"--rate", "2147483647", "--duration", "0"}, 44},
        {{"--rate", "2147483648", "--duration", "0"}, 0},
        {{"--rate", "0"}, 44},
        {{"--duration", "0"}, 44},
        {{"--duration", "-0.00001"}, 0},
        // 1e300 cycles: centre x (1 + level / 100) x duration, here 0.01 s at level 1 %.
        {{"--center", "9.9e301", "--duration", "0.01"}, 44 + 2 * 441},
        {{"--center", "9.91e301", "--duration", "0.01"}, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"-o", "limit.wav"});
        ::unlink(Path("limit.wav").c_str());
        const CliRun run = Run(arguments);
        EXPECT_EQ(run.status, c.bytes > 0 ? 0 : 2) << arguments[1] << ' ' << run.err;
        if (c.bytes > 0) {
            EXPECT_EQ(ReadFile(Path("limit.wav")).size(), c.bytes) << arguments[1];
        } else {
            EXPECT_FALSE(Exists("limit.wav")) << arguments[1];
        }
    }
}

// The whole line each bad argument gets: it names the option and what is allowed, with values
// printed in enough digits to tell the rejected one from its limit. No file is touched.
TEST_F(CliTest, BadArgumentsAreRefusedWithStatusTwoAndOneWholeLine) {
    ASSERT_EQ(Run({"-o", "keep.wav", "--duration", "0"}).status, 0);
    const std::string kept = ReadFile(Path("keep.wav"));
    const std::string rate = "give a whole decimal number of Hz from 0 to 2147483647 (see --help)";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--rate", "abc"}, "--rate: 'abc' is not allowed: " + rate},
        {{"--rate", "-1"}, "--rate: '-1' is not allowed: " + rate},
        {{"--rate", "2147483648"}, "--rate: '2147483648' is not allowed: " + rate},
        {{"--rate", "44100.5"}, "--rate: '44100.5' is not allowed: " + rate},
        {{"--rate", "0x10"}, "--rate: '0x10' is not allowed: " + rate},
        {{"--rate", "1e3"}, "--rate: '1e3' is not allowed: " + rate},
        {{"--mod", "4abc"},
         "--mod: '4abc' is not allowed: give a finite decimal number of Hz (see --help)"},
        {{"--level", "0x10"},
         "--level: '0x10' is not allowed: give a finite decimal number of percent (see --help)"},
        {{"--level", "inf"},
         "--level: 'inf' is not allowed: give a finite decimal number of percent (see --help)"},
        {{"--center", "nan"},
         "--center: 'nan' is not allowed: give a finite decimal number of Hz (see --help)"},
        {{"--duration", "infinity"},
         "--duration: 'infinity' is not allowed: give a finite decimal number of seconds, 0 or "
         "more (see --help)"},
        {{"--duration", "-1"}, "--duration: Duration -1 s is not allowed: it must be 0 s or more"},
        {{"--duration", "1e9"},
         "--duration: Duration 1e+09 s at 44100 Hz gives 4.41e+13 samples: allowed are 0 to "
         "1073741805 (24347.88673 s at this rate)"},
        {{"--duration", "24347.8869"},
         "--duration: Duration 24347.8869 s at 44100 Hz gives 1073741812 samples: allowed are 0 "
         "to 1073741805 (24347.88673 s at this rate)"},
        {{"--rate", "2147483647", "--duration", "0.5"},
         "--duration: Duration 0.5 s at 2147483647 Hz gives 1073741824 samples: allowed are 0 "
         "to 1073741805 (0.4999999914 s at this rate)"},
        {{"--level", "1e308"},
         "--level: Level 1e+308 % of 3150 Hz over 30 s is too large: |center| x (1 + |level| / "
         "100) x duration must stay below 1e+300 cycles"},
        {{"--center", "1e300"},
         "--center: Center frequency 1e+300 Hz at level 1 % over 30 s is too large: |center| x "
         "(1 + |level| / 100) x duration must stay below 1e+300 cycles"},
        {{"--mod", "-1e300"},
         "--mod: Modulation frequency -1e+300 Hz over 30 s is too large: |modulation| x "
         "duration must stay below 1e+300 cycles"},
        {{"--bogus"}, "The following argument was not expected: --bogus (see --help)"},
        {{"--output", ""}, "--output: an empty file name is not allowed (see --help)"},
    };
    for (const auto& [arguments, line] : cases) {
        std::vector<std::string> all = arguments;
        all.insert(all.end(), {"-o", "keep.wav"});
        const CliRun run = Run(all);
        EXPECT_EQ(run.status, 2) << arguments[0];
        EXPECT_EQ(run.out, "") << arguments[0];
        EXPECT_EQ(run.err, "wobblegen-cli: " + line + "\n");
        EXPECT_EQ(ReadFile(Path("keep.wav")), kept) << arguments[0];
    }
    EXPECT_FALSE(Exists("test.wav"));
}

// ---- The verification set ------------------------------------------------------------------

TEST_F(CliTest, CalibrationSetWritesSixteenSignalsAndTheTable) {
    const CliRun run = Run({"--calibration-set", "set"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    NameList files;
    std::string lines;
    for (const char* carrier : {"3150Hz-", "3000Hz-"}) {
        for (int n = 1; n <= 8; ++n) {
            files.push_back(carrier + std::to_string(n) + ".wav");
            lines += "Wrote set/" + files.back() + "\n";
        }
    }
    EXPECT_EQ(run.out, lines + "Wrote set/expected.csv\n");
    files.push_back("expected.csv");
    std::sort(files.begin(), files.end());
    EXPECT_EQ(Names("set"), files);
    // Signal 4 at 3150 Hz is the default signal.
    EXPECT_EQ(Fnv1a64(ReadFile(Path("set/3150Hz-4.wav"))), kDefaultFileDigest);
}

TEST_F(CliTest, CalibrationSetRefusesToneOptionsAndReportsWhatFailed) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--calibration-set", "set", "--rate", "48000"},
          std::vector<std::string>{"-o", "x.wav", "--calibration-set", "set"},
          std::vector<std::string>{"--calibration-set", ""}}) {
        const CliRun run = Run(arguments);
        EXPECT_EQ(run.status, 2) << arguments[1];
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("--calibration-set"), std::string::npos) << run.err;
    }
    const CliRun missing = Run({"--calibration-set", "no/such"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "Cannot create directory no/such\n");
    // A full disk part-way: what the run wrote is gone again, and so is the directory it made.
    Launch limited;
    limited.arguments = {"--calibration-set", "set"};
    limited.fileSizeLimit = 2700000;  // the 44.1 kHz files fit, the 48 kHz ones do not
    const CliRun full = Run(limited);
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.out.find("Wrote set/3150Hz-8.wav\nCannot write set/3000Hz-1.wav\n"),
              std::string::npos)
        << full.out;
    EXPECT_EQ(Names(), (NameList{"err.txt", "out.txt"}));
}

// Links in the set's directory are the user's: a failure removes the file the run created
// behind a dangling one, keeps the file it replaced behind another, and leaves both links.
TEST_F(CliTest, FailedCalibrationSetKeepsTheLinksAndRemovesWhatItCreatedBehindThem) {
    ASSERT_EQ(::mkdir(Path("s").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(Path("t").c_str(), 0755), 0);
    WriteFile(Path("t/two.wav"), "older");
    ASSERT_EQ(::symlink("../t/one.wav", Path("s/3150Hz-1.wav").c_str()), 0);
    ASSERT_EQ(::symlink("../t/two.wav", Path("s/3150Hz-2.wav").c_str()), 0);
    ASSERT_EQ(::mkdir(Path("s/3150Hz-3.wav").c_str(), 0755), 0);
    const CliRun run = Run({"--calibration-set", "s"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Wrote s/3150Hz-1.wav\nWrote s/3150Hz-2.wav\nCannot open s/3150Hz-3.wav\n");
    EXPECT_EQ(Names("s"), (NameList{"3150Hz-1.wav", "3150Hz-2.wav", "3150Hz-3.wav"}));
    EXPECT_EQ(Names("t"), (NameList{"two.wav"}));
    EXPECT_EQ(ReadFile(Path("t/two.wav")).size(), 44u + 2u * 1323000u);
    struct stat info;
    for (const char* link : {"s/3150Hz-1.wav", "s/3150Hz-2.wav"}) {
        ASSERT_EQ(::lstat(Path(link).c_str(), &info), 0) << link;
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << link;
    }
}

TEST_F(CliTest, HelpAndVersionSucceed) {
    const CliRun help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* words :
         {"--rate", "--mod", "--center", "--level", "--duration", "--output", "--calibration-set",
          "44100", "3150", "test.wav", "Hz", "percent", "seconds", "decimal"}) {
        EXPECT_NE(help.out.find(words), std::string::npos) << words;
    }
    const CliRun version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("1.0"), std::string::npos);
    EXPECT_FALSE(Exists("test.wav"));
}

}  // namespace
