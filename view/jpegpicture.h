#pragma once

#include "view/picture.h"

#include <QByteArray>
#include <QImage>

#include <memory>
#include <optional>

namespace view {

/// A JPEG file held whole in memory. The header is parsed when the picture is made, so its size
/// is known at once; the pixels are decoded on the first paint (or prepare()) and kept.
class JpegPicture : public Picture {
public:
    /// Parses the header of `data`; throws Failure "JPEG error #n" with libjpeg's message code
    /// when it cannot (an empty file gives #42, libjpeg's code for an empty input).
    [[nodiscard]] static std::unique_ptr<JpegPicture> load(QByteArray data);

    [[nodiscard]] Kind kind() const override { return Kind::Jpeg; }
    [[nodiscard]] QSize naturalSize() const override { return size_; }
    [[nodiscard]] std::unique_ptr<Picture> clone() const override;
    /// Decodes the picture if that has not been done; returns the decoder's failure once.
    std::optional<QString> prepare() override;
    void paint(QPainter &painter, const QRect &area, bool transparent) const override;
    /// Only once decoded: a picture too large to decode paints nothing.
    [[nodiscard]] bool isOpaque() const override { return decoded_ && !image_.isNull(); }

    /// A picture of the same file (shared, not copied) that shows only `part` of it, in the
    /// file's pixels and clipped to them, each `factor` × `factor` block as one pixel, their
    /// mean. It decodes only that part and holds only the reduced pixels.
    [[nodiscard]] std::unique_ptr<JpegPicture> reduced(const QRect &part, int factor) const;
    /// `part` of the file decoded in grey at 1/`scale` (1, 2, 4 or 8; `part` at multiples of
    /// it) as Format_Grayscale8, for looking at, not kept; null when the decode fails.
    [[nodiscard]] QImage greyCopy(const QRect &part, int scale) const;
    /// The whole file as it was read, shared by the pictures made from it (its EXIF block too).
    [[nodiscard]] const QByteArray &fileBytes() const { return data_; }
    /// The file's own size, whatever part of it the picture shows.
    [[nodiscard]] QSize fileSize() const { return fileSize_; }
    /// The part of the file shown, in the file's pixels, and its reduction factor.
    [[nodiscard]] QRect part() const { return part_; }
    [[nodiscard]] int factor() const { return factor_; }

    [[nodiscard]] bool isGreyscale() const { return greyscale_; }
    [[nodiscard]] bool isProgressive() const { return progressive_; }
    [[nodiscard]] bool isDecoded() const { return decoded_; }
    /// The decoded pixels: Format_RGB32 for colour files, Format_Indexed8 with at most 236 grey
    /// levels for greyscale ones (evenly spaced ones for a part or a reduction); null before the
    /// decode. After a failed decode it holds what was decoded, the rest being black.
    [[nodiscard]] const QImage &image() const { return image_; }

private:
    JpegPicture() = default;
    void decode() const;
    void decodePart() const;

    QByteArray data_;
    QSize size_;
    QSize fileSize_;
    QRect part_;
    int factor_ = 1;
    bool greyscale_ = false;
    bool progressive_ = false;
    // The decode happens on the first paint, which is const; these cache its outcome.
    mutable bool decoded_ = false;
    mutable QImage image_;
    mutable std::optional<QString> pendingFailure_;
};

} // namespace view
