#include "platform/dshow/DsEnum.h"

#include "platform/dshow/DsFilter.h"
#include "platform/dshow/DsMediaType.h"
#include "platform/dshow/DsPin.h"

#include <new>

CEnumPins::CEnumPins(CBaseFilter* filter, const CEnumPins* other)
    : m_filter(filter), m_version(filter->GetPinVersion())
{
    m_filter->AddRef();
    if (other) {
        m_position = other->m_position;
        m_version = other->m_version;
    }
}

CEnumPins::~CEnumPins()
{
    m_filter->Release();
}

STDMETHODIMP CEnumPins::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IID_IEnumPins || iid == IID_IUnknown) {
        *out = static_cast<IEnumPins*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

STDMETHODIMP_(ULONG) CEnumPins::Release()
{
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

bool CEnumPins::OutOfSync() const
{
    return m_version != m_filter->GetPinVersion();
}

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (!pins || (count > 1 && !fetched))
        return E_POINTER;
    if (fetched)
        *fetched = 0;
    if (OutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG got = 0;
    while (got < count && m_position < m_filter->GetPinCount()) {
        CBasePin* pin = m_filter->GetPin(m_position++);
        if (!pin)
            continue;
        pins[got] = pin;
        pin->AddRef();
        ++got;
    }
    if (fetched)
        *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count)
{
    if (OutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    int left = m_filter->GetPinCount() - m_position;
    if (static_cast<LONG>(count) > left) {
        m_position = m_filter->GetPinCount();
        return S_FALSE;
    }
    m_position += static_cast<int>(count);
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset()
{
    m_version = m_filter->GetPinVersion();
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** clone)
{
    if (!clone)
        return E_POINTER;
    if (OutOfSync()) {
        *clone = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *clone = new (std::nothrow) CEnumPins(m_filter, this);
    return *clone ? S_OK : E_OUTOFMEMORY;
}

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* other)
    : m_pin(pin), m_version(pin->GetMediaTypeVersion())
{
    m_pin->AddRef();
    if (other) {
        m_position = other->m_position;
        m_version = other->m_version;
    }
}

CEnumMediaTypes::~CEnumMediaTypes()
{
    m_pin->Release();
}

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IID_IEnumMediaTypes || iid == IID_IUnknown) {
        *out = static_cast<IEnumMediaTypes*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::Release()
{
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

bool CEnumMediaTypes::OutOfSync() const
{
    return m_version != m_pin->GetMediaTypeVersion();
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (!types || (count > 1 && !fetched))
        return E_POINTER;
    if (fetched)
        *fetched = 0;
    if (OutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG got = 0;
    while (got < count) {
        CMediaType type;
        if (m_pin->GetMediaType(m_position, &type) != S_OK)
            break;
        ++m_position;
        AM_MEDIA_TYPE* copy = CreateMediaType(&type);
        if (!copy)
            break;
        types[got++] = copy;
    }
    if (fetched)
        *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count)
{
    if (OutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    while (count > 0) {
        CMediaType type;
        if (m_pin->GetMediaType(m_position, &type) != S_OK)
            return S_FALSE;
        ++m_position;
        --count;
    }
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset()
{
    m_version = m_pin->GetMediaTypeVersion();
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** clone)
{
    if (!clone)
        return E_POINTER;
    if (OutOfSync()) {
        *clone = nullptr;
        return VFW_E_ENUM_OUT_OF_SYNC;
    }
    *clone = new (std::nothrow) CEnumMediaTypes(m_pin, this);
    return *clone ? S_OK : E_OUTOFMEMORY;
}
