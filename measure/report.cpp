#include "measure/report.h"

#include "measure/numeric.h"

#include <vector>

namespace measure {

namespace {

// "(412,3 ; 388,0)": the semicolon keeps the coordinates apart when the comma is the decimal
// separator.
std::string pointText(PicturePoint p, int decimals, const std::string &separator)
{
    return "(" + fixedText(p.x, decimals, separator) + " ; " + fixedText(p.y, decimals, separator)
        + ")";
}

std::string degreesText(real value, real sigma, const std::string &separator)
{
    return withUncertainty(value, sigma, NumberFormat{1, separator, {}}, "°");
}

std::string discLine(const MoonModel &model, real radiusSigma, const std::string &separator)
{
    return "Disque : centre " + pointText({model.centreX, model.centreY}, 1, separator)
        + " px, rayon "
        + withUncertainty(model.radius, radiusSigma, NumberFormat{1, separator, {}}, " px");
}

std::string terminatorLine(const MoonModel &model, BSource source, const std::string &separator)
{
    return "Terminateur : B = " + degreesText(model.b, model.bSigma, separator) + " ("
        + (source == BSource::Fit ? "ajusté sur la photographie" : "réglé à la main") + ")";
}

std::string elevationLine(const ElevationReading &reading, const std::string &separator)
{
    return "Hauteur du Soleil en " + pointText(reading.at, 0, separator) + " : "
        + degreesText(reading.elevation.degrees, reading.elevation.sigma, separator);
}

std::string shadowLine(const ShadowReading &shadow, const std::string &separator)
{
    const ShadowMeasure &m = shadow.measure;
    std::string line = "Ombre : sommet " + pointText(shadow.top, 1, separator) + ", fin "
        + pointText(shadow.end, 1, separator) + " ; " + fixedText(m.lengthPx, 1, separator) + " px";
    if (m.reason != ShadowReason::None)
        return line + " ; pas de hauteur : " + shadowReasonText(m.reason);
    line += ", " + fixedText(m.groundKm, 2, separator) + " km ; Soleil à "
        + degreesText(m.elevation.value, m.elevation.sigma, separator) + " ; hauteur "
        + heightText(m.height);
    // A shadow off the Sun's direction is most likely a wrong click: the figures are kept,
    // the doubt with them.
    if (m.offAxis)
        line += " (clics à vérifier)";
    if (shadow.ephemerisSun)
        line += " (Soleil de l'éphéméride)";
    return line;
}

} // namespace

std::string measurementReport(const ReportInput &input, const std::string &decimalSeparator)
{
    std::vector<std::string> lines;
    lines.push_back(input.fileName.empty() ? "Korvalen" : "Korvalen — " + input.fileName);
    if (!input.datePlace.empty())
        lines.push_back("Date : " + input.datePlace);
    if (input.model) {
        lines.push_back(discLine(*input.model, input.radiusSigmaPx, decimalSeparator));
        lines.push_back(terminatorLine(*input.model, input.bSource, decimalSeparator));
    }
    if (input.elevation)
        lines.push_back(elevationLine(*input.elevation, decimalSeparator));
    if (!input.pointerPlace.empty())
        lines.push_back("Sous le pointeur : " + input.pointerPlace);
    if (input.shadow)
        lines.push_back(shadowLine(*input.shadow, decimalSeparator));
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

} // namespace measure
