// The drawing records, stroke thinning, capture by injected mouse input and painting with per-owner
// pens into a memory DIB.
#include "controls/PaintControl.h"
#include "tests/controls/ControlsHost.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const wchar_t kSurfaceAtOrigin[] = LR"(<HorizontalLayout>
  <PaintControl name="wb" width="200"/>
  <Control name="rest"/>
</HorizontalLayout>)";

const wchar_t kSurfaceOffset[] = LR"(<HorizontalLayout>
  <Control name="left" width="100"/>
  <PaintControl name="wb" width="200"/>
  <Control name="rest"/>
</HorizontalLayout>)";

PaintStroke Stroke(std::initializer_list<PaintPoint> points, uint32_t key = 0, uint8_t tool = 0)
{
    PaintStroke s;
    s.points = points;
    s.orderKey = key;
    s.tool = tool;
    return s;
}

PaintPen Pen(uint32_t colour, int width, uint32_t key)
{
    PaintPen p;
    p.colour = colour;
    p.width = width;
    p.orderKey = key;
    return p;
}

// A point turned from the direction (1, 0) by the given angle, one step of 0.1 further.
PaintPoint Turned(PaintPoint from, double degrees)
{
    double r = degrees * 3.14159265358979323846 / 180.0;
    return PaintPoint{from.x + static_cast<float>(0.1 * std::cos(r)), from.y + static_cast<float>(0.1 * std::sin(r))};
}

struct Surface {
    ControlsHost host;
    CPaintControlUI* wb = nullptr;
    explicit Surface(const wchar_t* xml = kSurfaceAtOrigin)
    {
        SetLocalUser(42, eRole_Teacher);
        if (host.Load(xml, {0, 0, 400, 100})) wb = static_cast<CPaintControlUI*>(host.Find(L"wb"));
    }
};

} // namespace

TEST(PaintRecords, CopiesAreDeepAndFollowTheType)
{
    std::unique_ptr<PaintObject> stroke(PaintObject::NewStroke(7, Stroke({{0.1f, 0.2f}, {0.3f, 0.4f}}, 9, 2)));
    PaintObject copy(*stroke);
    stroke->stroke->points[0].x = 0.9f;
    ASSERT_TRUE(copy.stroke);
    EXPECT_FALSE(copy.pen);
    EXPECT_EQ(copy.ownerKey, 7);
    EXPECT_EQ(copy.stroke->tool, 2);
    EXPECT_EQ(copy.stroke->orderKey, 9u);
    EXPECT_FLOAT_EQ(copy.stroke->points[0].x, 0.1f);
    EXPECT_EQ(copy.OrderKey(), 9u);

    // Copying a pen over a stroke replaces the payload.
    std::unique_ptr<PaintObject> pen(PaintObject::NewPen(8, Pen(0xFFFF0000, 5, 4)));
    copy = *pen;
    EXPECT_FALSE(copy.stroke);
    ASSERT_TRUE(copy.pen);
    EXPECT_EQ(copy.pen->colour, 0xFFFF0000u);
    EXPECT_EQ(copy.pen->width, 5);
    EXPECT_EQ(copy.OrderKey(), 4u);

    PaintObject& self = copy;
    copy = self;
    ASSERT_TRUE(copy.pen);
    EXPECT_EQ(copy.pen->width, 5);

    PaintObject odd;
    odd.type = 9;
    odd.ownerKey = 3;
    copy = odd;
    EXPECT_FALSE(copy.pen);
    EXPECT_FALSE(copy.stroke);
    EXPECT_EQ(copy.OrderKey(), 0u);
}

TEST(StrokeSimplification, KeepsEndsAndTurnsAboveFifteenDegrees)
{
    PaintStroke single = Stroke({{0.5f, 0.5f}}, 3, 1);
    PaintStroke out = SimplifyStroke(single);
    ASSERT_EQ(out.points.size(), 1u);
    EXPECT_EQ(out.orderKey, 3u);

    out = SimplifyStroke(Stroke({{0.1f, 0.1f}, {0.2f, 0.2f}}));
    ASSERT_EQ(out.points.size(), 2u);

    // A straight line of many evenly spaced points travels as its two ends.
    PaintStroke line;
    line.tool = 4;
    line.orderKey = 77;
    for (int i = 0; i <= 20; ++i) line.points.push_back({0.05f + i * 0.04f, 0.3f + i * 0.01f});
    out = SimplifyStroke(line);
    ASSERT_EQ(out.points.size(), 2u);
    EXPECT_FLOAT_EQ(out.points[0].x, line.points.front().x);
    EXPECT_FLOAT_EQ(out.points[1].x, line.points.back().x);
    EXPECT_EQ(out.tool, 4);
    EXPECT_EQ(out.orderKey, 77u);

    PaintPoint a{0.1f, 0.5f}, b{0.2f, 0.5f};
    struct Case {
        double turn;
        size_t expected;
    } cases[] = {{16.0, 3}, {14.0, 2}, {90.0, 3}, {15.5, 3}, {14.5, 2}, {0.0, 2}};
    for (const Case& c : cases) {
        PaintStroke s = Stroke({a, b, Turned(b, c.turn)});
        EXPECT_EQ(SimplifyStroke(s).points.size(), c.expected) << c.turn << " degrees";
    }

    // A point equal to its predecessor is kept; the angles are measured between raw neighbours.
    out = SimplifyStroke(Stroke({a, b, b, {0.3f, 0.5f}}));
    ASSERT_EQ(out.points.size(), 4u);

    // Small steps that add up to a large turn are all dropped: each compares with its raw neighbours.
    PaintStroke arc;
    arc.points.push_back({0.5f, 0.5f});
    double heading = 0.0;
    for (int i = 0; i < 8; ++i) {
        heading += 10.0;
        double r = heading * 3.14159265358979323846 / 180.0;
        PaintPoint last = arc.points.back();
        arc.points.push_back({last.x + static_cast<float>(0.02 * std::cos(r)), last.y + static_cast<float>(0.02 * std::sin(r))});
    }
    out = SimplifyStroke(arc);
    EXPECT_EQ(out.points.size(), 2u);
}

TEST(PaintSurface, MouseStrokeIsKeptWholeAndSentSimplified)
{
    Surface s;
    ASSERT_NE(s.wb, nullptr);

    s.host.Press(20, 50);
    s.host.Move(60, 50);
    s.host.Move(100, 50);
    s.host.Move(140, 50);
    s.host.Move(140, 90);
    EXPECT_TRUE(s.wb->IsStroking());
    EXPECT_EQ(s.wb->GetObjectCount(), 0u);
    s.host.Release(140, 90);

    ASSERT_EQ(s.wb->GetObjectCount(), 1u);
    const PaintObject* kept = s.wb->GetObjectAt(0);
    EXPECT_EQ(kept->type, ePaintObject_Stroke);
    EXPECT_EQ(kept->ownerKey, 42);
    ASSERT_EQ(kept->stroke->points.size(), 5u);
    EXPECT_FLOAT_EQ(kept->stroke->points[0].x, 0.1f);
    EXPECT_FLOAT_EQ(kept->stroke->points[0].y, 0.5f);
    EXPECT_FLOAT_EQ(kept->stroke->points[4].x, 0.7f);
    EXPECT_FLOAT_EQ(kept->stroke->points[4].y, 0.9f);
    EXPECT_TRUE(s.wb->GetLiveStroke().points.empty());

    auto sent = s.host.Of(DUI_MSGTYPE_PAINTOBJCHANGED);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].sender, s.wb);
    EXPECT_EQ(sent[0].wParam, 1u);
    ASSERT_EQ(s.host.strokes.size(), 1u);
    const PaintStroke& travelled = *s.host.strokes[0];
    // The corner at (140, 50) survives; the collinear points before it do not.
    ASSERT_EQ(travelled.points.size(), 3u);
    EXPECT_FLOAT_EQ(travelled.points[1].x, 0.7f);
    EXPECT_FLOAT_EQ(travelled.points[1].y, 0.5f);
}

TEST(PaintSurface, ClicksDisabledPenAndLeavingEndStrokesCorrectly)
{
    Surface s;
    ASSERT_NE(s.wb, nullptr);
    s.host.Click(50, 50);
    EXPECT_EQ(s.wb->GetObjectCount(), 0u);
    EXPECT_TRUE(s.host.Of(DUI_MSGTYPE_PAINTOBJCHANGED).empty());

    // Leaving the surface with the button held ends the stroke as a release would.
    s.host.Press(50, 50);
    s.host.Move(80, 60);
    s.host.Move(300, 60);
    EXPECT_FALSE(s.wb->IsStroking());
    EXPECT_EQ(s.wb->GetObjectCount(), 1u);
    s.host.Release(300, 60);
    EXPECT_EQ(s.host.Of(DUI_MSGTYPE_PAINTOBJCHANGED).size(), 1u);

    s.wb->SetPenEnabled(false);
    s.host.Press(50, 50);
    EXPECT_FALSE(s.wb->IsStroking());
    s.host.Move(90, 90);
    s.host.Release(90, 90);
    EXPECT_EQ(s.wb->GetObjectCount(), 1u);
    EXPECT_EQ(s.host.Of(DUI_MSGTYPE_PAINTOBJCHANGED).size(), 1u);
}

TEST(PaintSurface, PaintsEachOwnerWithThePenBeforeTheStroke)
{
    Surface s;
    ASSERT_NE(s.wb, nullptr);
    // Given out of order: sorting puts red(1), stroke(5), blue(10) for owner 7.
    std::vector<std::unique_ptr<PaintObject>> mine;
    mine.emplace_back(PaintObject::NewPen(7, Pen(0xFF0000FF, 3, 10)));
    mine.emplace_back(PaintObject::NewStroke(7, Stroke({{0.1f, 0.2f}, {0.9f, 0.2f}}, 5)));
    mine.emplace_back(PaintObject::NewPen(7, Pen(0xFFFF0000, 3, 1)));
    // Equal keys keep their given order: green after yellow wins for owner 9.
    mine.emplace_back(PaintObject::NewPen(9, Pen(0xFFFFFF00, 3, 3)));
    mine.emplace_back(PaintObject::NewPen(9, Pen(0xFF00FF00, 3, 3)));
    mine.emplace_back(PaintObject::NewStroke(9, Stroke({{0.1f, 0.4f}, {0.9f, 0.4f}}, 3)));
    // Owner 0 is never painted; owner 8 has no pen and gets the all-zero one (thin black).
    mine.emplace_back(PaintObject::NewStroke(0, Stroke({{0.1f, 0.6f}, {0.9f, 0.6f}}, 6)));
    mine.emplace_back(PaintObject::NewStroke(8, Stroke({{0.1f, 0.8f}, {0.9f, 0.8f}}, 7)));
    PaintObjectPtrs given;
    for (auto& o : mine) given.push_back(o.get());
    given.insert(given.begin() + 2, nullptr);
    s.wb->LoadObjects(given);
    mine.clear(); // the surface holds copies
    ASSERT_EQ(s.wb->GetObjectCount(), 8u);
    EXPECT_EQ(s.wb->GetObjectAt(0)->OrderKey(), 1u);

    MemoryDib dib(400, 100);
    s.host.Repaint(dib, {0, 0, 400, 100});
    EXPECT_EQ(dib.At(100, 20), 0xFF0000u);
    EXPECT_EQ(dib.CountColor({0, 0, 400, 100}, 0x0000FF), 0);
    EXPECT_EQ(dib.At(100, 40), 0x00FF00u);
    EXPECT_EQ(dib.CountColor({0, 0, 400, 100}, 0xFFFF00), 0);
    EXPECT_EQ(dib.CountOther({0, 55, 200, 65}, 0xFFFFFF), 0);
    EXPECT_EQ(dib.At(100, 80), 0x000000u);
    // The all-zero pen is one pixel wide.
    EXPECT_EQ(dib.CountOther({0, 79, 200, 80}, 0xFFFFFF), 0);
    EXPECT_EQ(dib.CountOther({0, 81, 200, 82}, 0xFFFFFF), 0);
    EXPECT_GE(dib.CountColor({0, 80, 200, 81}, 0x000000), 155);
    // Width 3 lines: three rows of the red stroke.
    EXPECT_EQ(dib.CountColor({100, 15, 101, 25}, 0xFF0000), 3);

    s.wb->ClearObjects();
    s.host.Repaint(dib, {0, 0, 400, 100});
    EXPECT_EQ(dib.CountOther({0, 0, 400, 100}, 0xFFFFFF), 0);
}

TEST(PaintSurface, LiveStrokeUsesTheLocalPenAndStaysUnderTheMouse)
{
    Surface s(kSurfaceOffset);
    ASSERT_NE(s.wb, nullptr);
    std::unique_ptr<PaintObject> pen(PaintObject::NewPen(42, Pen(0xFF0000FF, 1, 0)));
    s.wb->LoadObjects({pen.get()});

    // The surface lies 100 pixels right of the client origin: points are client positions over the
    // surface size, so a line drawn at x 150..250 shows at x 150..250.
    s.host.Press(150, 50);
    s.host.Move(250, 50);
    MemoryDib dib(400, 100);
    s.host.Repaint(dib, {0, 0, 400, 100});
    EXPECT_EQ(dib.At(200, 50), 0x0000FFu);
    EXPECT_EQ(dib.CountColor({0, 0, 400, 100}, 0x0000FF), 100);
    s.host.Release(250, 50);
    ASSERT_EQ(s.wb->GetObjectCount(), 2u);
    EXPECT_FLOAT_EQ(s.wb->GetObjectAt(1)->stroke->points[0].x, 0.75f);

    // A pen of another owner does not colour the local stroke.
    std::unique_ptr<PaintObject> other(PaintObject::NewPen(43, Pen(0xFFFF0000, 1, 0)));
    s.wb->LoadObjects({other.get()});
    s.host.Press(150, 30);
    s.host.Move(250, 30);
    s.host.Repaint(dib, {0, 0, 400, 100});
    EXPECT_EQ(dib.At(200, 30), 0x000000u);
    s.host.Release(250, 30);
}
