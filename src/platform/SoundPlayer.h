// ISoundPlayer: the notification sound.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "platform/ProcessLauncher.h"

namespace tallyhawk {

class CPrivateTempDirectory;

class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    // Plays the wave file and returns when it has finished, or at once when
    // `stopped` (asked every few milliseconds on the calling thread) answers
    // true: the sound is then cut off. Never throws: a sound that cannot be
    // played is silence.
    virtual void Play(const std::string& file, const StopTest& stopped = {}) = 0;
};

// Plays through the first audio player found in PATH (kPlayers, in order),
// run to completion. A file that cannot be found plays the program's own
// chime; no player at all is silence. Thread-safe.
class CCommandSoundPlayer : public ISoundPlayer {
public:
    static constexpr const char* kPlayers[] = {"pw-play", "paplay", "aplay"};
    // A player that runs longer than this is stopped, so a stuck audio
    // system cannot hold the checking thread for ever.
    static constexpr std::chrono::milliseconds kPlayLimit{30000};

    // Both must outlive the player.
    CCommandSoundPlayer(IProcessLauncher& launcher, const CPrivateTempDirectory& tempDirectory);
    ~CCommandSoundPlayer() override;
    CCommandSoundPlayer(const CCommandSoundPlayer&) = delete;
    CCommandSoundPlayer& operator=(const CCommandSoundPlayer&) = delete;

    void Play(const std::string& file, const StopTest& stopped = {}) override;

    static CCommandSoundPlayer& Instance();

private:
    // The chime written out as a file, once. Empty when that failed.
    std::string ChimeFile();

    IProcessLauncher& launcher;
    const CPrivateTempDirectory& tempDirectory;
    std::mutex lock;
    std::string chimeFile;  // guarded by lock
};

// The bytes of the default chime (res/chime.wav), built into the program.
extern const unsigned char kChimeWav[];
extern const unsigned long kChimeWavSize;

}  // namespace tallyhawk
