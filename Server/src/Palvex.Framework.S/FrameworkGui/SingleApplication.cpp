#include "SingleApplication.h"
#include "NoticeFrame.h"
#include "SingleApplication_p.h"

#include <Platform/Platform.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>
#include <QtGlobal>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// How long a block may look inconsistent before the primary is presumed dead.
constexpr qint64 kInconsistentLimitMs = 5000;

[[noreturn]] void cannotAttach(SingleApplicationPrivate* d, const char* reason)
{
    qCritical("SingleApplication: Unable to attach to shared memory block.");
    qCritical("%s", reason);
    delete d;
    std::exit(1);
}

// The block's and socket's common path in the runtime folder, less the suffix.
QString instanceStem(const std::string& folder, const QString& blockName)
{
    return QString::fromStdString(folder) + QLatin1Char('/') + QLatin1String(SingleApplicationPrivate::FilePrefix)
           + blockName;
}

} // namespace

SingleApplicationPrivate::SingleApplicationPrivate(SingleApplication* q)
    : q_ptr(q)
{
}

SingleApplicationPrivate::~SingleApplicationPrivate()
{
    if (socket) {
        socket->close();
        delete socket;
        socket = nullptr;
    }
    if (memory.handle >= 0) {
        lock();
        if (server) {
            for (QLocalSocket* s : connections.keys())
                disconnect(s, nullptr, this, nullptr);
            connections.clear();
            server->close();
            delete server;
            server = nullptr;
            InstanceBlock* b = block();
            b->primary = 0;
            std::memset(b->reserved, 0, sizeof(b->reserved));
            b->primaryPid = -1;
            b->primaryUser[0] = '\0';
            stampChecksum();
            platform::releaseSharedBlockOwner(memory);
        }
        // Without a primary the block serves nobody: nothing is left behind.
        // A process waiting for it finds it gone and starts a new one.
        platform::closeSharedBlock(memory, !platform::sharedBlockOwnedElsewhere(memory));
    }
}

QString SingleApplicationPrivate::userName()
{
    return QString::fromStdString(platform::userName());
}

QString SingleApplicationPrivate::computeBlockName() const
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("Palvex.Framework.S", 18);
    hash.addData(QCoreApplication::applicationName().toUtf8());
    hash.addData(QCoreApplication::organizationName().toUtf8());
    hash.addData(QCoreApplication::organizationDomain().toUtf8());
    if (!options.testFlag(SingleApplication::IgnoreVersion))
        hash.addData(QCoreApplication::applicationVersion().toUtf8());
    if (!options.testFlag(SingleApplication::IgnorePath))
        hash.addData(QCoreApplication::applicationFilePath().toLower().toUtf8());
    if (options.testFlag(SingleApplication::PerUser))
        hash.addData(userName().toUtf8());
    return QString::fromLatin1(hash.result().toBase64()).replace(QLatin1Char('/'), QLatin1Char('_'));
}

void SingleApplicationPrivate::lock()
{
    platform::lockSharedBlock(memory);
}

void SingleApplicationPrivate::unlock()
{
    platform::unlockSharedBlock(memory);
}

InstanceBlock* SingleApplicationPrivate::block() const
{
    return static_cast<InstanceBlock*>(memory.data);
}

quint16 SingleApplicationPrivate::blockChecksum() const
{
    return qChecksum(static_cast<const char*>(memory.data), offsetof(InstanceBlock, checksum));
}

void SingleApplicationPrivate::stampChecksum()
{
    block()->checksum = blockChecksum();
}

void SingleApplicationPrivate::initialiseBlock()
{
    InstanceBlock* b = block();
    b->primary = 0;
    std::memset(b->reserved, 0, sizeof(b->reserved));
    b->secondaryCount = 0;
    b->primaryPid = -1;
    b->primaryUser[0] = '\0';
    stampChecksum();
}

bool SingleApplicationPrivate::recordedPrimaryAlive() const
{
    // The primary's claim on the block ends with it, however it ends.
    return platform::sharedBlockOwnedElsewhere(memory);
}

void SingleApplicationPrivate::startPrimary()
{
    if (!platform::claimSharedBlockOwner(memory)) {
        qCritical("SingleApplication: the instance block is claimed by another process.");
        listenFailed = true;
        return;
    }
    QLocalServer::removeServer(socketPath);
    server = new QLocalServer();
    server->setSocketOptions(options.testFlag(SingleApplication::PerUser) ? QLocalServer::UserAccessOption
                                                                          : QLocalServer::WorldAccessOption);
    if (!server->listen(socketPath)) {
        // Deaf to later starts, it must not stay the primary.
        qCritical("SingleApplication: cannot listen on the instance socket %s: %s", qPrintable(socketPath),
                  qPrintable(server->errorString()));
        delete server;
        server = nullptr;
        listenFailed = true;
        platform::releaseSharedBlockOwner(memory);
        return;
    }
    connect(server, &QLocalServer::newConnection, this, &SingleApplicationPrivate::slotConnectionEstablished);

    InstanceBlock* b = block();
    b->primary = 1;
    std::memset(b->reserved, 0, sizeof(b->reserved));
    b->primaryPid = QCoreApplication::applicationPid();
    qstrncpy(b->primaryUser, userName().toUtf8().constData(), sizeof(b->primaryUser));
    stampChecksum();
    instanceId = 0;
}

void SingleApplicationPrivate::startSecondary()
{
    InstanceBlock* b = block();
    b->secondaryCount += 1;
    stampChecksum();
    instanceId = b->secondaryCount;
}

bool SingleApplicationPrivate::connectToPrimary(int timeout, NoticeType type)
{
    if (!socket)
        socket = new QLocalSocket();
    if (socket->state() == QLocalSocket::ConnectedState)
        return false;
    if (socket->state() == QLocalSocket::UnconnectedState || socket->state() == QLocalSocket::ClosingState)
        socket->connectToServer(socketPath, QIODevice::ReadWrite);
    if (socket->state() == QLocalSocket::ConnectingState)
        socket->waitForConnected(timeout);
    if (socket->state() != QLocalSocket::ConnectedState)
        return false;

    NoticeFrame notice;
    notice.name = blockName.toLatin1();
    notice.type = type;
    notice.id = static_cast<qint32>(instanceId);
    socket->write(notice.toBytes());
    socket->flush();
    socket->waitForBytesWritten(timeout);
    return socket->bytesToWrite() == 0;
}

void SingleApplicationPrivate::slotConnectionEstablished()
{
    QLocalSocket* s = server->nextPendingConnection();
    if (!s)
        return;
    // Bounds what a misbehaving client can make us hold.
    s->setReadBufferSize(NoticeFrame::HeaderLength + NoticeFrame::MaxBodyLength);
    connections.insert(s, ConnectionState());

    connect(s, &QLocalSocket::readyRead, this, [this, s]() {
        if (connections.contains(s))
            slotDataAvailable(s, connections.value(s).instanceId);
    });
    connect(s, &QLocalSocket::aboutToClose, this, [this, s]() {
        if (connections.contains(s))
            slotClientConnectionClosed(s, connections.value(s).instanceId);
    });
    connect(s, &QLocalSocket::disconnected, this, [this, s]() {
        connections.remove(s);
        s->deleteLater();
    });
    // A client that never finishes its notice does not keep the socket.
    QTimer::singleShot(HandshakeTimeoutMs, s, [this, s]() {
        if (connections.contains(s) && connections.value(s).stage < 2) {
            connections.remove(s);
            s->abort();
            s->deleteLater();
        }
    });
}

void SingleApplicationPrivate::slotDataAvailable(QLocalSocket* s, quint32 id)
{
    auto it = connections.find(s);
    if (it == connections.end())
        return;
    ConnectionState& state = it.value();

    if (state.stage == 0) {
        if (s->bytesAvailable() < NoticeFrame::HeaderLength)
            return;
        state.messageLength = NoticeFrame::bodyLength(s->read(NoticeFrame::HeaderLength));
        if (state.messageLength < 0) {
            connections.erase(it);
            s->abort();
            s->deleteLater();
            return;
        }
        state.stage = 1;
    }
    if (state.stage == 1) {
        if (s->bytesAvailable() >= state.messageLength)
            readBody(s, state);
        return;
    }
    if (state.stage == 2)
        emit q_ptr->receivedMessage(id, s->readAll());
}

void SingleApplicationPrivate::readBody(QLocalSocket* s, ConnectionState& state)
{
    NoticeFrame notice;
    const bool valid =
        notice.parseBody(s->read(state.messageLength)) && QString::fromLatin1(notice.name.constData()) == blockName;
    if (!valid) {
        connections.remove(s);
        s->abort();
        s->deleteLater();
        return;
    }

    state.instanceId = static_cast<quint32>(notice.id);
    state.stage = 2;
    const quint32 stateId = state.instanceId;
    if (notice.type == NewInstance
        || (notice.type == SecondaryInstance && options.testFlag(SingleApplication::NotifySecondary)))
        emit q_ptr->instanceStarted();
    if (notice.type == QuitRequest)
        emit q_ptr->quitRequested();
    if (s->bytesAvailable() > 0)
        emit q_ptr->receivedMessage(stateId, s->readAll());
}

void SingleApplicationPrivate::slotClientConnectionClosed(QLocalSocket* s, quint32 id)
{
    if (s->bytesAvailable() > 0)
        emit q_ptr->receivedMessage(id, s->readAll());
}

SingleApplication::SingleApplication(int& argc, char* argv[], bool allowSecondary, Options options, int timeout)
    : QApplication(argc, argv)
    , d_ptr(new SingleApplicationPrivate(this))
{
    SingleApplicationPrivate* d = d_ptr;
    d->options = options;
    d->blockName = d->computeBlockName();

    // The block and the socket live in the user's private runtime folder:
    // no other user can create, read or remove them.
    const std::string folder = platform::userRuntimeFolder();
    if (folder.empty())
        cannotAttach(d, "The user has no private runtime folder (XDG_RUNTIME_DIR).");
    const QString stem = instanceStem(folder, d->blockName);
    d->socketPath = stem + QLatin1String(SingleApplicationPrivate::SocketSuffix);
    // Blocks and sockets of killed hosts of any installed copy go first.
    platform::removeAbandonedSharedBlocks(folder, SingleApplicationPrivate::FilePrefix,
                                          SingleApplicationPrivate::BlockSuffix,
                                          {SingleApplicationPrivate::SocketSuffix});

    bool created = false;
    const std::string blockPath = (stem + QLatin1String(SingleApplicationPrivate::BlockSuffix)).toStdString();
    if (!platform::openSharedBlockLocked(blockPath, sizeof(InstanceBlock), d->memory, created))
        cannotAttach(d, std::strerror(errno));
    if (created)
        d->initialiseBlock();

    // The lock is held from here on each turn.
    QElapsedTimer waited;
    waited.start();
    while (d->blockChecksum() != d->block()->checksum) {
        if (waited.elapsed() > kInconsistentLimitMs) {
            qWarning("SingleApplication: Shared memory block has been in an inconsistent state "
                     "from more than 5s. Assuming primary instance failure.");
            d->initialiseBlock();
        }
        d->unlock();
        QThread::sleep(8 + QRandomGenerator::global()->bounded(10));
        d->lock();
    }

    InstanceBlock* b = d->block();
    if (b->primary == 0 || !d->recordedPrimaryAlive()) {
        d->startPrimary();
        d->unlock();
    } else if (allowSecondary) {
        d->startSecondary();
        if (options.testFlag(NotifySecondary))
            d->connectToPrimary(timeout, SingleApplicationPrivate::SecondaryInstance);
        d->unlock();
    } else {
        d->instanceId = 0xFFFFFFFFu;
        d->unlock();
        d->connectToPrimary(timeout, SingleApplicationPrivate::NewInstance);
    }
}

SingleApplication::~SingleApplication()
{
    delete d_ptr;
}

bool SingleApplication::isPrimary() const
{
    return d_ptr->server != nullptr;
}

bool SingleApplication::listenFailed() const
{
    return d_ptr->listenFailed;
}

bool SingleApplication::isSecondary() const
{
    return d_ptr->server == nullptr;
}

quint32 SingleApplication::instanceId() const
{
    return d_ptr->instanceId;
}

qint64 SingleApplication::primaryPid() const
{
    d_ptr->lock();
    const qint64 pid = d_ptr->block()->primaryPid;
    d_ptr->unlock();
    return pid;
}

QString SingleApplication::primaryUser() const
{
    d_ptr->lock();
    const char* raw = d_ptr->block()->primaryUser;
    const QString user = QString::fromUtf8(raw, static_cast<int>(qstrnlen(raw, sizeof(InstanceBlock::primaryUser))));
    d_ptr->unlock();
    return user;
}

bool SingleApplication::requestPrimaryQuit(Options options, int timeout)
{
    SingleApplicationPrivate d(nullptr);
    d.options = options;
    d.blockName = d.computeBlockName();
    const std::string folder = platform::userRuntimeFolder();
    if (folder.empty())
        return false;
    d.socketPath = instanceStem(folder, d.blockName) + QLatin1String(SingleApplicationPrivate::SocketSuffix);
    d.instanceId = 0xFFFFFFFFu;
    return d.connectToPrimary(timeout, SingleApplicationPrivate::QuitRequest);
}

QString SingleApplication::blockName() const
{
    return d_ptr->blockName;
}

QString SingleApplication::socketPath() const
{
    return d_ptr->socketPath;
}
