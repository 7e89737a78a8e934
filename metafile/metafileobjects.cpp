#include "metafile/metafileobjects.h"

#include "metafile/metafilerecords.h"

namespace metafile {

namespace {

// An index of a 16-bit record reaches no further, and no sane enhanced metafile does either.
constexpr std::size_t kMaxObjects = 65536;

} // namespace

MetaBrush MetaBrush::logical(std::uint32_t style, QColor color, std::uint32_t hatch)
{
    MetaBrush brush;
    brush.style = style == BrushNull ? Style::Null
        : style == BrushHatched      ? Style::Hatched
                                     : Style::Solid;
    brush.color = color;
    brush.hatch = hatch;
    return brush;
}

MetaBrush MetaBrush::patterned(QImage pattern)
{
    MetaBrush brush;
    brush.color = Qt::black;
    brush.style = pattern.isNull() ? Style::Solid : Style::Pattern;
    brush.pattern = std::move(pattern);
    return brush;
}

void MetaObjectTable::put(std::size_t index, MetaObject object)
{
    if (index >= kMaxObjects)
        return;
    if (index >= slots_.size())
        slots_.resize(index + 1);
    slots_[index] = std::move(object);
}

void MetaObjectTable::putInFreeSlot(MetaObject object)
{
    for (auto &slot : slots_) {
        if (!slot) {
            slot = std::move(object);
            return;
        }
    }
    if (slots_.size() < kMaxObjects)
        slots_.emplace_back(std::move(object));
}

void MetaObjectTable::remove(std::size_t index)
{
    if (index < slots_.size())
        slots_[index].reset();
}

const MetaObject *MetaObjectTable::find(std::size_t index) const
{
    if (index >= slots_.size() || !slots_[index])
        return nullptr;
    return &*slots_[index];
}

} // namespace metafile
