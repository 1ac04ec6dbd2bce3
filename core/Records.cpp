#include "core/Records.h"

#include <cstring>

bool IsTeacherRole(uint8_t role) { return role == eRole_Teacher || role == eRole_Host; }

bool IsSpeakingRole(uint8_t role)
{
    return role == eRole_SpeakerVoice || role == eRole_SpeakerVideo || role == eRole_SpeakerVideoAlt;
}

bool IsStudentRole(uint8_t role)
{
    return role == eRole_Student || role == eRole_SpeakerVoice || (role >= eRole_StudentAlt && role <= eRole_SpeakerVideoAlt);
}

int GetCastmixRole(uint8_t role)
{
    switch (role) {
    case eRole_Student:
    case eRole_StudentAlt: return 4;
    case eRole_SpeakerVoice:
    case eRole_SpeakerVideo:
    case eRole_SpeakerVideoAlt: return 3;
    case eRole_Teacher:
    case eRole_Host: return 2;
    default: return 0;
    }
}

bool AudioProcessingSettingsEqual(const AudioProcessingSettings& a, const AudioProcessingSettings& b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

void ParamList::Clear()
{
    pageCount = 0;
    currentPage = 0;
    values.clear();
}

void* WndMsgPayload::CopyData(int32_t kind, const void* data)
{
    if (!data) return nullptr;
    switch (kind) {
    case ePanel_Camera: return new int32_t(*static_cast<const int32_t*>(data));
    case ePanel_Document: return new DocPageList(*static_cast<const DocPageList*>(data));
    case ePanel_Whiteboard: return new uint16_t(*static_cast<const uint16_t*>(data));
    default: return nullptr;
    }
}

void WndMsgPayload::FreeData(int32_t kind, void* data)
{
    switch (kind) {
    case ePanel_Camera: delete static_cast<int32_t*>(data); break;
    case ePanel_Document: delete static_cast<DocPageList*>(data); break;
    case ePanel_Whiteboard: delete static_cast<uint16_t*>(data); break;
    default: break;
    }
}

WndMsgPayload::WndMsgPayload(const WndMsgPayload& other)
    : source(other.source), kind(other.kind), data(CopyData(other.kind, other.data))
{
}

WndMsgPayload& WndMsgPayload::operator=(const WndMsgPayload& other)
{
    // Copy before freeing, so assigning a payload to itself keeps its data.
    void* copy = CopyData(other.kind, other.data);
    FreeData(kind, data);
    source = other.source;
    kind = other.kind;
    data = copy;
    return *this;
}

void WndMsgPayload::Reset()
{
    FreeData(kind, data);
    data = nullptr;
    source = nullptr;
    kind = ePanel_None;
}

void WndMsgPayload::SetCamera(HWND from, int32_t cameraIndex)
{
    Reset();
    source = from;
    kind = ePanel_Camera;
    data = new int32_t(cameraIndex);
}

void WndMsgPayload::SetDocument(HWND from, const DocPageList& pages)
{
    Reset();
    source = from;
    kind = ePanel_Document;
    data = new DocPageList(pages);
}

void WndMsgPayload::SetWhiteboard(HWND from, uint16_t page)
{
    Reset();
    source = from;
    kind = ePanel_Whiteboard;
    data = new uint16_t(page);
}

void WndMsgPayload::SetScreenShare(HWND from)
{
    Reset();
    source = from;
    kind = ePanel_ScreenShare;
}

FileItemRecord::~FileItemRecord()
{
    name.Empty();
    text1.Empty();
    text2.Empty();
    pages.Clear();
    fileId = value = 0;
    flag = 0;
    extra = 0;
}
