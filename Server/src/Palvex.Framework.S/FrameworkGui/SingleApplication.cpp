#include "SingleApplication.h"
#include "SingleApplication_p.h"

#include <Platform.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QSharedMemory>
#include <QThread>
#include <QTimer>
#include <QtGlobal>

#include <cstdlib>
#include <cstring>

namespace {

// The notice frames use the Qt 5.6 stream format (version 17).
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_5_6;
// How long a block may look inconsistent before the primary is presumed dead.
constexpr qint64 kInconsistentLimitMs = 5000;
// Smallest body: an empty name (4), the type (1), the id (4), the checksum (2).
constexpr qint64 kMinBodyLength = 11;

bool blockNeverInitialised(const InstanceBlock* block)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(block);
    for (std::size_t i = 0; i < offsetof(InstanceBlock, primaryUser); ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
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
    if (memory) {
        memory->lock();
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
        }
        memory->unlock();
        delete memory;
        memory = nullptr;
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

void SingleApplicationPrivate::removeOrphanedBlock() const
{
    // Attaching and detaching are serialised by the block's own lock; the
    // detach removes the segment when nobody else is attached any more.
    QSharedMemory probe(blockName);
    if (probe.attach(QSharedMemory::ReadOnly))
        probe.detach();
}

InstanceBlock* SingleApplicationPrivate::block() const
{
    return static_cast<InstanceBlock*>(memory->data());
}

quint16 SingleApplicationPrivate::blockChecksum() const
{
    return qChecksum(static_cast<const char*>(memory->constData()),
                     offsetof(InstanceBlock, checksum));
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
    const qint64 pid = block()->primaryPid;
    if (pid <= 0 || pid > 0xFFFFFFFFll)
        return false;
    const std::string name = platform::processImageName(static_cast<std::uint32_t>(pid));
    return !name.empty() && name == platform::processImageName(platform::currentProcessId());
}

void SingleApplicationPrivate::startPrimary()
{
    QLocalServer::removeServer(blockName);
    server = new QLocalServer();
    server->setSocketOptions(options.testFlag(SingleApplication::PerUser)
                                 ? QLocalServer::UserAccessOption
                                 : QLocalServer::WorldAccessOption);
    if (!server->listen(blockName))
        qWarning("SingleApplication: cannot listen on the instance socket: %s",
                 qPrintable(server->errorString()));
    connect(server, &QLocalServer::newConnection,
            this, &SingleApplicationPrivate::slotConnectionEstablished);

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
    if (socket->state() == QLocalSocket::UnconnectedState
        || socket->state() == QLocalSocket::ClosingState)
        socket->connectToServer(blockName, QIODevice::ReadWrite);
    if (socket->state() == QLocalSocket::ConnectingState)
        socket->waitForConnected(timeout);
    if (socket->state() != QLocalSocket::ConnectedState)
        return false;

    QByteArray body;
    {
        QDataStream out(&body, QIODevice::WriteOnly);
        out.setVersion(kStreamVersion);
        out.setByteOrder(QDataStream::BigEndian);
        out << blockName.toLatin1();
        out << static_cast<qint8>(type);
        out << static_cast<qint32>(instanceId);
        out << qChecksum(body.constData(), static_cast<uint>(body.size()));
    }
    QByteArray header;
    {
        QDataStream out(&header, QIODevice::WriteOnly);
        out.setVersion(kStreamVersion);
        out.setByteOrder(QDataStream::BigEndian);
        out << static_cast<qint64>(body.size());
    }
    socket->write(header);
    socket->write(body);
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
    s->setReadBufferSize(MaxBodyLength + 8);
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
        if (s->bytesAvailable() < static_cast<qint64>(sizeof(qint64)))
            return;
        QDataStream in(s);
        in.setVersion(kStreamVersion);
        in.setByteOrder(QDataStream::BigEndian);
        in >> state.messageLength;
        if (in.status() != QDataStream::Ok || state.messageLength < kMinBodyLength
            || state.messageLength > MaxBodyLength) {
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
    const QByteArray body = s->read(state.messageLength);
    QDataStream in(body);
    in.setVersion(kStreamVersion);
    in.setByteOrder(QDataStream::BigEndian);
    QByteArray name;
    qint8 type = 0;
    qint32 id = 0;
    quint16 checksum = 0;
    in >> name >> type >> id >> checksum;

    const bool valid = in.status() == QDataStream::Ok
        && QString::fromLatin1(name.constData()) == blockName
        && body.size() >= 2
        && checksum == qChecksum(body.constData(), static_cast<uint>(body.size() - 2));
    if (!valid) {
        connections.remove(s);
        s->abort();
        s->deleteLater();
        return;
    }

    state.instanceId = static_cast<quint32>(id);
    state.stage = 2;
    const quint32 stateId = state.instanceId;
    if (type == NewInstance
        || (type == SecondaryInstance && options.testFlag(SingleApplication::NotifySecondary)))
        emit q_ptr->instanceStarted();
    if (type == QuitRequest)
        emit q_ptr->quitRequested();
    if (s->bytesAvailable() > 0)
        emit q_ptr->receivedMessage(stateId, s->readAll());
}

void SingleApplicationPrivate::slotClientConnectionClosed(QLocalSocket* s, quint32 id)
{
    if (s->bytesAvailable() > 0)
        emit q_ptr->receivedMessage(id, s->readAll());
}

SingleApplication::SingleApplication(int& argc, char* argv[], bool allowSecondary,
                                     Options options, int timeout)
    : QApplication(argc, argv)
    , d_ptr(new SingleApplicationPrivate(this))
{
    SingleApplicationPrivate* d = d_ptr;
    d->options = options;
    d->blockName = d->computeBlockName();
    d->removeOrphanedBlock();

    d->memory = new QSharedMemory(d->blockName);
    if (d->memory->create(sizeof(InstanceBlock), QSharedMemory::ReadWrite)) {
        d->memory->lock();
        d->initialiseBlock();
        d->memory->unlock();
    } else if (!d->memory->attach(QSharedMemory::ReadWrite)) {
        qCritical("SingleApplication: Unable to attach to shared memory block.");
        qCritical("%s", qPrintable(d->memory->errorString()));
        delete d;
        d_ptr = nullptr;
        std::exit(1);
    }

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        d->memory->lock();
        if (d->blockChecksum() == d->block()->checksum)
            break;
        if (blockNeverInitialised(d->block()) && waited.elapsed() <= kInconsistentLimitMs) {
            // Its creator is about to initialise it.
            d->memory->unlock();
            QThread::msleep(20);
            continue;
        }
        if (waited.elapsed() > kInconsistentLimitMs) {
            qWarning("SingleApplication: Shared memory block has been in an inconsistent state "
                     "from more than 5s. Assuming primary instance failure.");
            d->initialiseBlock();
        }
        d->memory->unlock();
        QThread::sleep(8 + QRandomGenerator::global()->bounded(10));
    }

    InstanceBlock* b = d->block();
    if (b->primary == 0 || !d->recordedPrimaryAlive()) {
        d->startPrimary();
        d->memory->unlock();
    } else if (allowSecondary) {
        d->startSecondary();
        if (options.testFlag(NotifySecondary))
            d->connectToPrimary(timeout, SingleApplicationPrivate::SecondaryInstance);
        d->memory->unlock();
    } else {
        d->instanceId = 0xFFFFFFFFu;
        d->memory->unlock();
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
    d_ptr->memory->lock();
    const qint64 pid = d_ptr->block()->primaryPid;
    d_ptr->memory->unlock();
    return pid;
}

QString SingleApplication::primaryUser() const
{
    d_ptr->memory->lock();
    const char* raw = d_ptr->block()->primaryUser;
    const QString user = QString::fromUtf8(raw, static_cast<int>(qstrnlen(raw, sizeof(InstanceBlock::primaryUser))));
    d_ptr->memory->unlock();
    return user;
}

bool SingleApplication::requestPrimaryQuit(Options options, int timeout)
{
    SingleApplicationPrivate d(nullptr);
    d.options = options;
    d.blockName = d.computeBlockName();
    d.instanceId = 0xFFFFFFFFu;
    return d.connectToPrimary(timeout, SingleApplicationPrivate::QuitRequest);
}

QString SingleApplication::blockName() const
{
    return d_ptr->blockName;
}
