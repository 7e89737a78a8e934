#include "view/jpegpicture.h"

#include "view/failures.h"
#include "view/largepages.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

namespace view {

namespace {

// The decoder is fed the file in pieces of this size, as it would be from a stream.
constexpr std::size_t kPieceSize = 4096;
// Greyscale pictures are held with a palette of at most this many levels.
constexpr int kGreyLevels = 236;
// Scanlines asked of libjpeg per call; it hands out at most its own row group anyway.
constexpr int kRowsPerRead = 16;
// The largest bitmap a picture decodes into: 268 million colour pixels, well beyond any camera.
// A file of a hundred bytes may declare 65500 × 65500 pixels; decoding it would take 17 GB and
// most of a minute of filling in missing data.
constexpr qint64 kMaxBitmapBytes = qint64(1) << 30;

const JOCTET kFakeEndOfImage[2] = {0xFF, JPEG_EOI};

// A source manager over the in-memory file. It gives the decoder pointers into the file itself,
// so nothing is copied; when the data end early it supplies an end-of-image marker, so that the
// decoder completes the picture with what it has instead of failing.
struct MemorySource {
    jpeg_source_mgr manager; // first, so that libjpeg's pointer is also ours
    const JOCTET *data;
    std::size_t size;
    std::size_t next;
};

void initSource(j_decompress_ptr)
{ }

boolean fillInputBuffer(j_decompress_ptr info)
{
    auto *source = reinterpret_cast<MemorySource *>(info->src);
    if (source->next >= source->size) {
        if (source->size == 0)
            ERREXIT(info, JERR_INPUT_EMPTY);
        WARNMS(info, JWRN_JPEG_EOF);
        source->manager.next_input_byte = kFakeEndOfImage;
        source->manager.bytes_in_buffer = sizeof kFakeEndOfImage;
        return TRUE;
    }
    const std::size_t piece = std::min(kPieceSize, source->size - source->next);
    source->manager.next_input_byte = source->data + source->next;
    source->manager.bytes_in_buffer = piece;
    source->next += piece;
    return TRUE;
}

void skipInputData(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr &manager = *info->src;
    while (count > static_cast<long>(manager.bytes_in_buffer)) {
        count -= static_cast<long>(manager.bytes_in_buffer);
        fillInputBuffer(info);
    }
    manager.next_input_byte += count;
    manager.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void termSource(j_decompress_ptr)
{ }

// libjpeg's fatal errors jump back to the trap set in trapped(); nothing may be thrown through
// libjpeg's C frames. Warnings (corrupt data, premature end) and trace output are ignored.
struct ErrorTrap {
    jpeg_error_mgr manager; // first, see MemorySource
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorTrap *>(info->err)->jump, 1);
}

void emitMessage(j_common_ptr, int)
{ }

void outputMessage(j_common_ptr)
{ }

// One decompression, from creation to destruction.
struct Decoder {
    jpeg_decompress_struct info{};
    ErrorTrap trap{};
    MemorySource source{};
    bool created = false;
    int rowsRead = 0;

    explicit Decoder(const QByteArray &data)
    {
        info.err = jpeg_std_error(&trap.manager);
        trap.manager.error_exit = errorExit;
        trap.manager.emit_message = emitMessage;
        trap.manager.output_message = outputMessage;
        source.manager.init_source = initSource;
        source.manager.fill_input_buffer = fillInputBuffer;
        source.manager.skip_input_data = skipInputData;
        source.manager.resync_to_restart = jpeg_resync_to_restart;
        source.manager.term_source = termSource;
        source.data = reinterpret_cast<const JOCTET *>(data.constData());
        source.size = static_cast<std::size_t>(data.size());
    }
    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    void create()
    {
        jpeg_create_decompress(&info);
        created = true;
        info.src = &source.manager;
    }
};

constexpr int kNoError = -1;

// Runs `step` with the error trap set: returns kNoError, or libjpeg's message code when a fatal
// error jumped out of it. `step` must not hold objects with destructors, since a jump skips
// them.
template <typename Step> int trapped(Decoder &decoder, Step step)
{
    if (setjmp(decoder.trap.jump) != 0)
        return decoder.trap.manager.msg_code;
    step();
    return kNoError;
}

[[noreturn]] void failWith(int code)
{
    failures::fail(QString::fromLatin1(failures::kJpegError).arg(code));
}

bool isCmyk(J_COLOR_SPACE space)
{
    return space == JCS_CMYK || space == JCS_YCCK;
}

// CMYK rows come out four bytes a pixel, the same width as Format_RGB32; turned to BGRX in
// place. Files from Adobe programs store the inks inverted, which is what libjpeg hands out.
void cmykRowToRgb32(uchar *row, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, row += 4) {
        int c = row[0], m = row[1], y = row[2], k = row[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        const auto mix = [k](int ink) {
            return static_cast<uchar>((ink * k + 127) / 255);
        };
        row[0] = mix(y);
        row[1] = mix(m);
        row[2] = mix(c);
        row[3] = 0xFF;
    }
}

} // namespace

std::unique_ptr<JpegPicture> JpegPicture::load(QByteArray data)
{
    std::unique_ptr<JpegPicture> picture(new JpegPicture);
    picture->data_ = std::move(data);
    Decoder decoder(picture->data_);
    const int error = trapped(decoder, [&decoder] {
        decoder.create();
        jpeg_read_header(&decoder.info, TRUE);
    });
    if (error != kNoError)
        failWith(error);
    picture->size_ = QSize(
        static_cast<int>(decoder.info.image_width), static_cast<int>(decoder.info.image_height));
    picture->greyscale_ = decoder.info.jpeg_color_space == JCS_GRAYSCALE;
    picture->progressive_ = jpeg_has_multiple_scans(&decoder.info);
    return picture;
}

std::unique_ptr<Picture> JpegPicture::clone() const
{
    return std::unique_ptr<Picture>(new JpegPicture(*this));
}

std::optional<QString> JpegPicture::prepare()
{
    if (!decoded_)
        decode();
    std::optional<QString> failure;
    failure.swap(pendingFailure_);
    return failure;
}

void JpegPicture::paint(QPainter &painter, const QRect &area, bool) const
{
    if (!decoded_)
        decode();
    const QRect shown = area & QRect(QPoint(0, 0), image_.size());
    if (!shown.isEmpty())
        painter.drawImage(shown.topLeft(), image_, shown);
}

void JpegPicture::decode() const
{
    decoded_ = true;
    const qint64 bytesPerPixel = greyscale_ ? 1 : 4;
    if (qint64(size_.width()) * size_.height() * bytesPerPixel > kMaxBitmapBytes) {
        pendingFailure_ = QString::fromLatin1(failures::kOutOfResources);
        return;
    }
    Decoder decoder(data_);
    int error = trapped(decoder, [this, &decoder] {
        decoder.create();
        jpeg_read_header(&decoder.info, TRUE);
        jpeg_decompress_struct &info = decoder.info;
        info.scale_num = 1;
        info.scale_denom = 1;
        info.dct_method = JDCT_FLOAT;
        info.do_block_smoothing = TRUE;
        info.buffered_image = FALSE;
        if (greyscale_) {
            info.out_color_space = JCS_GRAYSCALE;
            info.quantize_colors = TRUE;
            info.desired_number_of_colors = kGreyLevels;
        } else if (isCmyk(info.jpeg_color_space)) {
            info.out_color_space = JCS_CMYK;
        } else {
            // libjpeg-turbo writes blue, green, red, 0xFF: the memory order of Format_RGB32.
            info.out_color_space = JCS_EXT_BGRX;
        }
        jpeg_start_decompress(&info);
    });
    QImage image;
    if (error == kNoError) {
        const jpeg_decompress_struct &info = decoder.info;
        image = QImage(size_, greyscale_ ? QImage::Format_Indexed8 : QImage::Format_RGB32);
        if (image.isNull() || static_cast<int>(info.output_width) != size_.width()
            || static_cast<int>(info.output_height) != size_.height()) {
            pendingFailure_ = QString::fromLatin1(failures::kOutOfResources);
            return;
        }
        if (greyscale_) {
            QVector<QRgb> palette(info.actual_number_of_colors);
            for (int i = 0; i < palette.size(); ++i)
                palette[i] = qRgb(info.colormap[0][i], info.colormap[0][i], info.colormap[0][i]);
            image.setColorTable(palette);
        }
        uchar *const bits = image.bits();
        const qsizetype stride = image.bytesPerLine();
        preferLargePages(bits, image.sizeInBytes());
        const bool cmyk = info.out_color_space == JCS_CMYK;
        const bool inverted = info.saw_Adobe_marker;
        error = trapped(decoder, [&decoder, bits, stride, cmyk, inverted] {
            jpeg_decompress_struct &info = decoder.info;
            JSAMPROW rows[kRowsPerRead];
            while (info.output_scanline < info.output_height) {
                const int first = static_cast<int>(info.output_scanline);
                const int count =
                    std::min<int>(kRowsPerRead, static_cast<int>(info.output_height) - first);
                for (int i = 0; i < count; ++i)
                    rows[i] = bits + (first + i) * stride;
                const int read = static_cast<int>(jpeg_read_scanlines(&info, rows, count));
                if (cmyk)
                    for (int i = 0; i < read; ++i)
                        cmykRowToRgb32(rows[i], static_cast<int>(info.output_width), inverted);
                decoder.rowsRead = first + read;
            }
            jpeg_finish_decompress(&info);
        });
        // Rows the decoder never reached show black (palette entry 0 of a greyscale picture is
        // black too) rather than whatever the memory held.
        for (int y = decoder.rowsRead; y < image.height(); ++y) {
            if (greyscale_)
                std::fill_n(image.scanLine(y), stride, uchar(0));
            else
                std::fill_n(
                    reinterpret_cast<QRgb *>(image.scanLine(y)), size_.width(), qRgb(0, 0, 0));
        }
    }
    image_ = image;
    if (error != kNoError)
        pendingFailure_ = QString::fromLatin1(failures::kJpegError).arg(error);
}

} // namespace view
