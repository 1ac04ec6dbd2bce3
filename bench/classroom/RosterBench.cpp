// A full class in the roster of the real class window (shipped skin, loopback room): the user list of
// the join set at once, then one paint of the list into a memory DC, and 50 presence notices (online
// and offline) handled by the window on the full list. The baseline is an empty list's paint.
// It runs a small and a large class and checks that the large one is set and painted within 100 ms
// and costs per user no more than 1.5 times the small one (a room holds up to 65,535 participants).
// Run under Xvfb: build/wine-run build/bin/roster_bench.exe [small large, default 500 2000]
#include "bench/BenchClock.h"
#include "bench/classroom/ClassWindowHost.h"

#include "core/WindowMessages.h"
#include "protocol/PacketHeader.h"
#include "protocol/RoomRecords.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// A memory DC with a 32-bit DIB of the window's client size.
class MemoryDc {
public:
    MemoryDc(int width, int height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (m_dc && m_bitmap) m_old = SelectObject(m_dc, m_bitmap);
    }
    ~MemoryDc()
    {
        if (m_old) SelectObject(m_dc, m_old);
        if (m_bitmap) DeleteObject(m_bitmap);
        if (m_dc) DeleteDC(m_dc);
    }
    HDC Dc() const { return m_bitmap ? m_dc : nullptr; }

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
};

// Teachers, students, the microphone queue and speakers mixed as a big class has them.
uint8_t RoleOf(int i)
{
    if (i == 3) return eRole_Host;
    if (i % 100 == 1) return eRole_Teacher;
    if (i % 25 == 7) return eRole_MicApplied;
    if (i == 40) return eRole_MicConnecting;
    if (i == 60) return eRole_SpeakerVideo;
    if (i == 61) return eRole_SpeakerVoice;
    return i % 3 ? eRole_Student : eRole_StudentAlt;
}

std::vector<std::unique_ptr<UserRecord>> MakeUsers(int count)
{
    std::vector<std::unique_ptr<UserRecord>> users;
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<UserRecord> user(new UserRecord);
        user->userId = i == 0 ? kBenchOwnId : 1000u + static_cast<uint32_t>(i);
        user->serverId = 1;
        user->sex = 1 + i % 2;
        user->role = RoleOf(i);
        user->userName.Format(L"user%04d", i);
        user->nickName.Format(L"Listener %d of the class", i);
        users.push_back(std::move(user));
    }
    return users;
}

double PaintMs(CMainWnd* main, CStudentList* roster, HDC dc)
{
    double start = NowMs();
    main->GetPaintManager()->PaintTo(dc, roster->GetPos());
    return NowMs() - start;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// One presence notice as the protocol posts it; the window frees it.
PresenceRecord* Presence(bool online, const UserRecord& user)
{
    auto* record = new PresenceRecord;
    record->online = online ? 1 : 0;
    record->sex = user.sex;
    record->serverId = user.serverId;
    record->userId = user.userId;
    record->userName = user.userName;
    record->screenName = user.nickName;
    record->role = user.role;
    record->roomId = kBenchRoomId;
    return record;
}

struct Figures {
    double set = 0, paint = 0, emptyPaint = 0, notices = 0, noticePaint = 0;
};

// Median figures of a few rounds with `count` users; false with a line on stdout when the roster lost
// rows.
bool Measure(ClassWindowHost& host, HDC dc, int count, Figures& out)
{
    const int rounds = 7;
    CStudentList* roster = host.main->GetRoster();
    std::vector<std::unique_ptr<UserRecord>> owned = MakeUsers(count);
    std::vector<UserRecord*> users;
    for (auto& user : owned) users.push_back(user.get());

    std::vector<double> emptyPaint, set, paint, notices, noticePaint;
    for (int round = 0; round < rounds; ++round) {
        roster->SetUsers(std::vector<UserRecord*>());
        emptyPaint.push_back(PaintMs(host.main, roster, dc));
        PumpUntil([] { return false; }, 50);

        double start = NowMs();
        bool all = roster->SetUsers(users);
        set.push_back(NowMs() - start);
        paint.push_back(PaintMs(host.main, roster, dc));
        if (!all || roster->GetCount() != count) {
            std::printf("the roster took %d of %d users\n", roster->GetCount(), count);
            return false;
        }
        PumpUntil([] { return false; }, 50);

        // 50 notices on the full list: newcomers online, listed students offline, listed ones online
        // again (their rows are updated), each handled as the window handles the room's notice.
        start = NowMs();
        for (int i = 0; i < 50; ++i) {
            UserRecord user = *users[static_cast<size_t>(100 + i * 7)];
            if (i % 5 == 0 || i % 5 == 2) {
                user.userId = 900000u + static_cast<uint32_t>(i);
                user.role = eRole_Student;
                SendMessageW(host.window, WM_USER_PRESENCE, eType_UserOnline_Notify,
                             reinterpret_cast<LPARAM>(Presence(true, user)));
            } else if (i % 5 == 4) {
                SendMessageW(host.window, WM_USER_PRESENCE, eType_UserOnline_Notify,
                             reinterpret_cast<LPARAM>(Presence(true, user)));
            } else {
                SendMessageW(host.window, WM_USER_PRESENCE, eType_UserOffline_Notify,
                             reinterpret_cast<LPARAM>(Presence(false, user)));
            }
        }
        notices.push_back(NowMs() - start);
        noticePaint.push_back(PaintMs(host.main, roster, dc));
        if (roster->GetCount() != count) {
            std::printf("after the notices the roster holds %d rows, not %d\n", roster->GetCount(), count);
            return false;
        }
        PumpUntil([] { return false; }, 50);
    }
    out.set = Median(set);
    out.paint = Median(paint);
    out.emptyPaint = Median(emptyPaint);
    out.notices = Median(notices);
    out.noticePaint = Median(noticePaint);
    std::printf("%d users (median of %d rounds)\n", count, rounds);
    std::printf("  set %.1f ms (%.1f us a user) + paint %.1f ms = %.1f ms; empty list's paint %.1f ms\n", out.set,
                out.set * 1000.0 / count, out.paint, out.set + out.paint, out.emptyPaint);
    std::printf("  50 presence notices on the full list: %.1f ms, then paint %.1f ms\n", out.notices,
                out.noticePaint);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int small = argc > 2 ? _wtoi(argv[1]) : 500;
    const int large = argc > 2 ? _wtoi(argv[2]) : 2000;
    // The notices pick listed users up to the 444th.
    if (small < 450 || large < small) {
        std::printf("usage: roster_bench [small large: users, at least 450, small <= large]\n");
        return 2;
    }
    ClassWindowHost host;
    if (!host.Join()) return 1;
    RECT client = {};
    GetClientRect(host.window, &client);
    MemoryDc memory(client.right, client.bottom);
    if (!memory.Dc()) {
        std::printf("no memory DC\n");
        return 1;
    }
    Figures few, many;
    if (!Measure(host, memory.Dc(), small, few) || !Measure(host, memory.Dc(), large, many)) return 1;

    const double total = many.set + many.paint;
    // The paint covers the visible rows only: a user's cost is that of setting the list.
    const double ratio = (many.set / large) / (few.set / small);
    const bool inTime = total < 100.0;
    const bool proportional = ratio <= 1.5;
    std::printf("%d users set and painted in %.1f ms (aim < 100 ms): %s\n", large, total, inTime ? "ok" : "MISSED");
    std::printf("setting costs a user at %d %.2f times that at %d (aim <= 1.5): %s\n", large, ratio, small,
                proportional ? "ok" : "MISSED");
    return inTime && proportional ? 0 : 1;
}
