// The real class window with the shipped skin, joined to a loopback room as a student, for the
// benchmarks that measure what the user waits for. The data folder is a fresh one of the run.
#pragma once
#include "classroom/MainWnd.h"
#include "controls/StudentList.h"
#include "tests/fakes/room/FakeRoom.h"
#include "tests/support/Pump.h"

#include <cstdint>
#include <functional>
#include <string>

const uint32_t kBenchRoomId = 5;
const uint32_t kBenchOwnId = 7;
// A student beside the own user; the chat burst speaks as this one.
const uint32_t kBenchPeerId = 21;

class ClassWindowHost {
public:
    ClassWindowHost();
    ~ClassWindowHost();
    ClassWindowHost(const ClassWindowHost&) = delete;
    ClassWindowHost& operator=(const ClassWindowHost&) = delete;

    // Shows the window and waits for the join and the first roster; false with a line on stdout.
    bool Join(DWORD timeoutMs = 20000);

    fakeroom::FakeRoom room;
    CMainWnd* main = nullptr;
    HWND window = nullptr;
    CString dataFolder;
};
