#pragma once
// One running copy per user. The first copy holds a lock file in the user's
// runtime directory and listens on a local socket beside it; a second start
// finds the lock held, asks the first copy to come to the front and ends.
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <memory>

class QLockFile;

// The user's runtime directory, or $KESTRO_RUNTIME_DIR when set (tests use it
// so that they never meet a copy the user is running).
QString RuntimeDirectory();

class AppGuard : public QObject
{
    Q_OBJECT
public:
    static inline const QByteArray ActivateMessage = QByteArrayLiteral("activate");
    // A lock file whose owner cannot be read is a starting copy's for this long.
    static constexpr qint64 UnreadableLockGraceMs = 3000;

    explicit AppGuard(const QString &directory, QObject *parent = nullptr);
    ~AppGuard() override;

    // True for the first copy. A lock left by a process that no longer runs is
    // taken over. When the lock cannot be made at all (no writable directory)
    // the program runs as a first copy that holds no guard.
    bool acquire();
    // Second copy: asks the first copy to bring its main window forward.
    // Returns true when the request was delivered.
    bool sendActivate(int timeoutMs = 1000);
    void release();

    bool holdsLock() const;
    QString lockFilePath() const;
    QString serverPath() const;

Q_SIGNALS:
    // Another start asked this copy to come to the front.
    void activateRequested();

private:
    void onNewConnection();

    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
