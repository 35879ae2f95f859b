#pragma once

#include <chrono>
#include <string>

#include <QObject>
#include <QString>

class QLocalServer;

namespace sieveclaw {

// The channel through which a later start of the desktop program on the same data folder asks the
// running one to show its window: a local socket of the user's, named after the user and the
// folder. Only the holder of the folder's lock listens on it (CDataFolderLock), so a socket file
// that nobody answers on is a leftover of a program that was killed. User interface thread only.
class CInstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit CInstanceChannel(QObject* parent = nullptr);
    ~CInstanceChannel() override;

    // The channel's name for the data folder (which ends in '/').
    static QString ServerName(const std::string& dataFolder);

    // Asks the program listening on name to show its window. True once it has said it will, within
    // wait; false when nobody listens or answers.
    static bool AskToShow(const QString& name, std::chrono::milliseconds wait);

    // Listens on name, replacing a socket file left by a killed program. Only while holding the
    // folder's lock. False when it cannot listen (the program then runs without the channel).
    bool Listen(const QString& name);

signals:
    // A later start asked for the window.
    void ShowRequested();

private:
    QLocalServer* m_Server;
};

}  // namespace sieveclaw
