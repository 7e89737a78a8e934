#include "metafile/metafilecanvas.h"
#include "metafile/metafilegeometry.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace metafile {

namespace {

constexpr double kMaxFontPixels = 20000;

} // namespace

std::optional<QFont> MetafileCanvas::qtFont(double &ascent, double &descent) const
{
    const QTransform t = toPixels();
    const MetaFont &meta = state_.font;
    // A height of 0 asks for the default size, 12 points.
    const double size = meta.height == 0 ? 12.0 * kScreenDpi / 72
                                         : std::abs(meta.height) * std::hypot(t.m21(), t.m22());
    if (!(size >= 1 && size <= kMaxFontPixels))
        return std::nullopt;
    QFont font(QStringLiteral("sans-serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(int(std::lround(size)));
    // A positive height is that of the whole cell, ascent and descent together.
    if (meta.height > 0) {
        const double cell = QFontMetricsF(font).height();
        if (cell > 0)
            font.setPixelSize(std::max(1, int(std::lround(size * size / cell))));
    }
    font.setWeight(QFont::Weight(std::clamp(meta.weight == 0 ? 400 : meta.weight, 100, 900)));
    font.setItalic(meta.italic);
    font.setUnderline(meta.underline);
    font.setStrikeOut(meta.strikeOut);
    const QFontMetricsF metrics(font);
    ascent = metrics.ascent();
    descent = metrics.descent();
    return font;
}

void MetafileCanvas::text(QPointF p,
    const QString &text,
    const std::vector<double> &advances,
    std::uint32_t options,
    const std::optional<QRectF> &box)
{
    const QTransform t = toPixels();
    const bool fromCurrent = state_.textAlign & textAlign::UpdateCurrent;
    const QPointF origin = t.map(fromCurrent ? state_.current : p);
    if (!painter_ || !nearby(origin))
        return;
    applyClip();
    painter_->save();
    if (box && nearby(*box)) {
        const QRectF area = rectPath(*box, false).boundingRect();
        if (options & textOption::Opaque)
            painter_->fillRect(area, state_.backgroundColor);
        if (options & textOption::Clipped)
            painter_->setClipRect(area, Qt::IntersectClip);
    }
    const double width = textRun(origin, text, advances);
    painter_->restore();
    clipDirty_ = true;
    if (fromCurrent && t.isInvertible())
        state_.current = t.inverted().map(origin + QPointF(width, 0));
}

// Draws the characters from `origin` as the alignment places them and returns their width.
double MetafileCanvas::textRun(
    QPointF origin, const QString &text, const std::vector<double> &advances)
{
    double ascent = 0;
    double descent = 0;
    const std::optional<QFont> font = text.isEmpty() ? std::nullopt : qtFont(ascent, descent);
    if (!font)
        return 0;
    const QTransform t = toPixels();
    const double sx = std::hypot(t.m11(), t.m12());
    double total = advances.empty() ? QFontMetricsF(*font).horizontalAdvance(text) : 0;
    for (const double a : advances)
        total += a * sx;
    const std::uint32_t align = state_.textAlign;
    double x = (align & textAlign::Centre) == textAlign::Centre ? -total / 2
        : (align & textAlign::Right)                            ? -total
                                                                : 0;
    const double y = (align & textAlign::Baseline) == textAlign::Baseline ? 0
        : (align & textAlign::Bottom)                                     ? -descent
                                                                          : ascent;
    painter_->translate(origin);
    painter_->rotate(-state_.font.escapement / 10);
    if (state_.opaqueBackground)
        painter_->fillRect(QRectF(x, y - ascent, total, ascent + descent), state_.backgroundColor);
    painter_->setFont(*font);
    painter_->setPen(state_.textColor);
    if (advances.empty()) {
        painter_->drawText(QPointF(x, y), text);
        return total;
    }
    for (int i = 0; i < text.size() && std::size_t(i) < advances.size(); ++i) {
        painter_->drawText(QPointF(x, y), QString(text[i]));
        x += advances[std::size_t(i)] * sx;
    }
    return total;
}

} // namespace metafile
