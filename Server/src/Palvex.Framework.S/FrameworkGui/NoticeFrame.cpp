#include "NoticeFrame.h"

#include <QDataStream>

namespace {

void prepare(QDataStream& stream)
{
    stream.setVersion(QDataStream::Qt_5_6);
    stream.setByteOrder(QDataStream::BigEndian);
}

} // namespace

QByteArray NoticeFrame::toBytes() const
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    prepare(out);
    out << name << type << id;
    out << qChecksum(body.constData(), static_cast<uint>(body.size()));
    QByteArray frame;
    QDataStream head(&frame, QIODevice::WriteOnly);
    prepare(head);
    head << static_cast<qint64>(body.size());
    return frame + body;
}

qint64 NoticeFrame::bodyLength(const QByteArray& header)
{
    QDataStream in(header);
    prepare(in);
    qint64 length = -1;
    in >> length;
    return in.status() == QDataStream::Ok && length >= MinBodyLength && length <= MaxBodyLength ? length : -1;
}

bool NoticeFrame::parseBody(const QByteArray& body)
{
    QDataStream in(body);
    prepare(in);
    quint16 checksum = 0;
    in >> name >> type >> id >> checksum;
    return in.status() == QDataStream::Ok && in.atEnd()
           && checksum == qChecksum(body.constData(), static_cast<uint>(body.size() - 2));
}
