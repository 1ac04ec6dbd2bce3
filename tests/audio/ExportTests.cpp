// The exported contract without devices: handle checks, closing, the device rows and the log.
#include "tests/audio/SonarelFixtures.h"

#include <string>

TEST_F(SonarelTest, EveryExportRefusesNullClosedStaleAndOtherFamilyHandles)
{
    wchar_t rows[kSonarelMaxDeviceRows + 1][kSonarelNameChars];
    for (auto& row : rows) wmemset(row, L'#', kSonarelNameChars);
    EXPECT_EQ(-1, host.Sonarel_GetDevs(nullptr, rows));
    EXPECT_EQ(-1, host.Sonarel_Start(nullptr, 0, 16000, 16, 1, BlockRecorder::Callback, nullptr));
    EXPECT_EQ(-1, host.AudioPlay_GetDevs(nullptr, rows));
    EXPECT_EQ(-1, host.AudioPlay_Start(nullptr, nullptr, 0, 32000, 16, 1, BlockRecorder::Callback, nullptr));
    EXPECT_EQ(L'#', rows[0][0]) << "a refused call must not touch the rows";

    CDSSonarel* capture = nullptr;
    host.Sonarel_Close(&capture);
    EXPECT_EQ(nullptr, capture);
    host.Sonarel_Close(nullptr);
    CDSAudioPlay* player = nullptr;
    host.AudioPlay_Close(&player);
    EXPECT_EQ(nullptr, player);
    host.AudioPlay_Close(nullptr);

    std::string log = ReadSonarelLog();
    log = log.substr(log.rfind("--Sonarel buildtime = "));
    size_t badPointers = 0;
    for (size_t at = 0; (at = log.find("Err: bad pointer!\r\n", at)) != std::string::npos; ++at) ++badPointers;
    EXPECT_EQ(4u, badPointers) << log;

    capture = host.Sonarel_Create();
    player = host.AudioPlay_Create();
    ASSERT_NE(nullptr, capture);
    ASSERT_NE(nullptr, player);

    // A handle of one family is no handle of the other.
    EXPECT_EQ(-1, host.Sonarel_Start(reinterpret_cast<CDSSonarel*>(player), 0, 16000, 16, 1, nullptr, nullptr));
    EXPECT_EQ(-1, host.AudioPlay_GetDevs(reinterpret_cast<CDSAudioPlay*>(capture), nullptr));

    CDSSonarel* staleCapture = capture;
    host.Sonarel_Close(&capture);
    EXPECT_EQ(nullptr, capture);
    host.Sonarel_Close(&capture); // closing twice: the second call sees a null handle
    EXPECT_EQ(-1, host.Sonarel_GetDevs(staleCapture, nullptr));
    EXPECT_EQ(-1, host.Sonarel_Start(staleCapture, 0, 16000, 16, 1, nullptr, nullptr));
    host.Sonarel_Close(&staleCapture); // a stale copy is refused, not deleted twice
    EXPECT_EQ(nullptr, staleCapture);

    CDSAudioPlay* stalePlayer = player;
    host.AudioPlay_Close(&player);
    host.AudioPlay_Close(&player);
    EXPECT_EQ(nullptr, player);
    EXPECT_EQ(-1, host.AudioPlay_Start(stalePlayer, nullptr, 0, 32000, 16, 1, nullptr, nullptr));
    host.AudioPlay_Close(&stalePlayer);
    EXPECT_EQ(nullptr, stalePlayer);
}

TEST_F(SonarelTest, FormatsDirectSoundCannotCarryFailWithTheFamilyCode)
{
    CDSSonarel* capture = host.Sonarel_Create();
    CDSAudioPlay* player = host.AudioPlay_Create();
    struct Shape { int rate, bits, channels; } shapes[] = {
        {0, 16, 1}, {-16000, 16, 1}, {16000, 0, 1}, {16000, 12, 1}, {16000, 16, 0}, {16000, 16, -2},
        {16000, 64, 1}, {0x7FFFFFFF, 32, 8},
    };
    for (const Shape& s : shapes) {
        EXPECT_EQ(-3, host.Sonarel_Start(capture, 0, s.rate, s.bits, s.channels, BlockRecorder::Callback, nullptr))
            << s.rate << " " << s.bits << " " << s.channels;
        EXPECT_EQ(-5, host.AudioPlay_Start(player, nullptr, 0, s.rate, s.bits, s.channels, BlockRecorder::Callback,
                                           nullptr))
            << s.rate << " " << s.bits << " " << s.channels;
    }
    host.Sonarel_Close(&capture);
    host.AudioPlay_Close(&player);
    EXPECT_NE(std::string::npos, ReadSonarelLog().find("Err: bad capture format rate = 0 bits = 16 channels = 1\r\n"));
    EXPECT_NE(std::string::npos, ReadSonarelLog().find("Err: initDSound\r\n{\r\n"));
}

TEST_F(SonarelTest, LogStartsWithTheBuildLineAndRecordsComOnTheLoadingThread)
{
    std::string log = ReadSonarelLog();
    size_t banner = log.rfind("--Sonarel buildtime = ");
    ASSERT_NE(std::string::npos, banner) << log;
    size_t end = log.find("\r\n", banner);
    ASSERT_NE(std::string::npos, end);
    // "--Sonarel buildtime = hh:mm:ss: Mmm dd yyyy"
    EXPECT_EQ(22u + 8u + 2u + 11u, end - banner) << log.substr(banner, end - banner);
    EXPECT_EQ(banner + 2 + 22u + 8u + 2u + 11u, log.find("CoInitalize = ", banner)) << log;
}

TEST_F(SonarelTest, LogKeepsAtMost2048BytesOfEarlierRuns)
{
    // Written while the library holds the log: the next load decides by size.
    ASSERT_TRUE(host.Unload());
    CString path = GetAppDataFolder() + L"log\\Sonarel.log";
    ASSERT_TRUE(WriteFileBytes(path, std::string(2048, 'k')));
    ASSERT_TRUE(host.Load());
    ASSERT_TRUE(host.Unload());
    std::string kept = ReadSonarelLog();
    EXPECT_EQ(std::string(2048, 'k'), kept.substr(0, 2048));
    EXPECT_EQ(0u, kept.find("--Sonarel buildtime = ", 2048) - 2048);

    ASSERT_TRUE(WriteFileBytes(path, std::string(2049, 'd')));
    ASSERT_TRUE(host.Load());
    EXPECT_EQ(0u, ReadSonarelLog().find("--Sonarel buildtime = "));
}
