#pragma once

// Photographs as a camera takes them, for the fit of the terminator: lunar-Lambert light with
// seas, earthshine on the night side, the seeing's blur applied to the light, the sky's glow,
// a tone curve, grain and 8-bit levels.

#include "measure/moonmodel.h"
#include "measure/pixels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace camera {

struct Shot {
    double radius = 300;
    double thetaDeg = 0;
    double b = 30;
    int litSign = 1;
    double blurPx = 1.5;
    double gamma = 2.2;
    /// Light of the sky, of the earthshine and of the highlands under a Sun at the zenith.
    double sky = 2;
    double earthshine = 1;
    double brightness = 200;
    double noise = 2;
    unsigned seed = 1;
};

struct Photo {
    int width = 0;
    int height = 0;
    double centreX = 0;
    double centreY = 0;
    std::vector<std::uint8_t> pixels;

    measure::ImageView view() const
    {
        return {width, height, width, pixels.data(), measure::ImageView::Format::Grey8};
    }
};

inline measure::Vec3 sunOf(const Shot &s)
{
    const double b = s.b * M_PI / 180;
    return {0, -s.litSign * std::cos(b), s.litSign * std::sin(b)};
}

// A separable Gaussian blur of a float picture.
inline void blur(std::vector<float> &light, int width, int height, double sigma)
{
    if (sigma <= 0)
        return;
    const int reach = static_cast<int>(std::ceil(4 * sigma));
    std::vector<float> kernel(static_cast<std::size_t>(2 * reach + 1));
    float sum = 0;
    for (int k = -reach; k <= reach; ++k)
        sum += kernel[static_cast<std::size_t>(k + reach)] =
            static_cast<float>(std::exp(-0.5 * k * k / (sigma * sigma)));
    for (float &k : kernel)
        k /= sum;
    std::vector<float> tmp(light.size());
    for (int pass = 0; pass < 2; ++pass) {
        const int n = pass == 0 ? width : height, lines = pass == 0 ? height : width;
        for (int l = 0; l < lines; ++l)
            for (int i = 0; i < n; ++i) {
                float acc = 0;
                for (int k = -reach; k <= reach; ++k) {
                    const int j = std::clamp(i + k, 0, n - 1);
                    const std::size_t at = pass == 0 ? static_cast<std::size_t>(l) * width + j
                                                     : static_cast<std::size_t>(j) * width + l;
                    acc += kernel[static_cast<std::size_t>(k + reach)] * light[at];
                }
                (pass == 0 ? tmp[static_cast<std::size_t>(l) * width + i]
                           : tmp[static_cast<std::size_t>(i) * width + l]) = acc;
            }
        light.swap(tmp);
    }
}

inline Photo take(const Shot &s)
{
    Photo photo;
    const int margin = static_cast<int>(s.radius * 0.15) + 30;
    photo.width = photo.height = static_cast<int>(2 * s.radius) + 2 * margin;
    photo.centreX = margin + s.radius + 0.37;
    photo.centreY = margin + s.radius - 0.21;
    const measure::Vec3 sun = sunOf(s);
    const double sx = static_cast<double>(sun.y), sz = static_cast<double>(sun.z);
    const double ct = std::cos(s.thetaDeg * M_PI / 180), st = std::sin(s.thetaDeg * M_PI / 180);
    const double phase = std::acos(std::clamp(sz, -1.0, 1.0)) * 180 / M_PI;
    const double l = std::clamp(
        1 - 0.019 * phase + 0.000242 * phase * phase - 0.00000146 * phase * phase * phase, 0.0, 1.0);
    std::mt19937 random(s.seed);
    std::uniform_real_distribution<double> uniform(-1, 1);
    struct Sea {
        double x, y, z, cosReach;
    };
    std::vector<Sea> seas;
    for (int k = 0; k < 7; ++k) {
        double x = uniform(random), y = uniform(random);
        const double n = std::hypot(x, y);
        if (n > 0.95) {
            x *= 0.95 / n;
            y *= 0.95 / n;
        }
        seas.push_back({x, y, std::sqrt(1 - x * x - y * y), std::cos(0.1 + 0.2 * std::fabs(uniform(random)))});
    }
    std::vector<float> light(static_cast<std::size_t>(photo.width) * photo.height, 0);
    const int sub = 3;
    for (int j = 0; j < photo.height; ++j)
        for (int i = 0; i < photo.width; ++i) {
            double acc = 0;
            for (int a = 0; a < sub; ++a)
                for (int b = 0; b < sub; ++b) {
                    const double dx = (i + (a + 0.5) / sub - 0.5 - photo.centreX) / s.radius;
                    const double dy = (j + (b + 0.5) / sub - 0.5 - photo.centreY) / s.radius;
                    const double zz = 1 - dx * dx - dy * dy;
                    if (zz <= 0)
                        continue;
                    const double z = std::sqrt(zz);
                    const double u = ct * dx + st * dy, v = -st * dx + ct * dy;
                    const double mu = v * sx + z * sz;
                    double albedo = 1;
                    for (const Sea &sea : seas)
                        if (dx * sea.x + dy * sea.y + z * sea.z > sea.cosReach)
                            albedo = 0.6;
                    (void)u;
                    acc += s.earthshine * albedo;
                    if (mu > 0)
                        acc += s.brightness * albedo * (2 * l * mu / (mu + z) + (1 - l) * mu);
                }
            light[static_cast<std::size_t>(j) * photo.width + i] = static_cast<float>(acc / (sub * sub));
        }
    blur(light, photo.width, photo.height, s.blurPx);
    std::normal_distribution<double> grain(0, s.noise);
    photo.pixels.resize(light.size());
    for (std::size_t k = 0; k < light.size(); ++k) {
        const double total = std::max(0.0, (s.sky + light[k]) / 255);
        const double level = 255 * std::pow(total, 1 / s.gamma) + grain(random);
        photo.pixels[k] = static_cast<std::uint8_t>(std::lrint(std::clamp(level, 0.0, 255.0)));
    }
    return photo;
}

/// The disc and cusp line of a shot, B and the lit side as measure::sunDirection counts them.
inline measure::MoonModel trueModel(const Shot &s, const Photo &p)
{
    measure::MoonModel m;
    m.centreX = p.centreX;
    m.centreY = p.centreY;
    m.radius = s.radius;
    m.theta = static_cast<measure::real>(s.thetaDeg * M_PI / 180);
    m.b = s.b;
    m.litSign = s.litSign;
    m.bSigma = 0;
    return m;
}

} // namespace camera
