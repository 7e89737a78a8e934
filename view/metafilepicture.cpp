#include "view/metafilepicture.h"

#include "view/boxreduce.h"

namespace view {

std::unique_ptr<Picture> MetafilePicture::clone() const
{
    return std::make_unique<MetafilePicture>(image());
}

std::unique_ptr<Picture> MetafilePicture::reducedCopy(const QRect &part, int factor) const
{
    return std::make_unique<MetafilePicture>(boxReduced(image(), part, factor));
}

std::unique_ptr<Picture> readMetafile(const QByteArray &data, const PlayLimits &limits)
{
    return std::make_unique<MetafilePicture>(metafile::playMetafile(data, limits));
}

} // namespace view
