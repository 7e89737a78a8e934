#pragma once

// The numbers of the two metafile formats: record types, function numbers and the values their
// parameters take. Both players, the canvas and the tests' record builder name them from here.

#include <cstddef>
#include <cstdint>

namespace metafile {

/// The signature " EMF" at byte 40 of an enhanced metafile's header record.
inline constexpr std::uint32_t kEmfSignature = 0x464D4520;
/// The smallest header record of an enhanced metafile.
inline constexpr std::size_t kEmfMinimalHeaderSize = 88;
/// The key that opens the header of a placeable metafile.
inline constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
/// The placeable header (key, handle, bounding box, units per inch, reserved, checksum) that
/// comes before the metafile's own header.
inline constexpr std::size_t kPlaceableHeaderSize = 22;

/// Record types of an enhanced metafile.
namespace emr {
enum Type : std::uint32_t {
    Header = 1,
    PolyBezier = 2,
    Polygon = 3,
    Polyline = 4,
    PolyBezierTo = 5,
    PolylineTo = 6,
    PolyPolyline = 7,
    PolyPolygon = 8,
    SetWindowExtEx = 9,
    SetWindowOrgEx = 10,
    SetViewportExtEx = 11,
    SetViewportOrgEx = 12,
    Eof = 14,
    SetPixelV = 15,
    SetMapMode = 17,
    SetBkMode = 18,
    SetPolyFillMode = 19,
    SetTextAlign = 22,
    SetTextColor = 24,
    SetBkColor = 25,
    MoveToEx = 27,
    ExcludeClipRect = 29,
    IntersectClipRect = 30,
    ScaleViewportExtEx = 31,
    ScaleWindowExtEx = 32,
    SaveDc = 33,
    RestoreDc = 34,
    SetWorldTransform = 35,
    ModifyWorldTransform = 36,
    SelectObject = 37,
    CreatePen = 38,
    CreateBrushIndirect = 39,
    DeleteObject = 40,
    AngleArc = 41,
    Ellipse = 42,
    Rectangle = 43,
    RoundRect = 44,
    Arc = 45,
    Chord = 46,
    Pie = 47,
    CreatePalette = 49,
    LineTo = 54,
    ArcTo = 55,
    SetArcDirection = 57,
    BeginPath = 59,
    EndPath = 60,
    CloseFigure = 61,
    FillPath = 62,
    StrokeAndFillPath = 63,
    StrokePath = 64,
    SelectClipPath = 67,
    AbortPath = 68,
    FillRgn = 71,
    ExtSelectClipRgn = 75,
    BitBlt = 76,
    StretchBlt = 77,
    SetDiBitsToDevice = 80,
    StretchDiBits = 81,
    ExtCreateFontIndirectW = 82,
    ExtTextOutA = 83,
    ExtTextOutW = 84,
    // The forms with 16-bit points, in the order of their 32-bit counterparts PolyBezier ….
    PolyBezier16 = 85,
    Polygon16 = 86,
    Polyline16 = 87,
    PolyBezierTo16 = 88,
    PolylineTo16 = 89,
    PolyPolyline16 = 90,
    PolyPolygon16 = 91,
    CreateMonoBrush = 93,
    CreateDibPatternBrushPt = 94,
    ExtCreatePen = 95,
    SmallTextOut = 108,
    AlphaBlend = 114,
};
} // namespace emr

/// Function numbers of the records of a (placeable) metafile. The high byte of some of them is
/// the record's length in words less the three of its header, which the bit-block records use to
/// tell whether they carry a bitmap.
namespace wmf {
enum Function : std::uint16_t {
    Eof = 0x0000,
    SaveDc = 0x001E,
    CreatePalette = 0x00F7,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetPolyFillMode = 0x0106,
    RestoreDc = 0x0127,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    DibCreatePatternBrush = 0x0142,
    DeleteObject = 0x01F0,
    CreatePatternBrush = 0x01F9,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    OffsetViewportOrg = 0x0211,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    Polygon = 0x0324,
    Polyline = 0x0325,
    ScaleWindowExt = 0x0410,
    ScaleViewportExt = 0x0412,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    CreateRegion = 0x06FF,
    Arc = 0x0817,
    Pie = 0x081A,
    Chord = 0x0830,
    BitBlt = 0x0922,
    DibBitBlt = 0x0940,
    ExtTextOut = 0x0A32,
    StretchBlt = 0x0B23,
    DibStretchBlt = 0x0B41,
    SetDiBitsToDevice = 0x0D33,
    StretchDib = 0x0F43,
};
} // namespace wmf

/// The mapping modes of the device context.
enum MapMode : std::uint32_t {
    MmText = 1,
    MmLoMetric = 2,
    MmHiMetric = 3,
    MmLoEnglish = 4,
    MmHiEnglish = 5,
    MmTwips = 6,
    MmIsotropic = 7,
    MmAnisotropic = 8
};

/// Background modes: whether the gaps of text, hatches and dashes show the background colour.
enum BackgroundMode : std::uint32_t {
    BkTransparent = 1,
    BkOpaque = 2
};

/// Fill modes of polygons and paths.
enum FillMode : std::uint32_t {
    FillAlternate = 1,
    FillWinding = 2
};

/// Directions of arcs, as the picture shows them.
enum ArcDirection : std::uint32_t {
    ArcCounterClockwise = 1,
    ArcClockwise = 2
};

/// How a new clip combines with the current one.
enum ClipMode : std::uint32_t {
    ClipAnd = 1,
    ClipOr = 2,
    ClipXor = 3,
    ClipDiff = 4,
    ClipCopy = 5
};

/// How a transform given to ModifyWorldTransform combines with the world transform.
enum WorldTransformMode : std::uint32_t {
    WorldIdentity = 1,
    WorldLeftMultiply = 2,
    WorldRightMultiply = 3,
    WorldSet = 4
};

/// Raster operations of the bit-block transfers that are drawn.
namespace rop {
inline constexpr std::uint32_t SrcCopy = 0x00CC0020;
inline constexpr std::uint32_t SrcAnd = 0x008800C6;
inline constexpr std::uint32_t SrcPaint = 0x00EE0086;
inline constexpr std::uint32_t NotSrcCopy = 0x00330008;
inline constexpr std::uint32_t PatCopy = 0x00F00021;
inline constexpr std::uint32_t PatInvert = 0x005A0049;
inline constexpr std::uint32_t Blackness = 0x00000042;
inline constexpr std::uint32_t Whiteness = 0x00FF0062;
} // namespace rop

/// Flags of the text alignment: horizontal in the low bits, vertical above, and whether text
/// starts at (and moves) the current position.
namespace textAlign {
inline constexpr std::uint32_t UpdateCurrent = 1;
inline constexpr std::uint32_t Right = 2;
inline constexpr std::uint32_t Centre = 6;
inline constexpr std::uint32_t Bottom = 8;
inline constexpr std::uint32_t Baseline = 24;
} // namespace textAlign

/// Options of the text records.
namespace textOption {
inline constexpr std::uint32_t Opaque = 2; // the box is filled with the background colour
inline constexpr std::uint32_t Clipped = 4; // the text is clipped to the box
inline constexpr std::uint32_t NoRect = 0x100; // a small text record carries no box
inline constexpr std::uint32_t SmallChars = 0x200; // a small text record's characters are bytes
inline constexpr std::uint32_t PairedAdvances = 0x2000; // each advance has a vertical one too
} // namespace textOption

/// The stock objects an enhanced metafile selects by index, with the top bit set.
namespace stock {
inline constexpr std::uint32_t Flag = 0x80000000;
enum Object : std::uint32_t {
    WhiteBrush = 0, // then light grey, grey, dark grey
    BlackBrush = 4,
    NullBrush = 5,
    WhitePen = 6,
    BlackPen = 7,
    NullPen = 8,
    FirstFont = 10,
    LastFont = 17,
    DcBrush = 18,
    DcPen = 19
};
} // namespace stock

/// Styles of a brush as the records create it.
enum BrushStyle : std::uint32_t {
    BrushSolid = 0,
    BrushNull = 1,
    BrushHatched = 2,
    BrushPattern = 3
};

/// Pen style words: the dash style in the low four bits, then the end cap, the join and whether
/// the pen is geometric (its width in logical units) rather than cosmetic.
namespace penStyle {
inline constexpr std::uint32_t DashMask = 0xf;
inline constexpr std::uint32_t Null = 5;
inline constexpr std::uint32_t CapMask = 0xf00;
inline constexpr std::uint32_t CapSquare = 0x100;
inline constexpr std::uint32_t CapFlat = 0x200;
inline constexpr std::uint32_t JoinMask = 0xf000;
inline constexpr std::uint32_t JoinBevel = 0x1000;
inline constexpr std::uint32_t JoinMiter = 0x2000;
inline constexpr std::uint32_t Geometric = 0x10000;
} // namespace penStyle

} // namespace metafile
