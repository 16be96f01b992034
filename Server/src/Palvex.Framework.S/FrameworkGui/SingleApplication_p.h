#pragma once
// Private part of SingleApplication: the shared block, the server of the
// primary and the per-connection framing state.

#include "SingleApplication.h"

#include <Platform/Platform.h>

#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>

class QLocalServer;
class QLocalSocket;

// Layout of the shared block (152 bytes requested, little-endian).
struct InstanceBlock
{
    std::uint8_t primary;
    std::uint8_t reserved[3];
    std::uint32_t secondaryCount;
    std::int64_t primaryPid;
    std::uint16_t checksum;
    char primaryUser[128];
    char padding[6];
};
static_assert(sizeof(InstanceBlock) == 152, "shared block layout");

struct ConnectionState
{
    qint64 messageLength = 0;
    quint32 instanceId = 0;
    quint8 stage = 0; // 0: header, 1: body, 2: connected
};

class SingleApplicationPrivate : public QObject
{
    Q_OBJECT
public:
    enum NoticeType : qint8 {
        NewInstance = 1,
        SecondaryInstance = 2,
        Message = 3,
        QuitRequest = 4 // a later start asks the primary to quit (--quit)
    };
    // A connection that has not finished its notice by then is dropped.
    static constexpr int HandshakeTimeoutMs = 5000;

    explicit SingleApplicationPrivate(SingleApplication* q);
    ~SingleApplicationPrivate() override;

    // Prefix and suffixes of the files in the user's runtime folder.
    static constexpr const char* FilePrefix = "tavrin-";
    static constexpr const char* BlockSuffix = ".block";
    static constexpr const char* SocketSuffix = ".socket";

    static QString userName();
    QString computeBlockName() const;
    void lock();
    void unlock();
    void initialiseBlock();
    void stampChecksum();
    quint16 blockChecksum() const;
    bool recordedPrimaryAlive() const;
    void startPrimary();
    void startSecondary();
    // True when the notice was written to the primary.
    bool connectToPrimary(int timeout, NoticeType type);
    void readBody(QLocalSocket* socket, ConnectionState& state);

    InstanceBlock* block() const;

    SingleApplication* q_ptr;
    // The shared block: a file of the user's runtime folder, mapped.
    platform::SharedBlock memory;
    QLocalSocket* socket = nullptr;
    QLocalServer* server = nullptr;
    quint32 instanceId = 0;
    QString blockName;
    QString socketPath;
    bool listenFailed = false;
    SingleApplication::Options options;
    QHash<QLocalSocket*, ConnectionState> connections;

public slots:
    void slotConnectionEstablished();
    void slotDataAvailable(QLocalSocket* socket, quint32 instanceId);
    void slotClientConnectionClosed(QLocalSocket* socket, quint32 instanceId);
};
