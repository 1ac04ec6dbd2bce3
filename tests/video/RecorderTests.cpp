// The recorder: its profile text, the writer's absence under Wine, and a full graph into a stand-in writer.
#include "tests/video/TestSink.h"
#include "tests/video/VideoTestSupport.h"

#include "media/common/MediaLog.h"
#include "media/video/RecorderProfile.h"
#include "platform/ui/UIDlgBuilder.h"
#include "tests/fakes/camera/SynthPattern.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using Attributes = std::vector<std::pair<std::wstring, std::wstring>>;

struct Element {
    std::wstring name;
    Attributes attributes;
    std::vector<Element> children;
};

// The profile a Windows Media writer is given, element by element, with the per-recording values.
Element ExpectedProfile(const std::wstring& width, const std::wstring& height, const std::wstring& bitRate,
                        const std::wstring& frameTime)
{
    Element wave{L"waveformatex",
                 {{L"wFormatTag", L"353"}, {L"nChannels", L"1"}, {L"nSamplesPerSec", L"16000"},
                  {L"nAvgBytesPerSec", L"2000"}, {L"nBlockAlign", L"640"}, {L"wBitsPerSample", L"16"},
                  {L"codecdata", L"002200002E0000000000"}},
                 {}};
    Element audio{L"streamconfig",
                  {{L"majortype", L"{73647561-0000-0010-8000-00AA00389B71}"}, {L"streamnumber", L"1"},
                   {L"streamname", L"Audio Stream"}, {L"inputname", L"Audio"}, {L"bitrate", L"64000"},
                   {L"bufferwindow", L"3000"}, {L"reliabletransport", L"0"}, {L"decodercomplexity", L""},
                   {L"rfc1766langid", L"zh-cn"}},
                  {{L"wmmediatype",
                    {{L"subtype", L"{00000161-0000-0010-8000-00AA00389B71}"}, {L"bfixedsizesamples", L"1"},
                     {L"btemporalcompression", L"0"}, {L"lsamplesize", L"0"}},
                    {wave}}}};
    Attributes rectangle{{L"left", L"0"}, {L"top", L"0"}, {L"right", width}, {L"bottom", height}};
    Element bitmap{L"bitmapinfoheader",
                   {{L"biwidth", width}, {L"biheight", height}, {L"biplanes", L"1"}, {L"bibitcount", L"24"},
                    {L"bicompression", L"WMV3"}, {L"bisizeimage", L"0"}, {L"bixpelspermeter", L"0"},
                    {L"biypelspermeter", L"0"}, {L"biclrused", L"0"}, {L"biclrimportant", L"0"}},
                   {}};
    Element header{L"videoinfoheader",
                   {{L"dwbitrate", bitRate}, {L"dwbiterrorrate", L"0"}, {L"avgtimeperframe", frameTime}},
                   {{L"rcsource", rectangle, {}}, {L"rctarget", rectangle, {}}, bitmap}};
    Element video{L"streamconfig",
                  {{L"majortype", L"{73646976-0000-0010-8000-00AA00389B71}"}, {L"streamnumber", L"2"},
                   {L"streamname", L"Video Stream"}, {L"inputname", L"Video"}, {L"bitrate", bitRate},
                   {L"bufferwindow", L"10000"}, {L"reliabletransport", L"0"}, {L"decodercomplexity", L""},
                   {L"rfc1766langid", L"zh-cn"}},
                  {{L"videomediaprops", {{L"maxkeyframespacing", L"50000000"}, {L"quality", L"50"}}, {}},
                   {L"wmmediatype",
                    {{L"subtype", L"{33564D57-0000-0010-8000-00AA00389B71}"}, {L"bfixedsizesamples", L"0"},
                     {L"btemporalcompression", L"1"}, {L"lsamplesize", L"0"}},
                    {header}},
                   // The pixel-aspect-ratio extension is registered on the video stream.
                   {L"dataunitextension",
                    {{L"extensionsystemid", L"{1B1EE554-F9EA-4BC8-821A-376B74E4C4B8}"},
                     {L"extensiondatasize", L"2"}, {L"extensionsysteminfo", L""}},
                    {}}}};
    return Element{L"profile",
                   {{L"version", L"589824"}, {L"storageformat", L"1"}, {L"name", L"Profile"},
                    {L"description", L"lv wmv recorder Profile"}},
                   {audio, video}};
}

void ExpectSameTree(const CMarkupNode& node, const Element& expected, const std::wstring& path)
{
    std::wstring here = path + L"/" + expected.name;
    EXPECT_EQ(std::wstring(node.GetName().GetString()), expected.name) << here;
    Attributes attributes;
    for (const auto& attribute : node.Attributes())
        attributes.emplace_back(attribute.first.GetString(), attribute.second.GetString());
    EXPECT_EQ(attributes, expected.attributes) << here;
    ASSERT_EQ(node.Children().size(), expected.children.size()) << here;
    for (size_t i = 0; i < expected.children.size(); ++i)
        ExpectSameTree(node.Children()[i], expected.children[i], here);
}

TEST(RecorderProfile, TheFilledTextIsTheWritersProfileWithTheExtensionOnTheVideoStream)
{
    const struct {
        int width, height, kbps, fps;
        const wchar_t *bitRate, *frameTime;
    } cases[] = {{320, 240, 256, 15, L"256000", L"666600"}, {1280, 720, 1500, 7, L"1500000", L"1428500"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        std::string profile = FillRecorderProfile(RecorderProfileTemplate, c.width, c.height, c.kbps, c.fps);
        EXPECT_EQ(profile.find("{_MY_"), std::string::npos);
        // Every line ends with "\r\n".
        size_t lines = 0;
        for (size_t at = profile.find('\n'); at != std::string::npos; at = profile.find('\n', at + 1), ++lines)
            EXPECT_EQ(profile[at - 1], '\r') << at;
        EXPECT_EQ(lines, 18u);
        CMarkup markup;
        ASSERT_TRUE(markup.Load(std::wstring(profile.begin(), profile.end()).c_str()));
        const CMarkupNode& root = markup.GetRoot();
        ExpectSameTree(root, ExpectedProfile(std::to_wstring(c.width), std::to_wstring(c.height), c.bitRate,
                                             c.frameTime),
                       L"");
    }
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

// The library's log, opened in a folder of the test's own.
class ScopedVideoLog {
public:
    ScopedVideoLog() { opened = TheMediaLog().Open(folder.Path(), L"Vidlatch.log", "Vidlatch", __TIME__, __DATE__); }
    ~ScopedVideoLog() { TheMediaLog().Close(); }
    std::string Text() const { return ReadFileBytes(folder.File(L"Vidlatch.log")); }

    TempFolder folder;
    bool opened = false;
};

TEST_F(RecorderGraph, ARefusedProfileIsLoggedAndTheRecordingGoesOn)
{
    ScopedVideoLog log;
    ASSERT_TRUE(log.opened);
    writer.refuseProfile = true;
    ASSERT_EQ(StartRecording(15), S_OK);
    // The manager was asked with the filled text and said no; the writer records with its own profile.
    EXPECT_NE(writer.profile.find(L"biwidth=\"32\" biheight=\"16\""), std::wstring::npos);
    EXPECT_NE(log.Text().find("Err: apply profile failed = c00d002f\r\n"), std::string::npos) << log.Text();
    EXPECT_EQ(log.Text().find("Err: configure asf failed"), std::string::npos) << log.Text();
    std::vector<BYTE> frame = RowFrame(1);
    EXPECT_EQ(recorder.PutContent(frame.data(), nullptr, nullptr, nullptr, nullptr, static_cast<int>(frame.size()),
                                  kWidth, kHeight, 12, 0, 0),
              static_cast<int>(frame.size()));
    ASSERT_TRUE(WaitVideo(3));

    // Without a profile manager, or without a frame rate, nothing can record: the start fails.
    writer.noProfileManager = true;
    EXPECT_EQ(StartRecording(15), REGDB_E_CLASSNOTREG);
    EXPECT_NE(log.Text().find("Err: create pm failed = 80040154\r\n"), std::string::npos) << log.Text();
    EXPECT_EQ(recorder.PutContent(frame.data(), nullptr, nullptr, nullptr, nullptr, static_cast<int>(frame.size()),
                                  kWidth, kHeight, 12, 0, 0),
              -1);
    EXPECT_EQ(recorder.Source(), nullptr);
    writer.noProfileManager = false;
    EXPECT_EQ(StartRecording(0), E_INVALIDARG);
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
