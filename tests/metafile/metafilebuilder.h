#pragma once

// Small metafiles written record by record, so the tests know exactly what each file draws.

#include "metafile/metafilerecords.h"

#include <QByteArray>
#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace metafilebuilder {

inline void put16(QByteArray &out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

inline void put32(QByteArray &out, std::int64_t value)
{
    put16(out, int(value & 0xffff));
    put16(out, int((value >> 16) & 0xffff));
}

/// An enhanced metafile record of 32-bit parameters, followed by raw bytes.
inline QByteArray emfRecord(
    std::uint32_t type, std::initializer_list<std::int64_t> params, const QByteArray &tail = {})
{
    QByteArray out;
    put32(out, type);
    put32(out, 8 + 4 * std::int64_t(params.size()) + tail.size());
    for (const std::int64_t p : params)
        put32(out, p);
    out.append(tail);
    return out;
}

/// A whole enhanced metafile: an 88-byte header, the records, and an end record unless told not
/// to. The reference device is 960 × 960 pixels on 254 × 254 mm, exactly 96 dots per inch.
inline QByteArray emfFile(
    const QRect &frame, const QByteArray &records, bool endRecord = true, int handles = 8)
{
    QByteArray body = records;
    if (endRecord)
        body += emfRecord(metafile::emr::Eof, {0, 16, 20});
    QByteArray out;
    put32(out, metafile::emr::Header);
    put32(out, 88);
    for (int v : {0, 0, 100, 100})
        put32(out, v);
    for (int v :
        {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()})
        put32(out, v);
    put32(out, metafile::kEmfSignature);
    put32(out, 0x10000);
    put32(out, 88 + body.size());
    put32(out, 2);
    put16(out, handles);
    put16(out, 0);
    for (int v : {0, 0, 0, 960, 960, 254, 254})
        put32(out, v);
    return out + body;
}

/// A metafile record of 16-bit parameters (in the file's order), followed by raw bytes.
inline QByteArray wmfRecord(
    int function, std::initializer_list<int> params, const QByteArray &tail = {})
{
    QByteArray out;
    put32(out, 3 + std::int64_t(params.size()) + tail.size() / 2);
    put16(out, function);
    for (const int p : params)
        put16(out, p);
    out.append(tail);
    return out;
}

inline std::uint16_t placeableChecksum(const QByteArray &header)
{
    std::uint16_t sum = 0;
    for (int i = 0; i < 20; i += 2)
        sum ^= std::uint16_t(std::uint8_t(header[i]) | std::uint8_t(header[i + 1]) << 8);
    return sum;
}

/// A placeable metafile: its 22-byte header, the 18-byte metafile header, the records and an end
/// record.
inline QByteArray wmfFile(
    const QRect &box, int inch, const QByteArray &records, int objects = 8, bool endRecord = true)
{
    QByteArray out;
    put32(out, metafile::kPlaceableKey);
    put16(out, 0);
    for (int v : {box.left(), box.top(), box.left() + box.width(), box.top() + box.height()})
        put16(out, v);
    put16(out, inch);
    put32(out, 0);
    put16(out, placeableChecksum(out));
    QByteArray body = records;
    if (endRecord)
        body += wmfRecord(metafile::wmf::Eof, {});
    put16(out, 1);
    put16(out, 9);
    put16(out, 0x300);
    put32(out, 9 + body.size() / 2);
    put16(out, objects);
    put32(out, 0);
    put16(out, 0);
    return out + body;
}

/// A colour as the records store it, 0x00bbggrr.
inline std::int64_t colorref(int r, int g, int b)
{
    return r | g << 8 | b << 16;
}

/// A 24-bit bitmap with a 40-byte header, rows stored bottom-up; `rows` is given top-down.
inline QByteArray dib24(const std::vector<std::vector<QRgb>> &rows)
{
    const int height = int(rows.size());
    const int width = int(rows.front().size());
    QByteArray out;
    for (std::int64_t v : {40, width, height})
        put32(out, v);
    put16(out, 1);
    put16(out, 24);
    for (int i = 0; i < 6; ++i)
        put32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row;
        for (const QRgb c : rows[std::size_t(y)]) {
            row.append(char(qBlue(c)));
            row.append(char(qGreen(c)));
            row.append(char(qRed(c)));
        }
        while (row.size() % 4)
            row.append('\0');
        out += row;
    }
    return out;
}

/// 16-bit point pairs, as the 16-bit polygon records and the older metafile store them.
inline QByteArray points16(std::initializer_list<QPoint> points)
{
    QByteArray out;
    for (const QPoint &p : points) {
        put16(out, p.x());
        put16(out, p.y());
    }
    return out;
}

/// UTF-16 text padded to four bytes.
inline QByteArray utf16(const QString &text)
{
    QByteArray out;
    for (const QChar c : text)
        put16(out, c.unicode());
    while (out.size() % 4)
        out.append('\0');
    return out;
}

} // namespace metafilebuilder
