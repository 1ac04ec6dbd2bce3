// The filter graph every service of the video library holds: creation, device filters by category
// and position, pins, connection, renderer choice and placing the video window into a caller's window.
#pragma once
#include "platform/dshow/DsCommon.h"

// Friendly names travel in rows of this many wide characters (127 and the NUL).
const int kDeviceNameChars = 128;

class CxGraph {
public:
    CxGraph() = default;
    virtual ~CxGraph();
    CxGraph(const CxGraph&) = delete;
    CxGraph& operator=(const CxGraph&) = delete;

    HRESULT CreateGraphBuilder();
    void ReleaseGraph();
    bool HasGraph() const { return static_cast<bool>(m_graph); }

    // The device at index (from 0) of the category, with its friendly name when name is given (a
    // buffer of kDeviceNameChars). S_FALSE and no filter when the category has fewer devices.
    HRESULT FindFilter(REFCLSID category, int index, IBaseFilter** filter, wchar_t* name);
    HRESULT AddFilter(IBaseFilter* filter, const wchar_t* name);
    // The n-th pin (from 1) of that direction, with a reference, or null.
    static IPin* GetPin(IBaseFilter* filter, PIN_DIRECTION direction, int n);
    // The first output pin of the capture pin category, with a reference, or null.
    static IPin* FindCapturePin(IBaseFilter* filter);
    HRESULT ConnectFilters(IBaseFilter* downstream, int inputNumber, IBaseFilter* upstream);
    HRESULT CreateVideoRenderer(IBaseFilter** renderer);
    HRESULT ChangeScreen(HWND window);
    int SaveGraphBuilder();

    IGraphBuilder* Graph() const { return m_graph.Get(); }
    IMediaControl* Control() const { return m_control.Get(); }

protected:
    ComPtr<IGraphBuilder> m_graph;
    ComPtr<ICaptureGraphBuilder2> m_builder;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaEventEx> m_event;
    ComPtr<IMediaFilter> m_mediaFilter;
};

// Reads a moniker's "FriendlyName"; false when the device has none.
bool ReadFriendlyName(IMoniker* moniker, wchar_t* name, int chars);
