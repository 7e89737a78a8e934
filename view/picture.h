#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace view {

class BitmapPicture;

/// One picture a view can hold: a bitmap, a JPEG picture, an icon or a metafile.
class Picture {
public:
    enum class Kind {
        Bitmap,
        Jpeg,
        Icon,
        Metafile
    };

    virtual ~Picture() = default;
    [[nodiscard]] virtual Kind kind() const = 0;
    /// Size at one picture pixel per device pixel.
    [[nodiscard]] virtual QSize naturalSize() const = 0;
    [[nodiscard]] virtual std::unique_ptr<Picture> clone() const = 0;
    /// Work deferred to the first paint (a JPEG decodes here). Returns the failure message of
    /// that work, once; later calls return nothing.
    virtual std::optional<QString> prepare() { return std::nullopt; }
    /// Draws the picture at natural size with its top-left corner at (0, 0), clipped to `area`.
    /// The painter's unit is one device pixel, so one picture pixel covers one device pixel.
    /// `transparent` leaves out the key colour of a bitmap; other kinds ignore it.
    virtual void paint(QPainter &painter, const QRect &area, bool transparent) const = 0;
    /// Whether paint() without transparency covers every pixel of the natural size with an
    /// opaque colour, so that nothing beneath needs painting.
    [[nodiscard]] virtual bool isOpaque() const { return false; }

    /// The decoded pixels in a format measurements read: Format_Grayscale8 for a palette of
    /// greys, 32-bit colour otherwise; a JPEG never shown is decoded here (prepare() still
    /// reports its failure). A copy shares the picture's pixels; null when there are none.
    [[nodiscard]] virtual QImage measuredImage() const { return {}; }
    /// A picture of the same kind that shows only `part` (in natural pixels, clipped to them),
    /// each `factor` × `factor` block as one pixel, their mean; a kind without pixels is
    /// copied whole.
    [[nodiscard]] virtual std::unique_ptr<Picture> reducedCopy(const QRect &part, int factor) const
    {
        (void)part;
        (void)factor;
        return clone();
    }
    /// `part` in grey (Format_Grayscale8), each `scale` × `scale` block as one pixel, for
    /// looking at, not kept; null when there are no pixels.
    [[nodiscard]] virtual QImage greyLevels(const QRect &part, int scale) const;
    /// The picture as a bitmap that can be drawn on; null for the other kinds.
    [[nodiscard]] virtual BitmapPicture *bitmap() { return nullptr; }
    [[nodiscard]] virtual const BitmapPicture *bitmap() const { return nullptr; }
};

} // namespace view
