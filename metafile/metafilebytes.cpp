#include "metafile/metafilebytes.h"

namespace metafile {

QString ansiText(ByteSpan bytes)
{
    // The code page differs from Latin-1 only in 0x80..0x9f.
    static constexpr char16_t high[32] = {0x20ac,
        0x81,
        0x201a,
        0x192,
        0x201e,
        0x2026,
        0x2020,
        0x2021,
        0x2c6,
        0x2030,
        0x160,
        0x2039,
        0x152,
        0x8d,
        0x17d,
        0x8f,
        0x90,
        0x2018,
        0x2019,
        0x201c,
        0x201d,
        0x2022,
        0x2013,
        0x2014,
        0x2dc,
        0x2122,
        0x161,
        0x203a,
        0x153,
        0x9d,
        0x17e,
        0x178};
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t c = bytes.u8(i);
        text.append(QChar(c >= 0x80 && c < 0xa0 ? high[c - 0x80] : char16_t(c)));
    }
    return text;
}

QString wideText(ByteSpan bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size() / 2));
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(bytes.u16(i)));
    return text;
}

} // namespace metafile
