// Frame timing of animated pictures and the per-control picture cache.
#include "imagecontrol/ImageCache.h"
#include "tests/imagecontrol/ControlTestSupport.h"

#include <random>

namespace {

struct Step {
    UINT frame;
    DWORD tick;
    DWORD now;
    UINT expectFrame;
    DWORD expectTick;
};

void RunSteps(const std::vector<UINT>& delays, const std::vector<Step>& steps)
{
    for (const Step& step : steps) {
        AnimationState state;
        state.frame = step.frame;
        state.tick = step.tick;
        AdvanceAnimation(state, delays, step.now);
        EXPECT_EQ(step.expectFrame, state.frame) << "frame " << step.frame << " tick " << step.tick << " now " << step.now;
        EXPECT_EQ(step.expectTick, state.tick) << "frame " << step.frame << " tick " << step.tick << " now " << step.now;
    }
}

TEST(Animation, FramesAdvanceByTheirDelaysOfAtLeastFifteenMilliseconds)
{
    // 100, 200 and 300 ms.
    RunSteps({10, 20, 30}, {
        {0, 0, 5000, 0, 5000},         // first draw starts the clock
        {2, 0, 5000, 0, 5000},         // and the first frame
        {0, 1000, 1000, 0, 1000},      // same millisecond: same frame
        {0, 1000, 1100, 0, 1000},      // time ran out exactly: still the frame, tick kept
        {0, 1000, 1101, 1, 1101},
        {0, 1000, 1300, 1, 1300},
        {0, 1000, 1301, 2, 1301},
        {1, 1000, 1150, 1, 1000},      // time keeps counting from the frame's start
        {2, 1000, 1301, 0, 1301},      // after the last comes the first
        {0, 1000, 1600, 2, 1600},      // 600 ms: the whole cycle ran out in the last frame
        {0, 1000, 1601, 0, 1000},      // a cycle and a millisecond: back in the frame it started
        {0, 1000, 1701, 1, 1701},
        {0, 1000, 999, 0, 1000},       // a clock that went back changes nothing
    });
    // Shorter delays last 15 ms.
    RunSteps({0, 0, 0}, {
        {0, 1000, 1010, 0, 1000},
        {0, 1000, 1015, 0, 1000},
        {0, 1000, 1016, 1, 1016},
        {0, 1000, 1031, 2, 1031},
        {1, 1000, 1045, 0, 1045},
        {1, 1000, 1047, 1, 1000},       // a whole cycle and a bit: the same frame, tick kept
    });
    RunSteps({1, 2, 0}, {{0, 1000, 1016, 1, 1016}, {0, 1000, 1036, 2, 1036}});
    // The tick count's wrap counts forward.
    RunSteps({1, 1}, {
        {0, 0xFFFFFFF0u, 0x00000010u, 0, 0xFFFFFFF0u},  // 32 ms over two 15 ms frames
        {0, 0xFFFFFFF0u, 0x00000000u, 1, 0x00000000u},
    });
    // Still pictures never move.
    RunSteps({10}, {{0, 1000, 5000, 0, 1000}, {0, 0, 5000, 0, 0}});
    RunSteps({}, {{0, 1000, 5000, 0, 1000}});
    // A frame index beyond the picture restarts at the first frame.
    RunSteps({10, 10}, {{7, 1000, 1050, 0, 1000}});
}

// Skipping whole cycles gives what walking every frame gives.
TEST(Animation, LongPausesMatchAFrameByFrameWalk)
{
    std::mt19937 random(17);
    for (int round = 0; round < 300; ++round) {
        std::vector<UINT> delays(2 + random() % 5);
        for (UINT& delay : delays) delay = random() % 12;
        UINT frame = random() % delays.size();
        DWORD elapsed = 1 + random() % 5000;
        AnimationState state;
        state.frame = frame;
        state.tick = 100;
        AdvanceAnimation(state, delays, 100 + elapsed);

        LONG left = static_cast<LONG>(elapsed);
        UINT walk = frame;
        for (;;) {
            LONG ms = delays[walk] * 10 < 15 ? 15 : static_cast<LONG>(delays[walk] * 10);
            left -= ms;
            if (left <= 0) break;
            walk = (walk + 1) % delays.size();
        }
        ASSERT_EQ(walk, state.frame) << "round " << round;
        ASSERT_EQ(walk == frame ? 100u : 100u + elapsed, state.tick) << "round " << round;
    }
    // Nearly 25 days of pause finish at once.
    AnimationState state;
    state.frame = 0;
    state.tick = 1;
    AdvanceAnimation(state, {0, 0, 0}, 0x7FFFFFF0u);
    EXPECT_LT(state.frame, 3u);
}

class CacheTest : public ::testing::Test {
protected:
    ImageCache m_cache;
};

TEST_F(CacheTest, PicturesKeepTheirFramesAndDelays)
{
    ASSERT_TRUE(m_cache.Started());
    const struct {
        const wchar_t* name;
        std::vector<UINT> delays;  // one per frame; past the last frame the delay is 0
    } cases[] = {{L"anim.gif", {10, 20, 30}}, {L"zerodelay.gif", {0, 0, 0}}, {L"red.png", {0}},
                 {L"green.jpg", {0}}, {L"still.gif", {0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ImageRecord* record = m_cache.Get(PictureFile(c.name));
        ASSERT_NE(nullptr, record);
        ASSERT_EQ(c.delays.size(), record->FrameCount());
        EXPECT_EQ(c.delays.size() > 1, record->Animated());
        for (UINT i = 0; i < c.delays.size(); ++i) EXPECT_EQ(c.delays[i], record->Delay(i)) << i;
        EXPECT_EQ(0u, record->Delay(static_cast<UINT>(c.delays.size())));
        EXPECT_EQ(0u, record->Delay(0xFFFFFFFFu));
    }
    EXPECT_EQ(20u, m_cache.Get(PictureFile(L"anim.gif"))->Width());
    EXPECT_EQ(10u, m_cache.Get(PictureFile(L"anim.gif"))->Height());
}

TEST_F(CacheTest, EachPathIsDecodedOnceAndFailuresAreNotCached)
{
    std::wstring path = PictureFile(L"red.png");
    const ImageRecord* first = m_cache.Get(path);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, m_cache.Get(path));
    EXPECT_EQ(1u, m_cache.Count());
    EXPECT_EQ(nullptr, m_cache.Get(PictureFile(L"missing.png")));
    EXPECT_EQ(nullptr, m_cache.Get(L""));
    EXPECT_EQ(1u, m_cache.Count());
    // Paths are compared exactly: another spelling of the same file is another entry.
    std::wstring upper = path;
    for (wchar_t& c : upper) c = towupper(c);
    const ImageRecord* again = m_cache.Get(upper);
    ASSERT_NE(nullptr, again);
    EXPECT_NE(first, again);
    EXPECT_EQ(2u, m_cache.Count());
}

}  // namespace
