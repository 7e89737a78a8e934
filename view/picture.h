#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace view {

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
};

} // namespace view
