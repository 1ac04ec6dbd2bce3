#include "platform/dshow/DsMediaType.h"

#include <cstring>

void FreeMediaType(AM_MEDIA_TYPE& type)
{
    if (type.cbFormat != 0 || type.pbFormat) {
        CoTaskMemFree(type.pbFormat);
        type.cbFormat = 0;
        type.pbFormat = nullptr;
    }
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return;
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (!target->pbFormat) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->pbFormat = nullptr;
        target->cbFormat = 0;
    }
    if (target->pUnk)
        target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source)
{
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!type)
        return nullptr;
    if (FAILED(CopyMediaType(type, source))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

CMediaType::CMediaType()
{
    memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
    InitMediaType();
}

CMediaType::CMediaType(const GUID* major) : CMediaType()
{
    majortype = *major;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : CMediaType()
{
    Set(other);
}

CMediaType::CMediaType(const CMediaType& other) : CMediaType()
{
    Set(other);
}

CMediaType::~CMediaType()
{
    FreeMediaType(*this);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other)
{
    Set(other);
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& other)
{
    Set(other);
    return *this;
}

bool CMediaType::operator==(const CMediaType& other) const
{
    return majortype == other.majortype && subtype == other.subtype && formattype == other.formattype &&
           cbFormat == other.cbFormat && (cbFormat == 0 || memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& other)
{
    if (&other == static_cast<AM_MEDIA_TYPE*>(this))
        return S_OK;
    FreeMediaType(*this);
    HRESULT hr = CopyMediaType(this, &other);
    if (FAILED(hr))
        InitMediaType();
    return hr;
}

void CMediaType::InitMediaType()
{
    FreeMediaType(*this);
    majortype = GUID_NULL;
    subtype = GUID_NULL;
    formattype = GUID_NULL;
    bFixedSizeSamples = TRUE;
    bTemporalCompression = FALSE;
    lSampleSize = 1;
}

void CMediaType::SetSampleSize(ULONG size)
{
    if (size == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = size;
    }
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length)
{
    if (length == 0)
        return nullptr;
    if (pbFormat && cbFormat >= length) {
        cbFormat = length;
        memset(pbFormat, 0, length);
        return pbFormat;
    }
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block)
        return nullptr;
    memset(block, 0, length);
    CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return block;
}

void CMediaType::ResetFormatBuffer()
{
    CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

bool CMediaType::SetFormat(const BYTE* format, ULONG length)
{
    BYTE* block = AllocFormatBuffer(length);
    if (!block)
        return length == 0;
    memcpy(block, format, length);
    return true;
}

const VIDEOINFOHEADER* CMediaType::VideoInfo() const
{
    if (formattype != FORMAT_VideoInfo || !pbFormat || cbFormat < sizeof(VIDEOINFOHEADER))
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(pbFormat);
}
