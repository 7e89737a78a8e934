#pragma once

// The graphic objects of a metafile's device context and the table the records keep them in.

#include <QColor>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace metafile {

/// A pen as a metafile creates it: its style word (dash style, end cap, join, geometric flag),
/// its width in logical units (0: one pixel whatever the scale) and its colour.
struct MetaPen {
    std::uint32_t style = 0;
    double width = 0;
    QColor color = Qt::black;
};

struct MetaBrush {
    enum class Style {
        Solid,
        Null,
        Hatched,
        Pattern
    };
    Style style = Style::Solid;
    QColor color = Qt::white;
    std::uint32_t hatch = 0;
    QImage pattern;

    /// A brush as a metafile describes it: its style (0 solid, 1 null, 2 hatched; other styles
    /// are drawn solid), colour and hatch.
    [[nodiscard]] static MetaBrush logical(std::uint32_t style, QColor color, std::uint32_t hatch);
    /// A pattern brush of a bitmap; one that could not be decoded paints solid black.
    [[nodiscard]] static MetaBrush patterned(QImage pattern);
};

/// A font as a metafile asks for it. Text is always set in a sans-serif face: the faces the
/// metafile names are rarely installed here, and a sans-serif one keeps the layout closest.
struct MetaFont {
    double height = 0; // logical units; negative: character height, positive: cell height
    double escapement = 0; // tenths of a degree, counter-clockwise
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

/// The graphic objects a metafile creates into its object table. Palettes and regions take a
/// slot too, though they are never drawn with (std::monostate).
using MetaObject = std::variant<std::monostate, MetaPen, MetaBrush, MetaFont>;

/// The object table of a metafile, whose records create objects into slots and later select
/// or delete them by index. Some writers count their objects short in the header, so the table
/// grows past the size announced, up to the most a header or a 16-bit index could reach.
class MetaObjectTable {
public:
    explicit MetaObjectTable(std::size_t size)
        : slots_(size)
    { }

    /// Puts `object` at `index`, replacing what was there.
    void put(std::size_t index, MetaObject object);
    /// Puts `object` into the lowest free slot.
    void putInFreeSlot(MetaObject object);
    void remove(std::size_t index);
    /// The object at `index`; none for an empty slot or one beyond the table.
    [[nodiscard]] const MetaObject *find(std::size_t index) const;

private:
    std::vector<std::optional<MetaObject>> slots_;
};

} // namespace metafile
