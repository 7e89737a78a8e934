#pragma once

// Synthetic lunar photographs whose truth is known: a Lambert-lit sphere with albedo patches,
// craters, mountains casting true shadows, grain and JPEG blocks, for the tests that prove how
// exactly the program reads a photograph.

#include "measure/moonmodel.h"
#include "measure/pixels.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace synth {

/// The Moon's mean radius: the scale of every height and size below.
inline constexpr double kMoonRadiusKm = 1737.4;

struct Photo {
    int width = 0;
    int height = 0;
    /// 1 for grey, 3 for RGB.
    int channels = 1;
    /// Rows from top to bottom, channels interleaved.
    std::vector<std::uint8_t> pixels;
};

/// A relief standing on the sphere, rendered by ray casting so that its shadow falls on the
/// curved ground as it would.
struct Mountain {
    enum class Shape {
        Cone,
        Ridge,
    };
    Shape shape = Shape::Cone;
    /// Unit vector of the foot's centre, in the frame of measure::Vec3.
    measure::Vec3 base{0, 0, 1};
    double heightKm = 2;
    /// Cone: radius of the foot. Ridge: half its width.
    double radiusKm = 10;
    /// Ridge: half the length of its crest.
    double halfLengthKm = 0;
    /// Ridge: direction of the crest in the tangent plane, radians from the frame's x axis
    /// projected onto that plane.
    double crestAngle = 0;
};

/// Everything a photograph is made from. Pixel (i, j) shows the point (i, j) of the picture:
/// its centre, as the program's curves round.
struct Scene {
    int width = 800;
    int height = 800;
    /// The true disc, in pixels, and the true tilt of the cusp line in radians.
    double centreX = 400;
    double centreY = 400;
    double radius = 300;
    double theta = 0;
    /// Unit vector towards the Sun in the frame of measure::Vec3 (x along the cusp line, y
    /// across it, z towards the viewer). Keep x at 0 for the cusps to lie on the x axis
    /// (trueCusp); sunAbove() places it over a chosen point.
    measure::Vec3 sun{0, -1, 0};
    /// RGB with a slight tint instead of grey.
    bool colour = false;
    /// Level of the sky and of a plain highland under a Sun at the zenith (0…255).
    double sky = 8;
    double brightness = 220;
    /// How much the sky's level rises across the frame, in levels as the photograph shows
    /// them: the glow of twilight or of a town, towards a side that the seed turns.
    double skyGradient = 0;
    /// Standard deviation of the grain, in levels.
    double noise = 3;
    /// Dark albedo patches (seas), placed at random, some across the terminator.
    int seas = 6;
    /// Craters placed along the terminator, whose rims and floors break its line.
    int craters = 12;
    std::vector<Mountain> mountains;
    /// Stars in the sky around the disc.
    int stars = 0;
    /// Tone curve of the camera: 1 keeps the levels proportional to the light, so that at the
    /// terminator Lambert's ramp falls to the sky level with a kink rather than a step; 2.2
    /// encodes them as most cameras do, which steepens the ramp into a visible edge.
    double gamma = 1;
    unsigned seed = 1;

    // What makes a photograph behave like a real one. The defaults leave all of it out.

    /// How the ground reflects: Lambert's law, or the lunar one (lunarLambertL), under which the
    /// full Moon is as bright at its limb as at its centre.
    enum class Photometry {
        Lambert,
        LunarLambert,
    };
    Photometry photometry = Photometry::Lambert;
    /// Angular radius of the Sun in degrees (0.27 seen from the Moon; 0 for a point): its disc
    /// rounds the terminator's ramp and gives shadows a penumbra.
    double sunRadius = 0;
    /// The Moon's own albedo instead of the seas above: maria at about half the highlands'
    /// level, mottled highlands, bright young craters and their rays.
    bool lunarAlbedo = false;
    /// With lunarAlbedo, the real Moon's instead: a map of it in longitude (0 in the middle,
    /// east to the right) and latitude (north up), such as Debian's stellarium-data ships. Its
    /// near side faces the viewer, north turned `mapTurn` radians from −y towards x; its
    /// highlands (the map's upper quartile) have the albedo 1.
    std::shared_ptr<const Photo> albedoMap;
    double mapTurn = 0;
    /// Relief over the whole disc: craters of the Moon's size distribution (more small ones),
    /// mountain ranges, isolated peaks and low swells, shaded through their slopes, casting
    /// shadows where the Sun is lower than 30 degrees and lighting peaks beyond the
    /// terminator. The mountains above stay as they are drawn (their shadows exact).
    bool relief = false;
    /// Relief finer than a pixel, as the RMS of its slopes in degrees (0 for none): it shades
    /// the ground under a low Sun by the part of it in the shadow of its own roughness
    /// (Smith's function for a Gaussian surface), which darkens the terminator's ramp and the
    /// horns. The Moon's highlands are rough by about 8 degrees at a kilometre.
    double roughness = 0;
    /// Seeing: full width at half maximum of a Gaussian blur, in pixels, applied to the light
    /// before the tone curve, as the atmosphere does.
    double blurFwhm = 0;
    /// The seeing's profile: 0 for a Gaussian, else a Moffat of this β (2.5 to 4.8 on real
    /// nights), whose wings scatter the light further than a Gaussian of the same width.
    double moffatBeta = 0;
    /// Earthshine on the whole disc, in levels of light before the tone curve (times the
    /// albedo): what shows the night side. Light beyond 255 clips, so a brightness above
    /// 255 over-exposes the highlands as a photograph exposed for the terminator does.
    double earthshine = 0;
    /// Quality of the JPEG file the photograph goes through, 0 for none.
    int jpegQuality = 0;
    /// Sharpening as software applies it to the file's levels: an unsharp mask adding `sharpen`
    /// times the difference from a Gaussian blur of σ `sharpenSigma` pixels, which rings at
    /// every edge (0 for none).
    double sharpen = 0;
    double sharpenSigma = 2;
};

/// McEwen's limb-darkening weight of the lunar-Lambert law, L(g) = 1 − 0.019 g + 2.42e−4 g²
/// − 1.46e−6 g³ for a phase angle g in degrees (McEwen, LPSC XXVII, 1996, p. 841), kept within
/// 0…1: 1 at full Moon, 0 from about 105 degrees on, where the law is Lambert's.
[[nodiscard]] double lunarLambertL(double phaseDegrees);

/// Every pixel is sky + tone(blur(brightness × albedo × reflectance + earthshine)) + stars +
/// grain, with the light averaged over the pixel where the limb, the terminator or a mountain
/// cuts it; then through a JPEG file when the scene asks for one.
[[nodiscard]] Photo render(const Scene &scene);

/// The photograph as the measuring code reads a picture (grey or RGB bytes, no copy).
[[nodiscard]] measure::ImageView viewOf(const Photo &photo);

/// The photograph as a baseline JPEG file's bytes.
[[nodiscard]] std::vector<std::uint8_t> encodeJpeg(const Photo &photo, int quality = 90);

/// A JPEG file decoded by libjpeg, the program's decoder, to its grey or RGB output; an empty
/// photograph (width 0) when libjpeg fails.
[[nodiscard]] Photo decodeJpeg(const std::vector<std::uint8_t> &bytes);

/// The scene's disc and cusp line as the program's model holds them, B and the lit side left
/// at their defaults.
[[nodiscard]] measure::MoonModel modelOf(const Scene &scene);

/// The true cusps of a scene: the centre ± the radius along (cos θ, sin θ).
[[nodiscard]] measure::PicturePoint trueCusp(const Scene &scene, int n);

/// The program's model of the scene's true disc and Sun: b in −90…90 degrees and litSign such
/// that measure::sunDirection gives the scene's sun (whose x must be 0).
[[nodiscard]] measure::MoonModel trueModel(const Scene &scene);

/// A Sun across the cusp line (x = 0) standing `elevationDegrees` above the horizon of `place`
/// (a unit vector), on the side given by litSign as measure::sunDirection counts it; B stays
/// within −90…90 degrees. Throws std::invalid_argument when no such Sun exists (a place too
/// near the ends of the cusp line for that elevation).
[[nodiscard]] measure::Vec3 sunAbove(
    const measure::Vec3 &place, double elevationDegrees, int litSign = 1);

/// Where a mountain's summit and the far end of its shadow appear on the picture, from the
/// scene's geometry alone; `falls` is false when the shadow does not reach the visible ground:
/// the summit is on the night side, the end is hidden (behind the limb or under the mountain's
/// own foot, when the Sun is higher than the flank is steep), or the light grazing the summit
/// misses the sphere (under a Sun of e degrees, above about R(1/cos e − 1): 1 km at 2°).
struct ShadowTruth {
    measure::PicturePoint top;
    measure::PicturePoint end;
    bool falls = false;
};

[[nodiscard]] ShadowTruth shadowOf(const Scene &scene, const Mountain &mountain);

/// The Sun's true elevation in degrees over the plain sphere at picture point (x, y), none off
/// the disc: what the program should show under the pointer there.
[[nodiscard]] std::optional<double> sunElevationAt(const Scene &scene, double x, double y);

/// The place of the visible hemisphere where the scene's Sun (x = 0) stands elevationDegrees
/// high, `alongDegrees` from the middle of the terminator's visible half towards cusp 2: where
/// to put a Mountain for a shadow under that Sun without changing the scene's phase.
[[nodiscard]] measure::Vec3 placeUnderSun(
    const Scene &scene, double elevationDegrees, double alongDegrees = 0);

/// A photograph as others would bring one: the Moon's photometry, albedo and relief, seeing,
/// a camera's tone curve and JPEG file.
struct RealisticCase {
    std::string name;
    Scene scene;
};

/// The catalogue the precision proof runs on: discs of 200 to 1500 px, B from −85 to 85
/// degrees on both lit sides, cusp lines tilted −60 to 60 degrees, seeing of 1 to 4 px,
/// gamma 1 and 2.2, clipped highlights or not, earthshine or not, JPEG of quality 85 to 95,
/// grey and colour, some framed off-centre in a camera's 6000 × 4000 frame and one cut by the
/// frame's edge. Every one shows at least 4 px of day and of night across the disc's middle.
/// Deterministic.
[[nodiscard]] std::vector<RealisticCase> realisticCases();

/// Where a user clicks the horns he sees: walking along the limb from each true cusp towards
/// the lit side, the first point where the lit crescent stands clearly above the night (sky,
/// earthshine and grain) just inside the limb. On the limb circle; `shortfall` is how far from
/// the true cusp, in degrees of position angle, and `seen` is false where the walk finds no
/// light within the frame.
struct HornTips {
    measure::PicturePoint tip[2];
    double shortfall[2] = {0, 0};
    bool seen[2] = {false, false};
};

[[nodiscard]] HornTips hornTips(const Scene &scene, const Photo &photo);

} // namespace synth
