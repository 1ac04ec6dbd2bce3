// AM_MEDIA_TYPE with an owned format block, and the free functions for types that cross interfaces
// (allocated with CoTaskMemAlloc, as the graph frees them).
#pragma once
#include "platform/dshow/DsCommon.h"

// Releases the format block and the unknown of a type, leaving the structure itself.
void FreeMediaType(AM_MEDIA_TYPE& type);
// Frees a type that CreateMediaType or an enumerator allocated.
void DeleteMediaType(AM_MEDIA_TYPE* type);
// Deep copy; E_OUTOFMEMORY leaves target without a format block.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A task-allocated deep copy, or null when memory runs out.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    explicit CMediaType(const GUID* major);
    CMediaType(const AM_MEDIA_TYPE& other);
    CMediaType(const CMediaType& other);
    ~CMediaType();
    CMediaType& operator=(const AM_MEDIA_TYPE& other);
    CMediaType& operator=(const CMediaType& other);
    bool operator==(const CMediaType& other) const;
    bool operator!=(const CMediaType& other) const { return !(*this == other); }

    HRESULT Set(const AM_MEDIA_TYPE& other);
    // Empties the type (GUID_NULL everywhere, no format).
    void InitMediaType();
    bool IsValid() const { return majortype != GUID_NULL; }

    const GUID* Type() const { return &majortype; }
    const GUID* Subtype() const { return &subtype; }
    const GUID* FormatType() const { return &formattype; }
    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }

    void SetType(const GUID* type) { majortype = *type; }
    void SetSubtype(const GUID* type) { subtype = *type; }
    void SetFormatType(const GUID* type) { formattype = *type; }
    void SetSampleSize(ULONG size);
    void SetVariableSize() { bFixedSizeSamples = FALSE; }
    void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

    // A zeroed format block of that length (the old block is kept when it is large enough); null when
    // memory runs out.
    BYTE* AllocFormatBuffer(ULONG length);
    void ResetFormatBuffer();
    bool SetFormat(const BYTE* format, ULONG length);

    // The header of a FORMAT_VideoInfo block that is long enough to hold one, else null.
    const VIDEOINFOHEADER* VideoInfo() const;
};
