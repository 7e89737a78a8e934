#include "view/jpegpicture.h"

#include "view/boxreduce.h"
#include "view/failures.h"
#include "view/largepages.h"
#include "view/pixels.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <jerror.h>
#include <jpeglib.h>
#include <vector>

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
    std::size_t piece;
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
    const std::size_t piece = std::min(source->piece, source->size - source->next);
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

    explicit Decoder(const QByteArray &data, std::size_t piece = kPieceSize)
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
        source.piece = piece;
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

// The fraction of the inverse transform (1/8, 1/4, 1/2) that takes the largest share of the
// reduction, the rest being a box average: 2, 4 and 8 are the transform alone, 3 and 5 a box
// at full size, 6 is 1/2 then a box of 3, 12 is 1/4 then 3, 16 is 1/8 then 2. A scaled pixel
// stands for a whole block of file pixels only when the part starts on a multiple of the scale,
// so a part elsewhere takes a smaller scale and a larger box.
int transformScale(const QRect &part, int factor)
{
    for (const int scale : {8, 4, 2})
        if (factor % scale == 0 && part.x() % scale == 0 && part.y() % scale == 0)
            return scale;
    return 1;
}

int ceilDiv(int a, int b)
{
    return (a + b - 1) / b;
}

// Reduced pictures of greyscale files keep to 236 levels too, evenly spaced: a box mean is
// not a level of the file's own palette. The palette index of each level.
const std::array<uchar, 256> greyIndex = [] {
    std::array<uchar, 256> index{};
    for (int level = 0; level < 256; ++level)
        index[std::size_t(level)] = static_cast<uchar>((level * (kGreyLevels - 1) + 127) / 255);
    return index;
}();

QVector<QRgb> evenGreyPalette()
{
    QVector<QRgb> palette(kGreyLevels);
    for (int i = 0; i < kGreyLevels; ++i) {
        const int level = (i * 255 + (kGreyLevels - 1) / 2) / (kGreyLevels - 1);
        palette[i] = qRgb(level, level, level);
    }
    return palette;
}

void bgrxRowToGrey(const uchar *row, int width, uchar *grey)
{
    for (int x = 0; x < width; ++x, row += 4)
        grey[x] = static_cast<uchar>((row[2] * 299 + row[1] * 587 + row[0] * 114 + 500) / 1000);
}

enum class PartOutput {
    Shown, // RGB32, or Indexed8 for a greyscale file
    Grey, // Grayscale8 whatever the file
};

constexpr int kOutOfResources = -2;

// What a decode asks of the decoder: the scale of its inverse transform and the pixels wanted.
struct Setup {
    int scale = 1;
    PartOutput output = PartOutput::Shown;
    // A whole greyscale file is held with libjpeg's own palette of kGreyLevels greys.
    bool greyPalette = false;
};

// The one set-up of the decoder after the header, for the whole file and for a part.
void configure(jpeg_decompress_struct &info, const Setup &setup)
{
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(setup.scale);
    // Used at 1/1; the scaled transforms of libjpeg have no floating-point variant.
    info.dct_method = JDCT_FLOAT;
    info.do_block_smoothing = TRUE;
    // Reduced, the colours are upsampled with the conversion in one pass; the smooth
    // upsampling of 1/1 would be lost in the reduction anyway.
    info.do_fancy_upsampling = setup.scale == 1 ? TRUE : FALSE;
    info.buffered_image = FALSE;
    info.quantize_colors = FALSE;
    if (isCmyk(info.jpeg_color_space)) {
        info.out_color_space = JCS_CMYK;
    } else if (setup.output == PartOutput::Grey || info.jpeg_color_space == JCS_GRAYSCALE) {
        info.out_color_space = JCS_GRAYSCALE;
        if (setup.greyPalette && info.jpeg_color_space == JCS_GRAYSCALE) {
            info.quantize_colors = TRUE;
            info.desired_number_of_colors = kGreyLevels;
        }
    } else {
        // libjpeg-turbo writes blue, green, red, 0xFF: the memory order of Format_RGB32.
        info.out_color_space = JCS_EXT_BGRX;
    }
}

// Creates the decompression, reads the header and starts the decode `setup` asks for.
int started(Decoder &decoder, const Setup &setup)
{
    return trapped(decoder, [&decoder, &setup] {
        decoder.create();
        jpeg_read_header(&decoder.info, TRUE);
        configure(decoder.info, setup);
        jpeg_start_decompress(&decoder.info);
    });
}

bool withinCap(const QSize &size, int bytesPerPixel)
{
    return qint64(size.width()) * size.height() * bytesPerPixel <= kMaxBitmapBytes;
}

// Rows from `first` on, which the decoder never reached, show black rather than whatever the
// memory held (palette entry 0 of a greyscale picture is black too).
void blackenFrom(QImage &image, int first)
{
    for (int y = first; y < image.height(); ++y) {
        if (image.depth() == 8)
            std::memset(image.scanLine(y), 0, std::size_t(image.bytesPerLine()));
        else
            std::fill_n(reinterpret_cast<QRgb *>(image.scanLine(y)), image.width(), qRgb(0, 0, 0));
    }
}

// The palette libjpeg quantized a greyscale file to.
QVector<QRgb> decoderPalette(const jpeg_decompress_struct &info)
{
    QVector<QRgb> palette(info.actual_number_of_colors);
    for (int i = 0; i < palette.size(); ++i)
        palette[i] = qRgb(info.colormap[0][i], info.colormap[0][i], info.colormap[0][i]);
    return palette;
}

// Reads every row straight into `image`, a few at a time.
int readWhole(Decoder &decoder, QImage &image)
{
    uchar *const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    preferLargePages(bits, static_cast<std::size_t>(image.sizeInBytes()));
    const bool cmyk = decoder.info.out_color_space == JCS_CMYK;
    const bool inverted = decoder.info.saw_Adobe_marker;
    return trapped(decoder, [&decoder, bits, stride, cmyk, inverted] {
        jpeg_decompress_struct &info = decoder.info;
        JSAMPROW rows[kRowsPerRead];
        while (info.output_scanline < info.output_height) {
            const int first = static_cast<int>(info.output_scanline);
            const int count =
                std::min<int>(kRowsPerRead, static_cast<int>(info.output_height) - first);
            for (int i = 0; i < count; ++i)
                rows[i] = bits + (first + i) * stride;
            const int read =
                static_cast<int>(jpeg_read_scanlines(&info, rows, static_cast<JDIMENSION>(count)));
            if (cmyk)
                for (int i = 0; i < read; ++i)
                    cmykRowToRgb32(rows[i], static_cast<int>(info.output_width), inverted);
            decoder.rowsRead = first + read;
        }
        jpeg_finish_decompress(&info);
    });
}

// Decodes the whole file of `size` into `image`: Format_Indexed8 with the decoder's greys for
// a greyscale file, else Format_RGB32. Returns kNoError, kOutOfResources or libjpeg's message
// code; after a failed read the image holds what was decoded.
int decodeWhole(const QByteArray &data, const QSize &size, bool greyFile, QImage &image)
{
    // Checked before the decoder starts: a progressive file's start already takes memory in
    // proportion to its size.
    if (!withinCap(size, greyFile ? 1 : 4))
        return kOutOfResources;
    Decoder decoder(data);
    const int error = started(decoder, {1, PartOutput::Shown, true});
    if (error != kNoError)
        return error;
    const jpeg_decompress_struct &info = decoder.info;
    if (static_cast<int>(info.output_width) != size.width()
        || static_cast<int>(info.output_height) != size.height())
        return kOutOfResources;
    image = QImage(size, greyFile ? QImage::Format_Indexed8 : QImage::Format_RGB32);
    if (image.isNull())
        return kOutOfResources;
    if (greyFile)
        image.setColorTable(decoderPalette(info));
    const int readError = readWhole(decoder, image);
    blackenFrom(image, decoder.rowsRead);
    return readError;
}

// The part's columns x0 … x1 − 1 and rows y0 … y1 − 1 in the decoder's scaled output.
struct Span {
    int x0;
    int y0;
    int x1;
    int y1;
    [[nodiscard]] int width() const { return x1 - x0; }
    [[nodiscard]] bool isEmpty() const { return x1 <= x0 || y1 <= y0; }
};

Span spanOf(const jpeg_decompress_struct &info, const QRect &part, int scale)
{
    return {part.x() / scale,
        part.y() / scale,
        std::min(static_cast<int>(info.output_width), ceilDiv(part.right() + 1, scale)),
        std::min(static_cast<int>(info.output_height), ceilDiv(part.bottom() + 1, scale))};
}

// The image a part decodes into, reduced by `box` after the transform; null beyond the cap or
// without memory.
QImage regionImage(const jpeg_decompress_struct &info, const Span &span, int box, PartOutput output)
{
    const bool greyFile = info.jpeg_color_space == JCS_GRAYSCALE;
    const int channels = output == PartOutput::Grey || greyFile ? 1 : 4;
    const QSize size(reducedLength(span.width(), box), reducedLength(span.y1 - span.y0, box));
    if (!withinCap(size, channels))
        return {};
    QImage image(size,
        output == PartOutput::Grey ? QImage::Format_Grayscale8
            : greyFile             ? QImage::Format_Indexed8
                                   : QImage::Format_RGB32);
    if (!image.isNull() && image.format() == QImage::Format_Indexed8)
        image.setColorTable(evenGreyPalette());
    return image;
}

// Makes libjpeg decode only the columns around the span and skip the rows above it; `shift`
// is then the span's first column in the rows it hands out.
int cropToSpan(Decoder &decoder, const Span &span, int &shift)
{
    // One more column on each side: the upsampling of the colours repeats the edge of a crop,
    // which must not be the edge of the part. libjpeg widens the crop further to whole blocks;
    // the columns before the part are dropped when the rows are read.
    const int cropFrom = std::max(0, span.x0 - 1);
    const int cropTo = std::min(static_cast<int>(decoder.info.output_width), span.x1 + 1);
    JDIMENSION xoffset = static_cast<JDIMENSION>(cropFrom);
    JDIMENSION cropWidth = static_cast<JDIMENSION>(cropTo - cropFrom);
    const int y0 = span.y0;
    const int error = trapped(decoder, [&decoder, &xoffset, &cropWidth, y0] {
        if (cropWidth < decoder.info.output_width)
            jpeg_crop_scanline(&decoder.info, &xoffset, &cropWidth);
        if (y0 > 0)
            jpeg_skip_scanlines(&decoder.info, static_cast<JDIMENSION>(y0));
    });
    shift = span.x0 - static_cast<int>(xoffset);
    if (error == kNoError && (shift < 0 || shift + span.width() > static_cast<int>(cropWidth)))
        return kOutOfResources;
    return error;
}

// Reads the span's rows through one reduced row of sums into `image`; returns the error of the
// read and blackens the rows it never reached.
int readRegion(Decoder &decoder, const Span &span, int shift, int box, QImage &image)
{
    const jpeg_decompress_struct &info = decoder.info;
    const int inChannels = info.out_color_space == JCS_GRAYSCALE ? 1 : 4;
    const int outChannels = image.depth() == 8 ? 1 : 4;
    const int width = span.width();
    std::vector<uchar> row(std::size_t(info.output_width) * std::size_t(inChannels));
    std::vector<uchar> grey(inChannels != outChannels ? std::size_t(width) : 0);
    BoxReducer reducer(outChannels, width, box);
    const bool cmyk = info.out_color_space == JCS_CMYK;
    const bool inverted = info.saw_Adobe_marker;
    const bool indexed = image.format() == QImage::Format_Indexed8;
    int rowsWritten = 0;
    const int error = trapped(decoder, [&] {
        for (int y = span.y0; y < span.y1; ++y) {
            JSAMPROW rows[1] = {row.data()};
            if (jpeg_read_scanlines(&decoder.info, rows, 1) != 1)
                return;
            uchar *pixels = row.data() + std::size_t(shift) * std::size_t(inChannels);
            if (cmyk)
                cmykRowToRgb32(pixels, width, inverted);
            if (!grey.empty()) {
                bgrxRowToGrey(pixels, width, grey.data());
                pixels = grey.data();
            }
            const int done = y - span.y0 + 1;
            uchar *out = nullptr;
            if (box == 1) {
                // The transform did all the reducing: the row is the picture's own.
                out = image.scanLine(done - 1);
                std::memcpy(out, pixels, std::size_t(width) * std::size_t(outChannels));
            } else {
                reducer.add(pixels);
                if (done % box == 0 || y + 1 == span.y1) {
                    out = image.scanLine((done - 1) / box);
                    reducer.take(out);
                }
            }
            if (out && indexed)
                for (int x = 0; x < image.width(); ++x)
                    out[x] = greyIndex[out[x]];
            if (out)
                ++rowsWritten;
        }
    });
    blackenFrom(image, rowsWritten);
    return error;
}

// Decodes `part` of the file (inside it) reduced by `factor` into `image`: only the rows of the
// part are decoded after the header, libjpeg skipping those above and the columns beside it,
// and the decoded rows go through one reduced row of sums. Rows the decoder never reached stay
// black. Returns kNoError, kOutOfResources or libjpeg's message code.
int decodeRegion(
    const QByteArray &data, const QRect &part, int factor, PartOutput output, QImage &image)
{
    // The whole file in one piece: libjpeg-turbo takes its fast Huffman decoder only while a
    // few kilobytes lie ahead in the buffer, and the decoding of the codes is most of what a
    // reduced decode costs.
    Decoder decoder(data, std::max<std::size_t>(1, static_cast<std::size_t>(data.size())));
    const int scale = transformScale(part, factor);
    const int box = factor / scale;
    int error = started(decoder, {scale, output, false});
    if (error != kNoError)
        return error;
    const Span span = spanOf(decoder.info, part, scale);
    if (span.isEmpty())
        return kOutOfResources;
    image = regionImage(decoder.info, span, box, output);
    if (image.isNull())
        return kOutOfResources;
    int shift = 0;
    error = cropToSpan(decoder, span, shift);
    if (error != kNoError)
        return error;
    return readRegion(decoder, span, shift, box, image);
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
    picture->fileSize_ = picture->size_;
    picture->part_ = QRect(QPoint(0, 0), picture->size_);
    picture->greyscale_ = decoder.info.jpeg_color_space == JCS_GRAYSCALE;
    picture->progressive_ = jpeg_has_multiple_scans(&decoder.info);
    return picture;
}

std::unique_ptr<Picture> JpegPicture::clone() const
{
    return std::unique_ptr<Picture>(new JpegPicture(*this));
}

std::unique_ptr<JpegPicture> JpegPicture::reduced(const QRect &part, int factor) const
{
    std::unique_ptr<JpegPicture> picture(new JpegPicture(*this));
    picture->part_ = part & QRect(QPoint(0, 0), fileSize_);
    picture->factor_ = std::max(1, factor);
    picture->size_ = QSize(reducedLength(picture->part_.width(), picture->factor_),
        reducedLength(picture->part_.height(), picture->factor_));
    picture->decoded_ = false;
    picture->image_ = QImage();
    picture->pendingFailure_.reset();
    picture->measured_ = QImage();
    return picture;
}

std::unique_ptr<Picture> JpegPicture::reducedCopy(const QRect &part, int factor) const
{
    // A shown pixel (i, j) is the block of file pixels from part_'s corner + (i, j)·factor_.
    const QRect inFile(part_.x() + part.x() * factor_,
        part_.y() + part.y() * factor_,
        part.width() * factor_,
        part.height() * factor_);
    return reduced(inFile & part_, std::max(1, factor) * factor_);
}

QImage JpegPicture::measuredImage() const
{
    if (!decoded_)
        decode();
    if (measured_.isNull())
        measured_ = measurable(image_);
    return measured_;
}

QImage JpegPicture::greyLevels(const QRect &part, int scale) const
{
    if (factor_ == 1 && part_ == QRect(QPoint(0, 0), fileSize_))
        return greyCopy(part, scale);
    return Picture::greyLevels(part, scale);
}

QImage JpegPicture::greyCopy(const QRect &part, int scale) const
{
    const QRect inside = part & QRect(QPoint(0, 0), fileSize_);
    if (inside.isEmpty())
        return {};
    QImage image;
    if (decodeRegion(data_, inside, scale, PartOutput::Grey, image) != kNoError)
        return {};
    return image;
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
    QImage image;
    int error = kOutOfResources;
    if (factor_ == 1 && part_ == QRect(QPoint(0, 0), fileSize_))
        error = decodeWhole(data_, size_, greyscale_, image);
    else if (!part_.isEmpty())
        error = decodeRegion(data_, part_, factor_, PartOutput::Shown, image);
    if (error == kOutOfResources || (error == kNoError && image.size() != size_)) {
        pendingFailure_ = QString::fromLatin1(failures::kOutOfResources);
        image_ = QImage();
        return;
    }
    image_ = image;
    if (error != kNoError)
        pendingFailure_ = QString::fromLatin1(failures::kJpegError).arg(error);
}

} // namespace view
