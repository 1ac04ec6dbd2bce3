// Our DirectShow base classes against the COM contract, reference counts included.
#include "tests/video/TestSink.h"
#include "tests/video/VideoTestSupport.h"

#include "media/video/DataSource.h"
#include "media/video/VideoRender.h"
#include "platform/dshow/DsEnum.h"

#include <gtest/gtest.h>
#include <climits>

namespace {

ULONG RefCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

TEST(MediaType, CopiesOwnTheirFormatAndTheVideoHeaderIsChecked)
{
    CMediaType type(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_RGB32);
    type.SetFormatType(&FORMAT_VideoInfo);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->bmiHeader.biWidth, 0); // zeroed
    info->bmiHeader.biWidth = 77;

    CMediaType copy(type);
    EXPECT_NE(copy.pbFormat, type.pbFormat);
    EXPECT_TRUE(copy == type);
    ASSERT_NE(copy.VideoInfo(), nullptr);
    EXPECT_EQ(copy.VideoInfo()->bmiHeader.biWidth, 77);
    copy = copy; // self-assignment keeps the block
    EXPECT_EQ(copy.VideoInfo()->bmiHeader.biWidth, 77);

    // Another format type or a block shorter than the header is no video-info header.
    CMediaType other(type);
    other.SetFormatType(&FORMAT_VideoInfo2);
    EXPECT_EQ(other.VideoInfo(), nullptr);
    CMediaType shortBlock(type);
    shortBlock.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
    EXPECT_EQ(shortBlock.VideoInfo(), nullptr);
    shortBlock.cbFormat = sizeof(VIDEOINFOHEADER);
    EXPECT_TRUE(shortBlock != other);

    AM_MEDIA_TYPE* created = CreateMediaType(&type);
    ASSERT_NE(created, nullptr);
    EXPECT_NE(created->pbFormat, type.pbFormat);
    EXPECT_EQ(memcmp(created->pbFormat, type.pbFormat, type.cbFormat), 0);
    DeleteMediaType(created);
    DeleteMediaType(nullptr);

    type.InitMediaType();
    EXPECT_FALSE(type.IsValid());
    EXPECT_EQ(type.pbFormat, nullptr);
    EXPECT_EQ(type.cbFormat, 0u);
}

// A counting outer object and an inner one aggregated into it.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown) {
            *out = this;
            AddRef();
            return S_OK;
        }
        if (inner)
            return inner->NonDelegatingQueryInterface(iid, out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
    INonDelegatingUnknown* inner = nullptr;
};

class Inner : public CUnknown, public IPersist {
public:
    explicit Inner(IUnknown* outer) : CUnknown(L"Inner", outer) {}
    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IPersist)
            return GetInterface(static_cast<IPersist*>(this), out);
        return CUnknown::NonDelegatingQueryInterface(iid, out);
    }
    STDMETHODIMP GetClassID(CLSID* clsid) override
    {
        *clsid = CLSID_NULL;
        return S_OK;
    }
};

TEST(Unknown, AnAggregatedObjectDelegatesToItsOwner)
{
    Outer outer;
    auto* inner = new Inner(&outer);
    outer.inner = inner;
    IPersist* persist = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(outer.refs, 2u); // the reference went to the owner
    // Asked through the inner interface, IUnknown is the owner's.
    IUnknown* identity = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    persist->Release();
    EXPECT_EQ(outer.refs, 1u);
    // The inner unknown answers itself.
    void* self = nullptr;
    ASSERT_EQ(inner->NonDelegatingQueryInterface(IID_IUnknown, &self), S_OK);
    EXPECT_EQ(self, static_cast<INonDelegatingUnknown*>(inner));
    EXPECT_EQ(inner->NonDelegatingRelease(), 1u);
    EXPECT_EQ(inner->NonDelegatingQueryInterface(IID_IStream, &self), E_NOINTERFACE);
    EXPECT_EQ(self, nullptr);
    EXPECT_EQ(inner->NonDelegatingRelease(), 0u); // deleted
}

class VersionedSink : public CTestSinkFilter {
public:
    void ChangePins() { IncrementPinVersion(); }
};

TEST(Enumerators, PinsWalkCloneSkipAndNoticeAChange)
{
    auto* sink = new VersionedSink();
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(sink->EnumPins(pins.Out()), S_OK);
    IPin* got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(3, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(got[0], static_cast<IPin*>(sink->Input(1)));
    EXPECT_EQ(got[1], static_cast<IPin*>(sink->Input(2)));
    got[0]->Release();
    got[1]->Release();
    EXPECT_EQ(pins->Next(3, got, nullptr), E_POINTER); // more than one needs a count
    EXPECT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Skip(1), S_OK);
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(pins->Clone(clone.Out()), S_OK);
    ComPtr<IPin> second;
    EXPECT_EQ(clone->Next(1, second.Out(), nullptr), S_OK);
    EXPECT_EQ(second.Get(), static_cast<IPin*>(sink->Input(2)));
    EXPECT_EQ(pins->Skip(5), S_FALSE);

    sink->ChangePins();
    ComPtr<IPin> any;
    EXPECT_EQ(pins->Next(1, any.Out(), nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(pins->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Next(1, any.Out(), nullptr), S_OK);
    any.Reset();
    second.Reset();
    clone.Reset();
    pins.Reset();
    EXPECT_EQ(sink->NonDelegatingRelease(), 0u);
}

// 65536 x 65536 pixels of 32 bits are 2^34 bytes: a 32-bit byte count wraps to 0.
std::vector<BITMAPINFOHEADER> OverflowingFormats()
{
    BITMAPINFOHEADER huge = {};
    huge.biWidth = 65536;
    huge.biHeight = 65536;
    huge.biBitCount = 32;
    BITMAPINFOHEADER deep = huge;
    deep.biWidth = 64;
    deep.biHeight = 48;
    deep.biBitCount = 0x4000;
    BITMAPINFOHEADER lowest = huge;
    lowest.biHeight = INT_MIN;
    return {huge, deep, lowest};
}

TEST(Enumerators, MediaTypesFollowThePushFormatAndOverflowingFormatsAreRefused)
{
    HRESULT created = S_OK;
    auto* source = new CxVideoDataFilter(&created);
    ASSERT_EQ(created, S_OK);
    // Refused formats leave the default standing, as the enumerated type shows.
    for (const BITMAPINFOHEADER& format : OverflowingFormats())
        EXPECT_EQ(source->SetFormat(&format), E_INVALIDARG) << format.biHeight;
    ComPtr<IPin> pin;
    pin.Attach(CxGraph::GetPin(source, PINDIR_OUTPUT, 1));
    ASSERT_TRUE(pin);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pin->EnumMediaTypes(types.Out()), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(types->Next(1, &type, nullptr), S_OK);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(type->formattype, FORMAT_VideoInfo);
    EXPECT_EQ(type->cbFormat, sizeof(VIDEOINFO));
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    EXPECT_EQ(info->bmiHeader.biWidth, 640);
    EXPECT_EQ(info->bmiHeader.biHeight, 480);
    EXPECT_EQ(info->bmiHeader.biSizeImage, 640u * 480u * 4u);
    DeleteMediaType(type);
    EXPECT_EQ(types->Next(1, &type, nullptr), S_FALSE);

    BITMAPINFOHEADER i420 = {};
    i420.biWidth = 30;
    i420.biHeight = 20;
    i420.biBitCount = 12;
    source->SetFormat(&i420);
    types->Reset();
    ASSERT_EQ(types->Next(1, &type, nullptr), S_OK);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_I420);
    info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    EXPECT_EQ(info->bmiHeader.biCompression, kFourCcI420);
    EXPECT_EQ(info->bmiHeader.biSizeImage, 30u * 20u * 3u / 2u);
    DeleteMediaType(type);

    BITMAPINFOHEADER rgb24 = i420;
    rgb24.biBitCount = 24;
    source->SetFormat(&rgb24);
    types->Reset();
    ULONG fetched = 7;
    EXPECT_EQ(types->Next(1, &type, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    types.Reset();
    pin.Reset();
    EXPECT_EQ(source->NonDelegatingRelease(), 0u);
}

TEST(Enumerators, TheRecorderSourceRefusesOverflowingFormats)
{
    HRESULT created = S_OK;
    auto* source = new CxDataSourceFilter(&created);
    ASSERT_EQ(created, S_OK);
    for (const BITMAPINFOHEADER& format : OverflowingFormats())
        EXPECT_EQ(source->SetFormat(&format, 300, 15), E_INVALIDARG) << format.biHeight;
    EXPECT_EQ(source->Width(), 640);
    EXPECT_EQ(source->Height(), 480);
    BITMAPINFOHEADER largest = {};
    largest.biWidth = 4096;
    largest.biHeight = -4096;
    largest.biBitCount = 12;
    largest.biCompression = kFourCcI420;
    EXPECT_EQ(source->SetFormat(&largest, 300, 15), S_OK);
    source->StopTimer();
    EXPECT_EQ(source->NonDelegatingRelease(), 0u);
}

TEST(Pins, ConnectionRulesAllocatorAndReferenceCounts)
{
    ComScope com;
    ASSERT_TRUE(com.Ok());
    HRESULT created = S_OK;
    auto* source = new CxVideoDataFilter(&created);
    auto* sink = new CTestSinkFilter();
    BITMAPINFOHEADER format = {};
    format.biWidth = 8;
    format.biHeight = 4;
    format.biBitCount = 32;
    source->SetFormat(&format);
    IPin* out = source->GetPin(0);
    IPin* in = sink->Input(2);

    // Wrong direction, a type nobody offers, then the real connection.
    EXPECT_EQ(out->Connect(source->GetPin(0), nullptr), VFW_E_INVALID_DIRECTION);
    CMediaType audio(&MEDIATYPE_Audio);
    EXPECT_EQ(out->Connect(in, &audio), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_FALSE(sink->Input(2)->IsConnected());
    ASSERT_EQ(out->Connect(in, nullptr), S_OK);
    EXPECT_EQ(out->Connect(sink->Input(1), nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(in->ReceiveConnection(out, &sink->Input(2)->CurrentMediaType()), VFW_E_ALREADY_CONNECTED);
    ComPtr<IPin> peer;
    ASSERT_EQ(in->ConnectedTo(peer.Out()), S_OK);
    EXPECT_EQ(peer.Get(), out);
    peer.Reset();
    AM_MEDIA_TYPE connected = {};
    ASSERT_EQ(out->ConnectionMediaType(&connected), S_OK);
    EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB32);
    FreeMediaType(connected);
    PIN_INFO info = {};
    ASSERT_EQ(out->QueryPinInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"LV Video Data pin");
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    info.pFilter->Release();

    // Delivery needs a committed allocator: paused it works, stopped it does not.
    int strides[3] = {};
    std::vector<uint32_t> frame(8 * 4, 0xABCDEF);
    EXPECT_EQ(source->Draw(reinterpret_cast<BYTE*>(frame.data()), nullptr, nullptr, nullptr, strides, 128, 8, 4, 32,
                           0),
              E_OUTOFMEMORY);
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(source->Pause(), S_OK);
    EXPECT_EQ(out->Disconnect(), VFW_E_NOT_STOPPED);
    EXPECT_EQ(source->Draw(reinterpret_cast<BYTE*>(frame.data()), nullptr, nullptr, nullptr, strides, 128, 8, 4, 32,
                           0),
              S_OK);
    std::vector<SinkSample> samples = sink->Input(2)->Samples();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].data.size(), 128u);
    EXPECT_TRUE(samples[0].syncPoint);
    EXPECT_FALSE(samples[0].timed); // shown at once
    ASSERT_EQ(source->Stop(), S_OK);
    ASSERT_EQ(sink->Stop(), S_OK);

    EXPECT_EQ(out->Disconnect(), S_OK);
    EXPECT_EQ(in->Disconnect(), S_OK);
    EXPECT_EQ(in->Disconnect(), S_FALSE);
    EXPECT_EQ(RefCount(static_cast<IBaseFilter*>(source)), 1u);
    EXPECT_EQ(RefCount(static_cast<IBaseFilter*>(sink)), 1u);
    EXPECT_EQ(source->NonDelegatingRelease(), 0u);
    EXPECT_EQ(sink->NonDelegatingRelease(), 0u);
}

} // namespace
