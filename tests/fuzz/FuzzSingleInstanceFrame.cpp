// Arbitrary bytes as a notice on the single-instance socket, read as the primary reads it. Checked: the header is refused exactly when it is short or
// announces a length out of bounds; a body that reads is, byte for byte, the frame the writer makes of what was read; and a frame the writer makes of
// the input reads back to the same fields, but not once one of its bytes is changed.
#include "NoticeFrame.h"

#include <QtEndian>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const qint64 length = NoticeFrame::bodyLength(bytes.left(NoticeFrame::HeaderLength));
    const qint64 announced = size >= 8 ? qFromBigEndian<qint64>(data) : -1;
    if ((length >= 0) != (announced >= NoticeFrame::MinBodyLength && announced <= NoticeFrame::MaxBodyLength))
        std::abort();
    NoticeFrame read;
    if (length >= 0 && bytes.size() >= NoticeFrame::HeaderLength + length
        && read.parseBody(bytes.mid(NoticeFrame::HeaderLength, static_cast<int>(length)))
        && read.toBytes() != bytes.left(NoticeFrame::HeaderLength + static_cast<int>(length)))
        std::abort();

    if (size < 6)
        return 0;
    NoticeFrame written;
    written.type = static_cast<qint8>(data[0]);
    written.id = qFromBigEndian<qint32>(data + 1);
    written.name = bytes.mid(6).left(NoticeFrame::MaxBodyLength - NoticeFrame::MinBodyLength);
    QByteArray frame = written.toBytes();
    const QByteArray body = frame.mid(NoticeFrame::HeaderLength);
    if (NoticeFrame::bodyLength(frame) != body.size() || !read.parseBody(body) || read.name != written.name || read.type != written.type
        || read.id != written.id)
        std::abort();
    frame[data[5] % frame.size()] = static_cast<char>(frame[data[5] % frame.size()] ^ (data[0] | 1));
    const qint64 damagedLength = NoticeFrame::bodyLength(frame);
    if (damagedLength >= 0 && damagedLength <= frame.size() - NoticeFrame::HeaderLength
        && read.parseBody(frame.mid(NoticeFrame::HeaderLength, static_cast<int>(damagedLength))))
        std::abort();
    return 0;
}
