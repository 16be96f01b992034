#pragma once
// One notice on the single-instance socket: a header holding the body length
// (signed 64 bits), then the body: the sender's block name (32-bit length and
// bytes), the notice type (8 bits), the sender's instance id (32 bits) and a
// 16-bit checksum over the body bytes before it. Big-endian, in the Qt 5.6
// stream format. The writer and the primary's reader both go through here.
#include <QByteArray>
#include <QtGlobal>

class NoticeFrame
{
public:
    static constexpr int HeaderLength = 8;
    // An empty name (4), the type (1), the id (4), the checksum (2).
    static constexpr qint64 MinBodyLength = 11;
    // Largest body a client may announce; a real notice is under 100 bytes.
    static constexpr qint64 MaxBodyLength = 4096;

    QByteArray name;
    qint8 type = 0;
    qint32 id = 0;

    // Header and body.
    QByteArray toBytes() const;
    // The body length a header announces; -1 when the header is short or the
    // length is out of bounds.
    static qint64 bodyLength(const QByteArray& header);
    // Fills the fields from a whole body; false, leaving them unspecified,
    // when the body is cut short, longer than its fields or its checksum is
    // wrong.
    bool parseBody(const QByteArray& body);
};
