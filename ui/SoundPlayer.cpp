#include "ui/SoundPlayer.h"

#include <QSoundEffect>
#include <QUrl>

namespace sieveclaw {

CSoundPlayer::CSoundPlayer() = default;
CSoundPlayer::~CSoundPlayer() = default;

void CSoundPlayer::Play(const std::string& path) {
    if (!m_Effect) {
        m_Effect = std::make_unique<QSoundEffect>();
    }
    m_Effect->stop();
    m_Effect->setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
    m_Effect->play();
}

}  // namespace sieveclaw
