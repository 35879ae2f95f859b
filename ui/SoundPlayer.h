#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QObject>

class QSoundEffect;

namespace sieveclaw {

// Plays wave files without waiting for them: a new sound stops the one playing. Without a sound
// device, or for a file that cannot be played, nothing is heard and nothing waits. A default sound
// of the data folder that is not there yet is copied in from the installed ones first. User
// interface thread only.
class CSoundPlayer {
public:
    CSoundPlayer();
    ~CSoundPlayer();  // a sound still playing counts as ended
    CSoundPlayer(const CSoundPlayer&) = delete;
    CSoundPlayer& operator=(const CSoundPlayer&) = delete;

    // ended runs once, when the sound has ended, was stopped by the next one, or could not be
    // played (then at once).
    void Play(const std::string& path, std::function<void()> ended = {});

    // Whether this session has a device to play sounds on.
    static bool HasSoundDevice();

private:
    void End();

    std::unique_ptr<QSoundEffect> m_Effect;
    std::function<void()> m_Ended;
    bool m_Started = false;  // the effect reported playing since the last Play
};

}  // namespace sieveclaw
