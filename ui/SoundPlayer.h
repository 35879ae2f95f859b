#pragma once

#include <memory>
#include <string>

#include <QObject>

class QSoundEffect;

namespace sieveclaw {

// Plays wave files without waiting for them: a new sound stops the one playing. Without a sound
// device nothing is heard and nothing waits. User interface thread only.
class CSoundPlayer {
public:
    CSoundPlayer();
    ~CSoundPlayer();
    CSoundPlayer(const CSoundPlayer&) = delete;
    CSoundPlayer& operator=(const CSoundPlayer&) = delete;

    void Play(const std::string& path);

private:
    std::unique_ptr<QSoundEffect> m_Effect;
};

}  // namespace sieveclaw
