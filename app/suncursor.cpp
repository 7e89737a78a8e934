// The Sun's elevation under the cursor (soleilcurseur) and the terminator found on the
// photograph ("Ajuster", butajuste).
#include "app/form1.h"
#include "app/spinedit.h"
#include "measure/elevation.h"
#include "measure/failure.h"
#include "measure/texts.h"
#include "view/bitmappicture.h"
#include "view/imagepicture.h"
#include "view/jpegpicture.h"
#include "view/pictureview.h"

#include <QLabel>

namespace {

// The fit reads grey bytes or the three colour bytes of Qt's 32-bit formats; a grey JPEG comes
// as indexes into a palette of greys, which are no levels until converted.
measure::ImageView imageView(const QImage &image)
{
    measure::ImageView view;
    view.width = image.width();
    view.height = image.height();
    view.stride = image.bytesPerLine();
    view.pixels = image.constBits();
    view.format = image.format() == QImage::Format_Grayscale8 ? measure::ImageView::Format::Grey8
                                                              : measure::ImageView::Format::Rgb32;
    return view;
}

QImage readable(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    case QImage::Format_Indexed8:
        if (image.allGray())
            return image.convertToFormat(QImage::Format_Grayscale8);
        return image.convertToFormat(QImage::Format_RGB32);
    default:
        return image.convertToFormat(QImage::Format_RGB32);
    }
}

bool sameModel(const measure::MoonModel &a, const measure::MoonModel &b)
{
    return a.centreX == b.centreX && a.centreY == b.centreY && a.radius == b.radius
        && a.theta == b.theta && a.b == b.b;
}

} // namespace

QImage TForm1::photograph() const
{
    const view::Picture *picture = pic3->preparedPicture();
    if (!picture)
        return QImage();
    switch (picture->kind()) {
    case view::Picture::Kind::Bitmap:
        return static_cast<const view::BitmapPicture *>(picture)->image();
    case view::Picture::Kind::Jpeg:
        return static_cast<const view::JpegPicture *>(picture)->image();
    case view::Picture::Kind::Icon:
    case view::Picture::Kind::Metafile:
        return static_cast<const view::ImagePicture *>(picture)->image();
    }
    return QImage();
}

int TForm1::litSign(const measure::MoonModel &model) const
{
    // Remembered by the photograph's own pixels, before any conversion, so that a move of the
    // pointer costs no copy of a large photograph.
    const QImage image = photograph();
    if (litSideMemo_ && litSideMemo_->photograph == image.cacheKey()
        && sameModel(litSideMemo_->model, model))
        return litSideMemo_->litSign;
    // Without a photograph, or one that does not tell, the sign is the drawn curves' own.
    int sign = 1;
    if (!image.isNull()) {
        const QImage levels = readable(image);
        sign = measure::litSide(imageView(levels), model).value_or(1);
    }
    litSideMemo_ = LitSideMemo{image.cacheKey(), model, sign};
    return sign;
}

measure::MoonModel TForm1::currentMoonModel() const
{
    measure::MoonModel model = fitted_ ? measure::moonModel(state, fitted_->b, fitted_->bSigma)
                                       : measure::moonModel(state, SpinEditB->value());
    model.litSign = fitted_ ? fitted_->litSign : litSign(model);
    return model;
}

void TForm1::onmoonmove(QPoint position)
{
    if (state.rayon == 0) {
        soleilcurseur->clear();
        return;
    }
    const auto elevation = measure::elevationAt(currentMoonModel(), position.x(), position.y());
    soleilcurseur->setText(
        QString::fromStdString(measure::elevationText(elevation, decimalSeparator.toStdString())));
}

void TForm1::onmoonleave()
{
    soleilcurseur->clear();
}

void TForm1::forgetFit()
{
    if (!adjusting_)
        fitted_.reset();
}

void TForm1::butajusteClick()
{
    measure::TerminatorFit fit;
    try {
        const QImage image = readable(photograph());
        if (image.isNull())
            throw measure::Failure(measure::kNoPhotograph);
        if (state.rayon == 0)
            throw measure::Failure(measure::kNoCircle);
        fit = measure::fitTerminator(imageView(image), measure::moonModel(state, 0));
    } catch (const measure::Failure &failure) {
        effects.messageBox(QString::fromStdString(measure::withFullStop(failure.what())),
            QString::fromUtf8(kApplicationTitle));
        return;
    }
    // The whole degree redraws the curves as any change of SpinEditB does; the fraction is kept
    // first, so that whatever follows that change already sees it.
    fitted_ = fit;
    adjusting_ = true;
    try {
        SpinEditB->setValue(measure::nearest(fit.b));
    } catch (...) {
        adjusting_ = false;
        throw;
    }
    adjusting_ = false;
    // The fraction may change while the whole degree, and so SpinEditB, stays.
    refreshShadow();
}
