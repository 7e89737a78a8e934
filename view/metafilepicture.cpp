#include "view/metafilepicture.h"

namespace view {

std::unique_ptr<Picture> MetafilePicture::clone() const
{
    return std::make_unique<MetafilePicture>(image());
}

} // namespace view
