// Which segments a frame draws: plain ones only when long enough on screen, the others always.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "views/renderer.h"
#include "views/segment_cull.h"
#include "views/view_math.h"

namespace {

constexpr int VIEW_WIDTH = 320;

// The UV view's camera: the plane z = 0 seen straight on from `distance`.
PixelScale plane_scale(float distance, float shortPixels = SHORT_SEGMENT_PIXELS) {
    float modelView[16], projection[16];
    mat_translation(modelView, -0.5f, -0.5f, -distance);
    renderer_projection(projection, VIEW_WIDTH, 480, 0.01f, 65535.0f);
    return pixel_scale(modelView, projection, VIEW_WIDTH, shortPixels);
}

// Pixels that a length in the plane takes on screen from `distance`, from the projection.
float plane_pixels(float length, float distance) {
    float projection[16];
    renderer_projection(projection, VIEW_WIDTH, 480, 0.01f, 65535.0f);
    return length * projection[0] * 0.5f * float(VIEW_WIDTH) / distance;
}

struct Segment {
    float x, y, length;
    bool always;
};

// Random segments in the unit square, none shorter than a twentieth of the longest, every
// fifth drawn at any zoom.
std::vector<Segment> scattered(int count, float longest) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0, 1);
    std::vector<Segment> out;
    for (int i = 0; i < count; i++)
        out.push_back(Segment{unit(random), unit(random), longest * (0.05f + 0.95f * unit(random)),
                              i % 5 == 0});
    return out;
}

SegmentCull cull_of(const std::vector<Segment>& segments) {
    SegmentCull cull;
    for (const Segment& s : segments) {
        const float a[3] = {s.x, s.y, 0}, b[3] = {s.x + s.length, s.y, 0};
        cull.add(a, b, s.always);
    }
    return cull;
}

std::vector<int> kept(const SegmentCull& cull, const PixelScale& scale) {
    std::vector<int> out;
    kept_segments(cull, scale, out);
    return out;
}

} // namespace

// In the plane facing the camera every segment's length on screen is known exactly: while the
// plain ones average the threshold or more all are drawn, below it only the long ones.
TEST(SegmentCull, PlainSegmentsInThePlaneShowWhenTheyDoNotCrowdOrAreLong) {
    const std::vector<Segment> segments = scattered(3000, 0.02f);
    const SegmentCull cull = cull_of(segments);
    // Lengths within a thousandth of a threshold may go either way with rounding.
    const auto borderline = [](float pixels, float threshold) {
        return std::fabs(pixels - threshold) < 0.001f * threshold;
    };
    bool sawCrowded = false, sawSparse = false;
    for (float distance : {0.1f, 0.5f, 0.8f, 1.0f, 2.0f, 3.0f, 20.0f}) {
        double sum = 0;
        int plain = 0;
        for (const Segment& s : segments)
            if (!s.always)
                sum += plane_pixels(s.length, distance), plain++;
        const float mean = float(sum / plain);
        if (borderline(mean, SHORT_SEGMENT_PIXELS))
            continue;
        const bool crowded = mean < SHORT_SEGMENT_PIXELS;
        (crowded ? sawCrowded : sawSparse) = true;
        const float longEnough = LONG_SEGMENT_FACTOR * SHORT_SEGMENT_PIXELS;
        std::vector<int> expected, got;
        for (const int i : kept(cull, plane_scale(distance)))
            if (!borderline(plane_pixels(segments[size_t(i)].length, distance), longEnough))
                got.push_back(i);
        for (size_t i = 0; i < segments.size(); i++) {
            const float px = plane_pixels(segments[i].length, distance);
            if (borderline(px, longEnough))
                continue;
            if (!crowded || segments[i].always || px >= longEnough)
                expected.push_back(int(i));
        }
        EXPECT_EQ(got, expected) << "distance " << distance;
    }
    EXPECT_TRUE(sawCrowded && sawSparse);
}

TEST(SegmentCull, ZoomingInNeverDropsASegmentAndFarOutOnlyTheAlwaysDrawnRemain) {
    const std::vector<Segment> segments = scattered(3000, 0.02f);
    const SegmentCull cull = cull_of(segments);
    std::vector<int> previous;
    for (float distance : {100.0f, 10.0f, 2.0f, 1.0f, 0.3f, 0.05f}) {
        const std::vector<int> now = kept(cull, plane_scale(distance));
        EXPECT_TRUE(std::includes(now.begin(), now.end(), previous.begin(), previous.end()))
            << distance;
        previous = now;
    }
    EXPECT_EQ(previous.size(), segments.size()) << "all long enough from 0.05";
    std::vector<int> always;
    for (size_t i = 0; i < segments.size(); i++)
        if (segments[i].always)
            always.push_back(int(i));
    EXPECT_EQ(kept(cull, plane_scale(100.0f)), always);
}

TEST(SegmentCull, ThresholdZeroOrABatchAtTheCameraKeepsEverySegment) {
    const std::vector<Segment> segments = scattered(600, 0.001f);
    const SegmentCull cull = cull_of(segments);
    EXPECT_EQ(kept(cull, plane_scale(1.0f, 0)).size(), segments.size());
    // A 3D camera inside the segments' box: no bound on their size on screen.
    float modelView[16], projection[16];
    mat_translation(modelView, -0.5f, -0.5f, 0.0f);
    renderer_projection(projection, VIEW_WIDTH, 480, 0.01f, 65535.0f);
    const PixelScale inside = pixel_scale(modelView, projection, VIEW_WIDTH, SHORT_SEGMENT_PIXELS);
    EXPECT_EQ(kept(cull, inside).size(), segments.size());
}

// Turned in 3D, a batch is judged at its nearest depth: never as shorter than it is where it
// lies, so a segment that is long on screen is drawn among crowded ones. (Off the view's axis
// perspective lengthens a segment by up to about a half, hence the margin.)
TEST(SegmentCull, TurnedCameraKeepsEverySegmentThatIsLongOnScreen) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-1, 1);
    SegmentCull cull;
    std::vector<std::array<float, 6>> ends;
    for (int i = 0; i < 4000; i++) {
        // Row by row over a bumpy sheet, as a mesh's faces mostly come; mostly short segments,
        // every fortieth a long one.
        const float a[3] = {-0.8f + 1.6f * float(i % 64) / 63, -0.8f + 1.6f * float(i / 64) / 63,
                            0.3f * unit(random)};
        const float d = (i % 40 == 0 ? 0.15f : 0.006f) * (unit(random) + 1);
        const float b[3] = {a[0] + d * unit(random), a[1] + d * unit(random), a[2] + d};
        cull.add(a, b, false);
        ends.push_back({a[0], a[1], a[2], b[0], b[1], b[2]});
    }
    float rx[16], ry[16], r[16], t[16], modelView[16], projection[16], mvp[16];
    mat_rotation_x(rx, 35);
    mat_rotation_y(ry, -60);
    mat_mul(r, rx, ry);
    mat_translation(t, 0, 0, -1.8f);
    mat_mul(modelView, t, r);
    renderer_projection(projection, VIEW_WIDTH, 480, 0.01f, 65535.0f);
    mat_mul(mvp, projection, modelView);
    const std::vector<int> got =
        kept(cull, pixel_scale(modelView, projection, VIEW_WIDTH, SHORT_SEGMENT_PIXELS));
    int longOnScreen = 0;
    for (size_t i = 0; i < ends.size(); i++) {
        float ca[4], cb[4];
        mat_transform(ca, mvp, ends[i][0], ends[i][1], ends[i][2], 1);
        mat_transform(cb, mvp, ends[i][3], ends[i][4], ends[i][5], 1);
        // Only what lies on screen counts.
        if (std::fabs(ca[0]) > ca[3] || std::fabs(ca[1]) > ca[3])
            continue;
        const float dx = 0.5f * VIEW_WIDTH * (ca[0] / ca[3] - cb[0] / cb[3]);
        const float dy = 0.5f * 480 * (ca[1] / ca[3] - cb[1] / cb[3]);
        if (std::sqrt(dx * dx + dy * dy) < 1.5f * LONG_SEGMENT_FACTOR * SHORT_SEGMENT_PIXELS)
            continue;
        longOnScreen++;
        EXPECT_TRUE(std::binary_search(got.begin(), got.end(), int(i))) << i;
    }
    EXPECT_GT(longOnScreen, 50);
    EXPECT_LT(got.size(), ends.size() / 2) << "the crowded short ones are left out";
}
