// Enumerators over a filter's pins and a pin's preferred media types. Both notice when the set they
// walk changes (VFW_E_ENUM_OUT_OF_SYNC) so callers can Reset.
#pragma once
#include "platform/dshow/DsCommon.h"

class CBaseFilter;
class CBasePin;

class CEnumPins : public IEnumPins {
public:
    // Holds a reference on the filter; other copies the position of an enumerator being cloned.
    CEnumPins(CBaseFilter* filter, const CEnumPins* other);
    virtual ~CEnumPins();
    CEnumPins(const CEnumPins&) = delete;
    CEnumPins& operator=(const CEnumPins&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** clone) override;

private:
    bool OutOfSync() const;

    volatile LONG m_refCount = 1;
    CBaseFilter* m_filter;
    int m_position = 0;
    LONG m_version;
};

class CEnumMediaTypes : public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pin, const CEnumMediaTypes* other);
    virtual ~CEnumMediaTypes();
    CEnumMediaTypes(const CEnumMediaTypes&) = delete;
    CEnumMediaTypes& operator=(const CEnumMediaTypes&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** clone) override;

private:
    bool OutOfSync() const;

    volatile LONG m_refCount = 1;
    CBasePin* m_pin;
    int m_position = 0;
    LONG m_version;
};
