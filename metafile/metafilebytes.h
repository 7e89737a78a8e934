#pragma once

#include "measure/failure.h"
#include "metafile/littleendian.h"

#include <QByteArray>
#include <QColor>
#include <QPolygonF>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace metafile {

inline constexpr const char *kInvalidMetafile = "Metafile is not valid";

/// Throws the one failure every malformed metafile ends in.
[[noreturn]] inline void invalidMetafile()
{
    throw measure::Failure(kInvalidMetafile);
}

/// A window on some bytes of a metafile: every read is checked against the window, so a record
/// can never make the player look past its own end (nor past the file's).
class ByteSpan {
public:
    ByteSpan() = default;
    ByteSpan(const char *data, std::size_t size)
        : data_(reinterpret_cast<const std::uint8_t *>(data))
        , size_(size)
    { }
    explicit ByteSpan(const QByteArray &bytes)
        : ByteSpan(bytes.constData(), static_cast<std::size_t>(bytes.size()))
    { }

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] const char *data() const { return reinterpret_cast<const char *>(data_); }
    [[nodiscard]] bool has(std::size_t offset, std::size_t count) const
    {
        return offset <= size_ && count <= size_ - offset;
    }
    /// The bytes [offset, offset + count), or a failure when they are not all inside.
    [[nodiscard]] ByteSpan sub(std::size_t offset, std::size_t count) const
    {
        need(offset, count);
        return {data() + offset, count};
    }
    [[nodiscard]] std::uint8_t u8(std::size_t offset) const
    {
        need(offset, 1);
        return data_[offset];
    }
    [[nodiscard]] std::uint16_t u16(std::size_t offset) const
    {
        need(offset, 2);
        return static_cast<std::uint16_t>(littleEndian(data_ + offset, 2));
    }
    [[nodiscard]] std::int16_t s16(std::size_t offset) const
    {
        return static_cast<std::int16_t>(u16(offset));
    }
    [[nodiscard]] std::uint32_t u32(std::size_t offset) const
    {
        need(offset, 4);
        return littleEndian(data_ + offset, 4);
    }
    [[nodiscard]] std::int32_t s32(std::size_t offset) const
    {
        return static_cast<std::int32_t>(u32(offset));
    }
    [[nodiscard]] float f32(std::size_t offset) const
    {
        const std::uint32_t bits = u32(offset);
        float value;
        static_assert(sizeof value == sizeof bits);
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    void need(std::size_t offset, std::size_t count) const
    {
        if (!has(offset, count))
            invalidMetafile();
    }

    const std::uint8_t *data_ = nullptr;
    std::size_t size_ = 0;
};

/// A colour stored red, green, blue and a fourth byte that is not read.
[[nodiscard]] inline QColor colourAt(ByteSpan bytes, std::size_t at)
{
    return QColor(bytes.u8(at), bytes.u8(at + 1), bytes.u8(at + 2));
}

/// `count` points of two 16-bit coordinates each, x first, from `at`.
[[nodiscard]] inline QPolygonF points16At(ByteSpan bytes, std::size_t at, std::size_t count)
{
    const ByteSpan all = bytes.sub(at, 4 * count);
    QPolygonF points;
    points.reserve(qsizetype(count));
    for (std::size_t i = 0; i < count; ++i)
        points.append(QPointF(all.s16(4 * i), all.s16(4 * i + 2)));
    return points;
}

/// Text of a metafile in the Windows Western code page.
[[nodiscard]] QString ansiText(ByteSpan bytes);
/// Text of a metafile in UTF-16, little-endian.
[[nodiscard]] QString wideText(ByteSpan bytes);

} // namespace metafile
