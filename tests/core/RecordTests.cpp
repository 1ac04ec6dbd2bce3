#include "core/Records.h"

#include <gtest/gtest.h>

TEST(UserRole, Predicates)
{
    struct { uint8_t role; bool teacher, speaking, student; int castmix; } cases[] = {
        {1, false, false, true, 4},   {2, false, true, true, 3},    {3, true, false, false, 2},
        {5, false, false, false, 0},  {128, true, false, false, 2}, {129, false, false, true, 4},
        {130, false, false, true, 0}, {131, false, false, true, 0}, {132, false, true, true, 3},
        {133, false, true, true, 3},  {0, false, false, false, 0},  {134, false, false, false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.teacher, IsTeacherRole(c.role)) << int(c.role);
        EXPECT_EQ(c.speaking, IsSpeakingRole(c.role)) << int(c.role);
        EXPECT_EQ(c.student, IsStudentRole(c.role)) << int(c.role);
        EXPECT_EQ(c.castmix, GetCastmixRole(c.role)) << int(c.role);
    }
}

TEST(WndMsgPayload, AssignmentReplacesDataByKind)
{
    WndMsgPayload camera;
    camera.SetCamera(reinterpret_cast<HWND>(1), 2);
    DocPageList pages;
    pages.pageCount = 2;
    pages.values = {L"a.jpg", L"b.jpg"};
    pages.docId = 1ULL << 63;
    WndMsgPayload document;
    document.SetDocument(reinterpret_cast<HWND>(2), pages);

    camera = document;
    EXPECT_EQ(ePanel_Document, camera.kind);
    ASSERT_NE(nullptr, camera.Document());
    EXPECT_NE(document.data, camera.data); // a copy, not shared
    EXPECT_EQ(1ULL << 63, camera.Document()->docId);
    EXPECT_STREQ(L"b.jpg", camera.Document()->values[1]);
    EXPECT_EQ(nullptr, camera.Camera());

    camera = camera; // keeps its data
    ASSERT_NE(nullptr, camera.Document());
    EXPECT_EQ(2u, camera.Document()->values.size());

    WndMsgPayload copy(camera);
    camera.Reset();
    EXPECT_EQ(nullptr, camera.data);
    EXPECT_EQ(ePanel_None, camera.kind);
    ASSERT_NE(nullptr, copy.Document());
    copy.SetWhiteboard(nullptr, 7);
    EXPECT_EQ(7, *copy.WhiteboardPage());
    copy.SetScreenShare(nullptr);
    EXPECT_EQ(nullptr, copy.data);
}
