#include "ui/InstanceChannel.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include "core/ActivityLog.h"

namespace sieveclaw {

namespace {

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShowAnswer = QByteArrayLiteral("shown\n");

}  // namespace

CInstanceChannel::CInstanceChannel(QObject* parent) : QObject(parent), m_Server(new QLocalServer(this)) {
    m_Server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_Server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_Server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, client, [this, client] {
                if (!client->canReadLine()) {
                    return;
                }
                if (client->readLine() == kShowRequest) {
                    WriteActivityLog("CSieveclawApp - A later start asked for the window");
                    emit ShowRequested();
                    client->write(kShowAnswer);
                    client->flush();
                }
                client->disconnectFromServer();
            });
        }
    });
}

CInstanceChannel::~CInstanceChannel() = default;

QString CInstanceChannel::ServerName(const std::string& dataFolder) {
    const QByteArray folder = QCryptographicHash::hash(QByteArray::fromStdString(dataFolder), QCryptographicHash::Sha256)
                                  .toHex()
                                  .left(16);
    return QStringLiteral("sieveclaw-%1-%2").arg(::getuid()).arg(QString::fromLatin1(folder));
}

bool CInstanceChannel::AskToShow(const QString& name, std::chrono::milliseconds wait) {
    QLocalSocket socket;
    socket.connectToServer(name);
    const int bound = static_cast<int>(wait.count());
    if (!socket.waitForConnected(bound)) {
        return false;
    }
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(bound)) {
        return false;
    }
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(bound)) {
            return false;
        }
    }
    return socket.readLine() == kShowAnswer;
}

bool CInstanceChannel::Listen(const QString& name) {
    if (m_Server->listen(name)) {
        return true;
    }
    if (m_Server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(name);
        return m_Server->listen(name);
    }
    return false;
}

}  // namespace sieveclaw
