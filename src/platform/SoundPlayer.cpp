#include "platform/SoundPlayer.h"

#include <unistd.h>

#include "base/Exception.h"
#include "base/FileIo.h"
#include "platform/ProcessLauncher.h"
#include "platform/TempDirectory.h"

namespace tallyhawk {

CCommandSoundPlayer::CCommandSoundPlayer(IProcessLauncher& launcher,
                                         const CPrivateTempDirectory& tempDirectory)
    : launcher(launcher), tempDirectory(tempDirectory) {}

CCommandSoundPlayer::~CCommandSoundPlayer() {
    if (!chimeFile.empty()) unlink(chimeFile.c_str());
}

CCommandSoundPlayer& CCommandSoundPlayer::Instance() {
    static CPrivateTempDirectory tempDirectory;
    static CCommandSoundPlayer player(CSpawnLauncher::Instance(), tempDirectory);
    return player;
}

std::string CCommandSoundPlayer::ChimeFile() {
    std::lock_guard<std::mutex> guard(lock);
    if (!chimeFile.empty() && access(chimeFile.c_str(), R_OK) == 0) return chimeFile;
    chimeFile.clear();
    std::string path;
    try {
        path = tempDirectory.CreateFile("wav");
        WriteWholeFile(path, std::string(reinterpret_cast<const char*>(kChimeWav), kChimeWavSize));
        chimeFile = path;
    } catch (const CException&) {
        // No chime file: the sound is silence. A file that was created but
        // not filled (a full disk) goes, or every later play would leave one more.
        if (!path.empty()) unlink(path.c_str());
    }
    return chimeFile;
}

void CCommandSoundPlayer::Play(const std::string& file, const StopTest& stopped) {
    std::string player;
    for (const char* name : kPlayers) {
        player = FindProgramInPath(name);
        if (!player.empty()) break;
    }
    if (player.empty()) return;
    std::string sound = file;
    if (sound.empty() || access(sound.c_str(), R_OK) != 0) sound = ChimeFile();
    if (sound.empty()) return;
    // The file name comes from the document: it must not reach the player
    // as an option.
    if (sound[0] == '-') sound.insert(0, "./");
    try {
        launcher.Run({player, sound}, kPlayLimit, stopped);
    } catch (const CException&) {
        // A player that cannot be started is silence, like a missing one.
    }
}

}  // namespace tallyhawk
