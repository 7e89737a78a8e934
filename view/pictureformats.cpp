#include "view/pictureformats.h"

#include "view/bitmapreader.h"
#include "view/failures.h"
#include "view/iconpicture.h"
#include "view/jpegpicture.h"
#include "view/largepages.h"
#include "view/metafilepicture.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace view {

namespace {

struct PictureFormat {
    const char *extension; // lower case
    const char *description;
    Picture::Kind kind;
};

// The filter text lists these from the last entry to the first ("jpg" first after "All"), and
// the extension look-up runs in the same direction.
constexpr PictureFormat kFormats[] = {
    {"wmf", "Metafiles", Picture::Kind::Metafile},
    {"emf", "Enhanced Metafiles", Picture::Kind::Metafile},
    {"ico", "Icons", Picture::Kind::Icon},
    {"bmp", "Bitmaps", Picture::Kind::Bitmap},
    {"jpeg", "JPEG Image File", Picture::Kind::Jpeg},
    {"jpg", "JPEG Image File", Picture::Kind::Jpeg},
};

// The system's text for an error, without the trailing blanks, line breaks and full stops
// that would clash with the full stop the failure display appends.
QString systemErrorText(int error)
{
    QString text = QString::fromLocal8Bit(std::strerror(error));
    while (!text.isEmpty()
        && (text.back() == QLatin1Char(' ') || text.back() == QLatin1Char('\n')
            || text.back() == QLatin1Char('\r') || text.back() == QLatin1Char('\t')
            || text.back() == QLatin1Char('.')))
        text.chop(1);
    return text;
}

[[noreturn]] void cannotOpen(const QString &fileName, int error)
{
    failures::fail(QString::fromLatin1(failures::kCannotOpen)
                       .arg(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()),
                           systemErrorText(error)));
}

class Descriptor {
public:
    explicit Descriptor(int fd)
        : fd_(fd)
    { }
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

// The whole file in memory, read straight into the array the picture keeps. Only regular files
// are read: a device or a pipe could block the program or never end.
QByteArray readWholeFile(const QString &fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    const Descriptor file(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        cannotOpen(fileName, errno);
    struct stat status { };
    if (::fstat(file.get(), &status) != 0)
        cannotOpen(fileName, errno);
    if (S_ISDIR(status.st_mode))
        cannotOpen(fileName, EISDIR);
    if (!S_ISREG(status.st_mode))
        cannotOpen(fileName, ENODEV);

    QByteArray data;
    data.resize(static_cast<qsizetype>(status.st_size));
    qsizetype filled = 0;
    for (;;) {
        if (filled == data.size())
            data.resize(filled + 65536); // the file grew while being read
        const ssize_t got = ::read(
            file.get(), data.data() + filled, static_cast<std::size_t>(data.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            failures::fail(failures::kStreamRead);
        if (got == 0)
            break;
        filled += got;
    }
    data.truncate(filled);
    return data;
}

} // namespace

QString pictureFilter()
{
    QString descriptions;
    QString patterns;
    int kept = 0;
    for (auto format = std::rbegin(kFormats); format != std::rend(kFormats); ++format) {
        const QString extension = QLatin1String(format->extension);
        if (extension.isEmpty())
            continue;
        ++kept;
        if (!descriptions.isEmpty())
            descriptions += QLatin1Char('|');
        descriptions = QStringLiteral("%1%2 (*.%3)|*.%3")
                           .arg(descriptions, QLatin1String(format->description), extension);
        if (!patterns.isEmpty())
            patterns += QLatin1Char(';');
        patterns = QStringLiteral("%1*.%2").arg(patterns, extension);
    }
    if (kept > 1)
        return QStringLiteral("%1 (%2)|%2|%3").arg(QStringLiteral("All"), patterns, descriptions);
    return descriptions;
}

std::unique_ptr<Picture> readPictureFile(const QString &fileName)
{
    const QString ownName = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = ownName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : ownName.mid(dot + 1);
    const QString lowered = extension.toLower();
    const PictureFormat *found = nullptr;
    for (auto format = std::rbegin(kFormats); format != std::rend(kFormats) && !found; ++format)
        if (lowered == QLatin1String(format->extension))
            found = &*format;
    if (!found)
        failures::fail(QString::fromLatin1(failures::kUnknownExtension).arg(extension));

    QByteArray data = readWholeFile(fileName);
    switch (found->kind) {
    case Picture::Kind::Bitmap:
        return readBitmap(data);
    case Picture::Kind::Icon:
        return readIcon(data);
    case Picture::Kind::Metafile:
        return readMetafile(data);
    case Picture::Kind::Jpeg:
        break;
    }
    return JpegPicture::load(std::move(data));
}

} // namespace view
