#include "ui/SoundPlayer.h"

#include <filesystem>
#include <system_error>

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include "core/InstalledFiles.h"

namespace sieveclaw {

CSoundPlayer::CSoundPlayer() = default;

CSoundPlayer::~CSoundPlayer() {
    End();
}

bool CSoundPlayer::HasSoundDevice() {
    return !QMediaDevices::audioOutputs().isEmpty();
}

void CSoundPlayer::Play(const std::string& path, std::function<void()> ended) {
    End();
    m_Ended = std::move(ended);
    std::error_code error;
    if (!HasSoundDevice() || !EnsureDefaultSoundFile(path) || !std::filesystem::is_regular_file(path, error)) {
        End();
        return;
    }
    if (!m_Effect) {
        m_Effect = std::make_unique<QSoundEffect>();
        QObject::connect(m_Effect.get(), &QSoundEffect::playingChanged, m_Effect.get(), [this] {
            if (m_Effect->isPlaying()) {
                m_Started = true;
            } else if (m_Started) {
                End();
            }
        });
        QObject::connect(m_Effect.get(), &QSoundEffect::statusChanged, m_Effect.get(), [this] {
            if (m_Effect->status() == QSoundEffect::Error) {
                End();
            }
        });
    }
    m_Effect->stop();
    m_Started = false;
    m_Effect->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    m_Effect->play();
}

void CSoundPlayer::End() {
    m_Started = false;
    if (m_Ended) {
        // Taken first: the callback may start the next sound.
        const std::function<void()> ended = std::move(m_Ended);
        m_Ended = nullptr;
        ended();
    }
}

}  // namespace sieveclaw
