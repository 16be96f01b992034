#pragma once
// Application object that decides at construction whether this process is
// the primary instance (per user, executable and version), using a named
// shared-memory block as the registry and a local socket as the channel,
// both in the user's private runtime folder.

#include <QApplication>
#include <QByteArray>
#include <QString>

class SingleApplicationPrivate;

class SingleApplication : public QApplication
{
    Q_OBJECT
public:
    enum Mode { User = 0, PerUser = 1, NotifySecondary = 4, IgnoreVersion = 8, IgnorePath = 16 };
    Q_DECLARE_FLAGS(Options, Mode)

    // Ends the process with code 1 when the shared block can be neither
    // created nor attached (also when the user has no private runtime folder).
    SingleApplication(int& argc, char* argv[], bool allowSecondary = false, Options options = PerUser,
                      int timeout = 1000);
    ~SingleApplication() override;

    bool isPrimary() const;
    // This process should have been the primary but cannot listen on the
    // instance socket; it is not the primary then.
    bool listenFailed() const;
    bool isSecondary() const;
    quint32 instanceId() const;
    qint64 primaryPid() const;
    QString primaryUser() const;

    // The key of the shared block and of the local socket.
    QString blockName() const;
    // The local socket's path, through which later instances reach the primary.
    QString socketPath() const;

    // Asks the primary instance of this user and executable to quit, over its
    // local socket; needs a QCoreApplication. False when none answered.
    static bool requestPrimaryQuit(Options options = PerUser, int timeout = 1000);

signals:
    void instanceStarted();
    void receivedMessage(quint32 instanceId, QByteArray message);
    // A later start asked this primary to quit.
    void quitRequested();

private:
    SingleApplicationPrivate* d_ptr;
    friend class SingleApplicationPrivate;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SingleApplication::Options)
