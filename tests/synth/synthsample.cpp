// Writes a few synthetic photographs as JPEG files, to look at what the precision tests see;
// with --realistic <folder> [words], the realistic catalogue; with --readme, the one photograph the
// README's screenshots are taken on, and the points to click on it.

#include "tests/synth/synthmoon.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

measure::Vec3 sunAt(double bDegrees, int litSign = 1)
{
    const double b = bDegrees * M_PI / 180;
    return {0, -litSign * std::cos(b), litSign * std::sin(b)};
}

bool write(const std::string &path, const synth::Scene &scene)
{
    const auto start = std::chrono::steady_clock::now();
    const synth::Photo photo = synth::render(scene);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::vector<std::uint8_t> bytes = synth::encodeJpeg(photo, 92);
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    std::printf(
        "%s: %d x %d, rendered in %.3f s\n", path.c_str(), photo.width, photo.height, seconds);
    return ok;
}

void print(const char *name, const measure::PicturePoint &p)
{
    std::printf("%s %ld %ld\n", name, std::lround(double(p.x)), std::lround(double(p.y)));
}

// A gibbous Moon that fills the visible picture area of the window at its first size (824 x 658)
// without exceeding it, with one cone near the terminator whose shadow is long enough to be
// clicked at natural size. Prints "cusp x y" twice, then "top x y" and "end x y" of the cone's
// shadow, in picture pixels.
bool writeReadme(const std::string &folder)
{
    synth::Scene scene;
    scene.width = 820;
    scene.height = 650;
    scene.centreX = 420;
    scene.centreY = 325;
    scene.radius = 300;
    scene.theta = 1.42; // the cusp line a few degrees off the vertical
    scene.colour = true;
    scene.stars = 30;
    scene.seas = 7;
    scene.craters = 16;
    scene.gamma = 2.2;
    scene.brightness = 190;
    scene.seed = 5;
    synth::Mountain cone;
    cone.base = {0.25, 0.3, std::sqrt(1 - 0.25 * 0.25 - 0.3 * 0.3)};
    cone.heightKm = 4;
    cone.radiusKm = 14;
    scene.mountains = {cone};
    scene.sun = synth::sunAbove(cone.base, 4.5);
    const std::string path = folder + "/readme-moon.jpg";
    const synth::Photo photo = synth::render(scene);
    const std::vector<std::uint8_t> bytes = synth::encodeJpeg(photo, 92);
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    print("cusp", synth::trueCusp(scene, 1));
    print("cusp", synth::trueCusp(scene, 2));
    const synth::ShadowTruth shadow = synth::shadowOf(scene, cone);
    print("top", shadow.top);
    print("end", shadow.end);
    return ok && shadow.falls;
}

// The realistic catalogue, or the cases whose names contain one of the words given: each
// photograph with its render time and the horn tips a user would click.
bool writeRealistic(const std::string &folder, int argc, char **argv)
{
    bool ok = true;
    for (const synth::RealisticCase &c : synth::realisticCases()) {
        bool wanted = argc == 0;
        for (int k = 0; k < argc; ++k)
            wanted = wanted || c.name.find(argv[k]) != std::string::npos;
        if (!wanted)
            continue;
        const auto start = std::chrono::steady_clock::now();
        const synth::Photo photo = synth::render(c.scene);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const synth::HornTips tips = synth::hornTips(c.scene, photo);
        std::printf("%-16s %5d x %-5d %.2f s  horns short by %5.1f° %5.1f°%s\n",
            c.name.c_str(),
            photo.width,
            photo.height,
            seconds,
            tips.shortfall[0],
            tips.shortfall[1],
            tips.seen[0] && tips.seen[1] ? "" : " (not both seen)");
        const std::vector<std::uint8_t> bytes = synth::encodeJpeg(photo, 95);
        std::FILE *file = std::fopen((folder + "/" + c.name + ".jpg").c_str(), "wb");
        ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && ok;
        if (file)
            std::fclose(file);
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && std::string(argv[1]) == "--readme")
        return writeReadme(argv[2]) ? 0 : 1;
    if (argc > 2 && std::string(argv[1]) == "--realistic")
        return writeRealistic(argv[2], argc - 3, argv + 3) ? 0 : 1;
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    bool ok = true;

    synth::Scene crescent;
    crescent.sun = sunAt(-55);
    crescent.theta = 0.3;
    crescent.colour = true;
    crescent.stars = 25;
    ok = write(folder + "/synth-crescent.jpg", crescent) && ok;

    synth::Scene gibbous;
    gibbous.sun = sunAt(-40, -1);
    gibbous.theta = -0.5;
    gibbous.seed = 7;
    ok = write(folder + "/synth-gibbous.jpg", gibbous) && ok;

    // A close look at a cone and a ridge under a low Sun near the middle of the disc.
    synth::Scene mountain;
    mountain.width = 900;
    mountain.height = 900;
    mountain.centreX = 450;
    mountain.centreY = 1450;
    mountain.radius = 1500;
    mountain.craters = 20;
    // Exposed for the low Sun, as one would photograph the terminator.
    mountain.brightness = 900;
    mountain.gamma = 2.2;
    synth::Mountain cone;
    cone.base = {0.02, -0.62, std::sqrt(1 - 0.02 * 0.02 - 0.62 * 0.62)};
    cone.heightKm = 3;
    cone.radiusKm = 12;
    synth::Mountain ridge;
    ridge.shape = synth::Mountain::Shape::Ridge;
    ridge.base = {-0.12, -0.60, std::sqrt(1 - 0.12 * 0.12 - 0.60 * 0.60)};
    ridge.heightKm = 2;
    ridge.radiusKm = 8;
    ridge.halfLengthKm = 30;
    ridge.crestAngle = 0.4;
    mountain.mountains = {cone, ridge};
    mountain.sun = synth::sunAbove(cone.base, 6);
    ok = write(folder + "/synth-mountain.jpg", mountain) && ok;

    synth::Scene camera;
    camera.width = 6000;
    camera.height = 4000;
    camera.centreX = 3500;
    camera.centreY = 1800;
    camera.radius = 1200;
    camera.sun = sunAt(-30);
    camera.colour = true;
    camera.stars = 40;
    camera.gamma = 2.2;
    ok = write(folder + "/synth-camera.jpg", camera) && ok;
    return ok ? 0 : 1;
}
