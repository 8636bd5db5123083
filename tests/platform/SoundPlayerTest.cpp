#include "platform/SoundPlayer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include <chrono>
#include <cstdlib>

#include "platform/PlatformTestUtil.h"
#include "platform/ProcessLauncher.h"
#include "platform/TempDirectory.h"

namespace tallyhawk {
namespace {

using namespace std::chrono_literals;
using testing::CScopedEnv;
using testing::CScratchFolder;
using testing::ReadFile;
using testing::WriteScript;

class CRecordingLauncher : public IProcessLauncher {
public:
    void Launch(const std::vector<std::string>& arguments) override { launched.push_back(arguments); }
    int Run(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
            const StopTest&) override {
        run.push_back(arguments);
        lastLimit = limit;
        return 0;
    }
    std::vector<std::vector<std::string>> launched;
    std::vector<std::vector<std::string>> run;
    std::chrono::milliseconds lastLimit{0};
};

class SoundPlayerTest : public ::testing::Test {
protected:
    SoundPlayerTest() : temp(scratch / "temp"), path("PATH", (scratch / "bin").c_str()) {
        mkdir((scratch / "bin").c_str(), 0755);
    }
    CScratchFolder scratch;
    CPrivateTempDirectory temp;
    CScopedEnv path;
    CRecordingLauncher launcher;
};

TEST_F(SoundPlayerTest, FirstPlayerFoundInOrderPlaysTheFile) {
    WriteScript(scratch / "bin/aplay", "exit 0");
    WriteScript(scratch / "bin/paplay", "exit 0");
    testing::WriteFile(scratch / "ding.wav", "RIFF");
    CCommandSoundPlayer player(launcher, temp);
    player.Play(scratch / "ding.wav");
    ASSERT_EQ(launcher.run.size(), 1u);
    EXPECT_EQ(launcher.run[0], (std::vector<std::string>{scratch / "bin/paplay", scratch / "ding.wav"}));
    EXPECT_EQ(launcher.lastLimit, CCommandSoundPlayer::kPlayLimit);
    EXPECT_TRUE(launcher.launched.empty());
}

TEST_F(SoundPlayerTest, MissingFilePlaysTheChime) {
    WriteScript(scratch / "bin/aplay", "exit 0");
    CCommandSoundPlayer player(launcher, temp);
    player.Play("ringin.wav");
    player.Play("");
    ASSERT_EQ(launcher.run.size(), 2u);
    std::string chime = launcher.run[0][1];
    EXPECT_EQ(launcher.run[1][1], chime) << "written once";
    EXPECT_EQ(chime.rfind(temp.Prepare(), 0), 0u);
    EXPECT_EQ(ReadFile(chime), std::string(reinterpret_cast<const char*>(kChimeWav), kChimeWavSize));
}

TEST_F(SoundPlayerTest, ChimeThatCannotBeWrittenLeavesNoFile) {
    WriteScript(scratch / "bin/aplay", "exit 0");
    const std::string folder = temp.Prepare();
    {
        // A file size limit stands for a full disk: the chime's file can be
        // created but not written.
        struct rlimit previous {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
        struct rlimit small = previous;
        small.rlim_cur = 16;
        void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        CCommandSoundPlayer player(launcher, temp);
        player.Play("ringin.wav");
        player.Play("ringin.wav");
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, oldHandler);
    }
    EXPECT_TRUE(launcher.run.empty()) << "no chime: silence";
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "no half-written chime left behind";
}

TEST_F(SoundPlayerTest, FileNameIsNeverTakenForAnOption) {
    WriteScript(scratch / "bin/aplay", "exit 0");
    char* previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(scratch.path.c_str()), 0);
    testing::WriteFile(scratch / "--process-id-file=x", "RIFF");
    CCommandSoundPlayer player(launcher, temp);
    player.Play("--process-id-file=x");
    EXPECT_EQ(chdir(previous), 0);
    std::free(previous);
    ASSERT_EQ(launcher.run.size(), 1u);
    EXPECT_EQ(launcher.run[0][1], "./--process-id-file=x");
}

TEST_F(SoundPlayerTest, NoPlayerIsSilence) {
    CCommandSoundPlayer player(launcher, temp);
    player.Play("ringin.wav");
    EXPECT_TRUE(launcher.run.empty());
}

TEST_F(SoundPlayerTest, RealPlayerRunsToCompletion) {
    std::string log = scratch / "played";
    WriteScript(scratch / "bin/pw-play", "sleep 0.05; echo \"$1\" > " + log);
    CSpawnLauncher real;
    CCommandSoundPlayer player(real, temp);
    testing::WriteFile(scratch / "a b.wav", "RIFF");
    player.Play(scratch / "a b.wav");
    EXPECT_EQ(ReadFile(log), scratch / "a b.wav" + "\n");
}

TEST_F(SoundPlayerTest, StopCutsOffALongSound) {
    // PATH holds only the fake player: sleep is named by its path.
    WriteScript(scratch / "bin/aplay", "echo playing > " + scratch / "started" + "; exec /bin/sleep 30");
    testing::WriteFile(scratch / "long.wav", "RIFF");
    CSpawnLauncher real;
    CCommandSoundPlayer player(real, temp);
    const auto start = std::chrono::steady_clock::now();
    player.Play(scratch / "long.wav", [&] { return std::chrono::steady_clock::now() - start > 300ms; });
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(ReadFile(scratch / "started"), "playing\n");
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 5s);
}

TEST(ChimeTest, ChimeIsAWellFormedWave) {
    std::string wav(reinterpret_cast<const char*>(kChimeWav), kChimeWavSize);
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    std::uint32_t riffSize = static_cast<unsigned char>(wav[4]) |
                             (static_cast<unsigned char>(wav[5]) << 8) |
                             (static_cast<unsigned char>(wav[6]) << 16) |
                             (static_cast<std::uint32_t>(static_cast<unsigned char>(wav[7])) << 24);
    EXPECT_EQ(riffSize + 8, wav.size());
}

}  // namespace
}  // namespace tallyhawk
