#include "app/app_guard.h"
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

QString RuntimeDirectory()
{
    const QString overridden = qEnvironmentVariable("KESTRO_RUNTIME_DIR");
    if (!overridden.isEmpty())
        return overridden;
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    return QDir::tempPath() + QStringLiteral("/kestrolink-") + qEnvironmentVariable("USER");
}

AppGuard::AppGuard(const QString &directory, QObject *parent) : QObject(parent), m_directory(directory)
{
    connect(&m_server, &QLocalServer::newConnection, this, &AppGuard::onNewConnection);
}

AppGuard::~AppGuard()
{
    release();
}

QString AppGuard::lockFilePath() const
{
    return QDir(m_directory).filePath(QStringLiteral("kestrolink.lock"));
}

QString AppGuard::serverPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("kestrolink.socket"));
}

bool AppGuard::holdsLock() const
{
    return m_lock && m_lock->isLocked();
}

bool AppGuard::acquire()
{
    if (holdsLock())
        return true;
    QDir().mkpath(m_directory);
    m_lock = std::make_unique<QLockFile>(lockFilePath());
    // A running copy keeps its lock however long it runs; only a lock whose
    // owner process is gone counts as stale.
    m_lock->setStaleLockTime(0);
    bool locked = m_lock->tryLock(0);
    // tryLock takes over the lock of a dead owner. A lock whose owner cannot be read
    // (empty or garbled after a crash or a full disk) holds nobody either, unless it
    // is a starting copy's that has not written its owner yet: only an old one goes.
    if (!locked && m_lock->error() == QLockFile::LockFailedError && !m_lock->getLockInfo(nullptr, nullptr, nullptr)
        && QFileInfo(lockFilePath()).lastModified().msecsTo(QDateTime::currentDateTime()) > UnreadableLockGraceMs
        && m_lock->removeStaleLockFile())
        locked = m_lock->tryLock(0);
    if (!locked) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
        return true; // no guard could be made: run unguarded
    }

    // The lock is ours, so a socket file left here belongs to a dead copy.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(serverPath())) {
        QLocalServer::removeServer(serverPath());
        m_server.listen(serverPath());
    }
    return true;
}

bool AppGuard::sendActivate(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(ActivateMessage + '\n');
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return written;
}

void AppGuard::release()
{
    m_server.close();
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

void AppGuard::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine().trimmed() == ActivateMessage)
                    Q_EMIT activateRequested();
            }
        });
    }
}
