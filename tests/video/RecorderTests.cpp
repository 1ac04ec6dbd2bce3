// The recorder: profile text, the platform writer's absence under Wine reported as a failure with its
// log line, and a full graph into a stand-in two-input writer that checks pin order, contiguous time
// stamps, repetition of the latest frame, the flipped copy and the microphone's actual format.
#include "tests/video/TestSink.h"
#include "tests/video/VideoTestSupport.h"

#include "media/video/RecorderProfile.h"
#include "tests/fakes/camera/SynthPattern.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(RecorderProfile, PlaceholdersAreFilledEverywhere)
{
    std::string profile = FillRecorderProfile(RecorderProfileTemplate, 320, 240, 256, 15);
    EXPECT_EQ(profile.find("{_MY_"), std::string::npos);
    EXPECT_EQ(Occurrences(profile, "avgtimeperframe=\"666600\""), 1u);
    EXPECT_EQ(Occurrences(profile, "bitrate=\"256000\""), 2u); // the stream's and the header's dwbitrate
    EXPECT_EQ(Occurrences(profile, "right=\"320\" bottom=\"240\""), 2u);
    EXPECT_EQ(Occurrences(profile, "biwidth=\"320\" biheight=\"240\""), 1u);
    // Fixed parts stay as they are.
    EXPECT_EQ(Occurrences(profile, "bitrate=\"64000\""), 1u);
    EXPECT_EQ(Occurrences(profile, "\r\n"), Occurrences(RecorderProfileTemplate, "\r\n"));
    EXPECT_EQ(profile.compare(0, 26, "<profile version=\"589824\" "), 0);

    EXPECT_NE(FillRecorderProfile(RecorderProfileTemplate, 1, 1, 1, 7).find("avgtimeperframe=\"1428500\""),
              std::string::npos);
    EXPECT_NE(FillRecorderProfile(RecorderProfileTemplate, 1, 1, 1, 1).find("avgtimeperframe=\"10000000\""),
              std::string::npos);
    // No frame rate, no profile: the average time per frame divides by it.
    EXPECT_TRUE(FillRecorderProfile(RecorderProfileTemplate, 320, 240, 256, 0).empty());
    EXPECT_TRUE(FillRecorderProfile(RecorderProfileTemplate, 320, 240, 256, -3).empty());
}

BITMAPINFOHEADER I420Header(int width, int height)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = 12;
    header.biCompression = kFourCcI420;
    return header;
}

WAVEFORMATEX WantedSound()
{
    WAVEFORMATEX sound = {};
    sound.wFormatTag = WAVE_FORMAT_PCM;
    sound.nChannels = 2;
    sound.wBitsPerSample = 8;
    sound.nSamplesPerSec = 8000;
    return sound;
}

int FindAudioDevice(const wchar_t* name)
{
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devices.OutVoid())))
        return -1;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, monikers.Out(), 0) != S_OK)
        return -1;
    for (int index = 0;; ++index) {
        ComPtr<IMoniker> moniker;
        if (monikers->Next(1, moniker.Out(), nullptr) != S_OK)
            return -1;
        wchar_t friendly[128] = {};
        if (ReadFriendlyName(moniker.Get(), friendly, 128) && wcscmp(friendly, name) == 0)
            return index;
    }
}

TEST(RecorderExports, WithoutTheWindowsMediaWriterTheStartFailsWithItsLogLine)
{
    ComScope com;
    ASSERT_TRUE(com.Ok());
    VidlatchDll dll;
    ASSERT_TRUE(dll.Loaded());
    int mic = FindAudioDevice(SYNTH_MIC_NAME);
    ASSERT_GE(mic, 0);
    void* handle = dll.recorderCreate();
    ASSERT_NE(handle, nullptr);
    BYTE frame[64 * 48 * 3 / 2] = {};
    EXPECT_EQ(dll.recorderPutContent(handle, frame, nullptr, nullptr, nullptr, nullptr, sizeof(frame), 64, 48, 12,
                                     0, 0),
              -1);
    BITMAPINFOHEADER video = I420Header(64, 48);
    WAVEFORMATEX sound = WantedSound();
    TempFolder folder;
    EXPECT_EQ(dll.recorderStart(handle, mic, &video, 15, 256, &sound, folder.File(L"class.wmv")), -100);
    // The device's own format came back before the writer was wanted.
    EXPECT_EQ(sound.nChannels, kSynthMicChannels);
    EXPECT_EQ(sound.wBitsPerSample, kSynthMicBits);
    EXPECT_EQ(sound.nSamplesPerSec, kSynthMicRate);
    EXPECT_EQ(sound.nBlockAlign, 2);
    EXPECT_EQ(sound.nAvgBytesPerSec, 32000u);
    std::string log = ReadFileBytes(VidlatchLogPath());
    EXPECT_NE(log.find("Err: Recorder::CreateAsfWriter = 80040154\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Info: audio index = " + std::to_string(mic) + ", name = Lumenvale Synthetic Microphone"),
              std::string::npos);
    // A start that failed after building its source records nothing, so no frame counts as stored.
    EXPECT_EQ(dll.recorderPutContent(handle, frame, nullptr, nullptr, nullptr, nullptr, sizeof(frame), 64, 48, 12,
                                     0, 0),
              -1);
    // A missing audio device fails as well, and the handle stays usable.
    EXPECT_EQ(dll.recorderStart(handle, 999, &video, 15, 256, &sound, folder.File(L"class.wmv")), -100);
    dll.recorderDestroy(&handle);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(dll.recorderPutContent(handle, frame, nullptr, nullptr, nullptr, nullptr, sizeof(frame), 64, 48, 12,
                                     0, 0),
              -1);
}

class RecorderGraph : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com.Ok());
        mic = FindAudioDevice(SYNTH_MIC_NAME);
        ASSERT_GE(mic, 0);
    }
    HRESULT StartRecording(int fps)
    {
        BITMAPINFOHEADER video = I420Header(kWidth, kHeight);
        sound = WantedSound();
        return recorder.Start(mic, video, fps, 300, sound, path.c_str());
    }
    CTestSinkPin* Video() { return writer.sink->Input(2); }
    CTestSinkPin* Audio() { return writer.sink->Input(1); }
    bool WaitVideo(size_t count) { return PumpUntil([&] { return Video()->Count() >= count; }, 3000); }
    // An I420 frame whose every row carries its plane and row number.
    std::vector<BYTE> RowFrame(BYTE salt)
    {
        std::vector<BYTE> frame;
        int rows[3] = {kHeight, kHeight / 2, kHeight / 2};
        int widths[3] = {kWidth, kWidth / 2, kWidth / 2};
        for (int p = 0; p < 3; ++p) {
            for (int r = 0; r < rows[p]; ++r)
                frame.insert(frame.end(), static_cast<size_t>(widths[p]), static_cast<BYTE>(salt + p * 64 + r));
        }
        return frame;
    }

    static const int kWidth = 32;
    static const int kHeight = 16;
    ComScope com;
    TestWriter writer;
    CxRecorder recorder;
    WAVEFORMATEX sound = {};
    std::wstring path = L"c:\\recordings\\class.wmv";
    int mic = -1;
};

TEST_F(RecorderGraph, PinsTimesRepetitionAndTheFlippedCopy)
{
    ASSERT_EQ(StartRecording(20), S_OK);
    ASSERT_NE(writer.sink, nullptr);
    EXPECT_EQ(writer.sink->fileName, path);
    EXPECT_NE(writer.profile.find(L"avgtimeperframe=\"500000\""), std::wstring::npos);
    EXPECT_NE(writer.profile.find(L"biwidth=\"32\" biheight=\"16\""), std::wstring::npos);
    EXPECT_NE(writer.profile.find(L"bitrate=\"300000\""), std::wstring::npos);
    EXPECT_EQ(sound.nChannels, kSynthMicChannels);
    EXPECT_EQ(sound.nSamplesPerSec, kSynthMicRate);

    // Audio on the writer's first input, video on the second.
    EXPECT_EQ(Audio()->CurrentMediaType().majortype, MEDIATYPE_Audio);
    EXPECT_EQ(Video()->CurrentMediaType().majortype, MEDIATYPE_Video);
    const VIDEOINFOHEADER* info = Video()->CurrentMediaType().VideoInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->bmiHeader.biCompression, kFourCcI420);
    EXPECT_EQ(info->bmiHeader.biBitCount, 12);
    EXPECT_EQ(info->AvgTimePerFrame, 500000);

    // Before the first frame the source shows black.
    ASSERT_TRUE(WaitVideo(1));
    std::vector<BYTE> black = Video()->Samples()[0].data;
    ASSERT_EQ(black.size(), static_cast<size_t>(kWidth * kHeight * 3 / 2));
    EXPECT_EQ(black[0], 16);
    EXPECT_EQ(black.back(), 128);

    std::vector<BYTE> first = RowFrame(1);
    ASSERT_EQ(recorder.PutContent(first.data(), nullptr, nullptr, nullptr, nullptr, static_cast<int>(first.size()),
                                  kWidth, kHeight, 12, 0, 0),
              static_cast<int>(first.size()));
    size_t seenBefore = Video()->Count();
    // Nothing pushed for a while: the same frame is repeated at the frame rate.
    ASSERT_TRUE(WaitVideo(seenBefore + 5));
    std::vector<SinkSample> samples = Video()->Samples();
    EXPECT_EQ(samples.back().data, first);
    EXPECT_EQ(samples[samples.size() - 2].data, first);

    // The flipped copy reverses the rows of every plane.
    std::vector<BYTE> flipped = RowFrame(100);
    ASSERT_EQ(recorder.PutContent(flipped.data(), nullptr, nullptr, nullptr, nullptr,
                                  static_cast<int>(flipped.size()), kWidth, kHeight, 12, 0, 1),
              static_cast<int>(flipped.size()));
    seenBefore = Video()->Count();
    ASSERT_TRUE(WaitVideo(seenBefore + 2));
    std::vector<BYTE> stored = Video()->Samples().back().data;
    ASSERT_EQ(stored.size(), flipped.size());
    EXPECT_EQ(stored[0], 100 + kHeight - 1);                                       // last Y row first
    EXPECT_EQ(stored[kWidth * kHeight], 100 + 64 + kHeight / 2 - 1);              // last U row first
    EXPECT_EQ(stored.back(), 100 + 128 + 0);                                       // V's first row last

    // A flipped frame of another size would overrun the store: refused, the stored frame stays.
    std::vector<BYTE> big(static_cast<size_t>(64 * 32 * 3 / 2), 0xEE);
    EXPECT_EQ(recorder.PutContent(big.data(), nullptr, nullptr, nullptr, nullptr, static_cast<int>(big.size()), 64,
                                  32, 12, 0, 1),
              0);
    EXPECT_EQ(recorder.PutContent(flipped.data(), nullptr, nullptr, nullptr, nullptr, 100, kWidth, kHeight, 12, 0, 1),
              0);

    recorder.Close();
    size_t atClose = Video()->Count();
    samples = Video()->Samples();
    Pump(200);
    EXPECT_EQ(Video()->Count(), atClose);
    EXPECT_EQ(samples.back().data, stored);

    // Stamps begin at 0 and each sample lasts exactly until the next one begins.
    ASSERT_GE(samples.size(), 8u);
    EXPECT_TRUE(samples[0].timed);
    EXPECT_EQ(samples[0].start, 0);
    for (size_t i = 1; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].start, samples[i - 1].stop) << i;
        EXPECT_GT(samples[i].stop, samples[i].start) << i;
        EXPECT_TRUE(samples[i].syncPoint);
    }
    // At 20 frames a second the ticks are 50 ms apart on average.
    double average = static_cast<double>(samples.back().stop) / static_cast<double>(samples.size()) / 10000.0;
    EXPECT_GT(average, 30.0);
    EXPECT_LT(average, 80.0);

    // The microphone streamed into the first input meanwhile.
    EXPECT_GT(Audio()->Count(), 0u);
    EXPECT_EQ(recorder.PutContent(first.data(), nullptr, nullptr, nullptr, nullptr, static_cast<int>(first.size()),
                                  kWidth, kHeight, 12, 0, 0),
              -1);
}

TEST_F(RecorderGraph, ProfileFailuresAndAMissingFrameRateFailTheStart)
{
    writer.failProfile = true;
    EXPECT_EQ(StartRecording(15), static_cast<HRESULT>(0xC00D002F));
    std::vector<BYTE> frame = RowFrame(1);
    EXPECT_EQ(recorder.PutContent(frame.data(), nullptr, nullptr, nullptr, nullptr, static_cast<int>(frame.size()),
                                  kWidth, kHeight, 12, 0, 0),
              -1);
    EXPECT_EQ(recorder.Source(), nullptr);
    writer.failProfile = false;
    writer.noProfileManager = true;
    EXPECT_EQ(StartRecording(15), REGDB_E_CLASSNOTREG);
    writer.noProfileManager = false;
    EXPECT_EQ(StartRecording(0), E_INVALIDARG);
    // The same object starts once the inputs are sound.
    EXPECT_EQ(StartRecording(15), S_OK);
    EXPECT_TRUE(WaitVideo(2));
}

struct Pusher {
    IxDataSourceInterface* source;
    const std::vector<BYTE>* frame;
    int width;
    int height;
    volatile LONG stop;
    volatile LONG pushes;
};

DWORD WINAPI PushFrames(void* context)
{
    auto* pusher = static_cast<Pusher*>(context);
    while (!pusher->stop) {
        pusher->source->PutContent(const_cast<BYTE*>(pusher->frame->data()), nullptr, nullptr, nullptr, nullptr,
                                   static_cast<int>(pusher->frame->size()), pusher->width, pusher->height, 12, 0, 1);
        InterlockedIncrement(&pusher->pushes);
        Sleep(1);
    }
    return 0;
}

TEST_F(RecorderGraph, CloseWhileAnotherThreadPushesStopsDeliveryAtOnce)
{
    ASSERT_EQ(StartRecording(50), S_OK);
    std::vector<BYTE> frame = RowFrame(7);
    // The pushing thread holds its own reference, so the source outlives the recorder's graph for it.
    ComPtr<IxDataSourceInterface> source;
    ASSERT_NE(recorder.Source(), nullptr);
    recorder.Source()->AddRef();
    source.Attach(recorder.Source());
    Pusher pusher = {source.Get(), &frame, kWidth, kHeight, 0, 0};
    HANDLE thread = CreateThread(nullptr, 0, PushFrames, &pusher, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitVideo(5));
    recorder.Close();
    size_t atClose = Video()->Count();
    LONG pushesAtClose = pusher.pushes;
    Pump(150);
    EXPECT_EQ(Video()->Count(), atClose);
    EXPECT_GT(pusher.pushes, pushesAtClose); // pushes went on, harmlessly
    InterlockedExchange(&pusher.stop, 1);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
}

} // namespace
