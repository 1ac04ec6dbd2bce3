#include "core/SessionContext.h"

#include "core/Base64.h"
#include "core/Folders.h"
#include "core/Logger.h"
#include "core/TextUtil.h"

#include <winsock2.h>
#include <atomic>
#include <cwchar>
#include <mutex>
#include <new>
#include <vector>

namespace {
std::atomic<SessionContext*> g_instance{nullptr};
std::mutex g_creation;
SessionContext::PenStore g_penStore = nullptr;
const wchar_t kScheme[] = L"Lumenvalep://";
}

const wchar_t* const SessionContext::kLaunchKeys[16] = {
    L"roomid", L"roomname", L"roomdesp", L"maxattend", L"maxaud", L"starttime", L"dur", L"teacher",
    L"userid", L"username", L"roletype", L"sex", L"quality", L"serverip", L"serverport", L"screenname",
};

SessionContext* SessionContext::Instance()
{
    SessionContext* session = g_instance.load();
    if (session) return session;
    std::lock_guard<std::mutex> hold(g_creation);
    session = g_instance.load();
    if (!session) {
        session = new (std::nothrow) SessionContext;
        if (session) session->LoadConfig();
        g_instance = session;
    }
    return session;
}

SessionContext* SessionContext::Existing() { return g_instance.load(); }

void SessionContext::Destroy()
{
    std::lock_guard<std::mutex> hold(g_creation);
    SessionContext* session = g_instance.exchange(nullptr);
    if (!session) return;
    // Deliberately never deleted: a thread that read the pointer before this line still uses it.
    session->mainWindow = nullptr;
    session->rosterControl = nullptr;
}

SessionContext::SessionContext()
{
    InitializeCriticalSection(&m_sequenceLock);
    room.roomId = 20141129;
    room.roomName = L"Lumenvale test room";
    room.duration = L"999";
    room.teacherName = L"Teacher";
    // Development defaults: a gateway on this machine, as the demo room of scripts/run provides.
    gatewayHost = L"127.0.0.1";
    secondGatewayHost = L"127.0.0.1";
    applyTime = GetTickCount();
    configuredStreamServer.kind = eServer_Stream;
    languageTable = new LanguageTable(0);
    startRole = role;
}

SessionContext::~SessionContext()
{
    delete languageTable;
    languageTable = nullptr;
    mainWindow = nullptr;
    rosterControl = nullptr;
    DeleteCriticalSection(&m_sequenceLock);
}

void SessionContext::LoadConfig()
{
    LoadConfig(GetModuleFolder() + L"Lumenvale" + L".ini");
}

static CString ReadIniText(const wchar_t* path, const wchar_t* section, const wchar_t* key)
{
    wchar_t value[256] = {};
    GetPrivateProfileStringW(section, key, L"", value, 256, path);
    return value;
}

static int ReadIniInt(const wchar_t* path, const wchar_t* section, const wchar_t* key)
{
    CString text = ReadIniText(path, section, key);
    return text.IsEmpty() ? -1 : _wtoi(text);
}

void SessionContext::LoadConfig(const CString& path)
{
    if (!FileExists(path)) {
        LOG_ERROR(L"Load INI file failed. the file did not existed.");
        return;
    }
    gatewayHost = ReadIniText(path, L"gateway", L"ip");
    gatewayPort = ReadIniInt(path, L"gateway", L"port");
    bitrate = ReadIniInt(path, L"bitrate", L"kbps");
    CString second = ReadIniText(path, L"gateway", L"ip2");
    if (!second.IsEmpty()) secondGatewayHost = second;

    int language = ReadIniInt(path, L"language", L"type");
    if (language != -1 && languageTable && language != languageTable->GetType()) {
        languageTable->SetType(language);
        languageTable->Load();
    }

    wchar_t keys[90] = {};
    if (GetPrivateProfileStringW(L"StreamServer", nullptr, L"", keys, 90, path) > 0) {
        int id = ReadIniInt(path, L"StreamServer", L"id");
        CString ip = ReadIniText(path, L"StreamServer", L"ip");
        int port = ReadIniInt(path, L"StreamServer", L"port");
        if (id > 0 && !ip.IsEmpty() && port > 0) {
            configuredStreamServer.id = static_cast<uint16_t>(id);
            configuredStreamServer.address = inet_addr(WideToAnsi(ip).c_str());
            configuredStreamServer.port = static_cast<uint16_t>(port);
        }
    }
}

ServerNode SessionContext::GetStreamServer() const
{
    if (configuredStreamServer.address != 0 && configuredStreamServer.port != 0) return configuredStreamServer;
    return streamServer;
}

uint32_t SessionContext::NextSequence()
{
    EnterCriticalSection(&m_sequenceLock);
    uint32_t value = ++m_sequence;
    LeaveCriticalSection(&m_sequenceLock);
    return value;
}

void SessionContext::SetPenStore(PenStore store) { g_penStore = store; }

void SessionContext::SetPenSettings(uint32_t colour, int32_t style, int32_t width, int32_t orderKey)
{
    if (colour == penColour && style == penStyle && width == penWidth && orderKey == penOrderKey) return;
    penColour = colour;
    penStyle = style;
    penWidth = width;
    penOrderKey = orderKey;
    if (g_penStore) g_penStore(colour, style, width, orderKey);
}

UserRecord SessionContext::LocalUser() const
{
    UserRecord user;
    user.sex = userSex;
    user.serverId = userServerId;
    user.userId = userId;
    user.userName = userName;
    user.nickName = screenName;
    user.role = role;
    user.applyTime = applyTime;
    return user;
}

static bool StartsWithKey(const CString& piece)
{
    for (const wchar_t* key : SessionContext::kLaunchKeys) {
        if (wcsncmp(piece, key, wcslen(key)) == 0) return true;
    }
    return false;
}

int SessionContext::ParseLaunchUrl()
{
    if (commandLine.IsEmpty()) return 1;

    CString lowered(commandLine), scheme(kScheme);
    lowered.MakeLower();
    scheme.MakeLower();
    CString encoded = commandLine;
    int at = lowered.Find(scheme);
    if (at >= 0) {
        if (at + scheme.GetLength() > commandLine.GetLength()) return 2;
        encoded = commandLine.Mid(at + scheme.GetLength());
    }

    CString decoded = Base64DecodeWide(encoded);
    if (!decoded.IsEmpty() && decoded[decoded.GetLength() - 1] == L'/') decoded = decoded.Left(decoded.GetLength() - 1);

    std::vector<CString> pieces;
    for (int start = 0;;) {
        int amp = decoded.Find(L'&', start);
        if (amp < 0) {
            pieces.push_back(decoded.Mid(start));
            break;
        }
        pieces.push_back(decoded.Mid(start, amp - start));
        start = amp + 1;
    }

    std::vector<CString> items;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const CString& piece = pieces[i];
        if (StartsWithKey(piece)) {
            items.push_back(piece);
            continue;
        }
        // A value that itself holds '&' arrives as several pieces; glue them back on.
        bool last = i + 1 == pieces.size();
        if (items.size() == 15 || !last) {
            if (!items.empty() && !items.back().IsEmpty()) items.back() += CString(L"&") + piece;
            // With no previous item there is nothing to continue: the piece is dropped.
        } else {
            LOG_ERROR(L"参数个数不对，可能参数未加密或浏览器兼容问题，无法正确解析");
            return 3;
        }
    }

    for (const CString& item : items) {
        int equals = item.Find(L'=');
        if (equals < 0) continue;
        CString key = item.Left(equals), value = item.Mid(equals + 1);
        key.Trim();
        value.Trim();
        ApplyLaunchItem(key, value);
    }
    if (userName.IsEmpty()) userName = screenName;
    return 0;
}

static uint32_t ToU32(const CString& text) { return static_cast<uint32_t>(wcstoul(text, nullptr, 10)); }

void SessionContext::ApplyLaunchItem(const CString& key, const CString& value)
{
    if (key.CompareNoCase(L"roomid") == 0) room.roomId = ToU32(value);
    else if (key.CompareNoCase(L"roomname") == 0) room.roomName = value;
    else if (key.CompareNoCase(L"roomdesp") == 0) room.description = value;
    else if (key.CompareNoCase(L"maxattend") == 0) room.maxAttendees = static_cast<uint16_t>(ToU32(value));
    else if (key.CompareNoCase(L"maxaud") == 0) room.maxAudience = static_cast<uint16_t>(ToU32(value));
    else if (key.CompareNoCase(L"starttime") == 0) room.startTime = value;
    else if (key.CompareNoCase(L"dur") == 0) room.duration = value;
    else if (key.CompareNoCase(L"teacher") == 0) room.teacherName = value;
    else if (key.CompareNoCase(L"userid") == 0) userId = ToU32(value);
    else if (key.CompareNoCase(L"username") == 0) userName = value;
    else if (key.CompareNoCase(L"roletype") == 0) {
        int type = _wtoi(value);
        if (type == 1) role = eRole_Host;
        else if (type == 2) role = eRole_Teacher;
        else if (type == 4) role = eRole_Student;
    }
    else if (key.CompareNoCase(L"sex") == 0) userSex = _wtoi(value);
    else if (key.CompareNoCase(L"quality") == 0) room.quality = ToU32(value);
    else if (key.CompareNoCase(L"serverip") == 0) gatewayHost = value;
    else if (key.CompareNoCase(L"serverport") == 0) gatewayPort = _wtoi(value);
    else if (key.CompareNoCase(L"screenname") == 0) screenName = value;
}

CString LangText(int id, const wchar_t* english)
{
    SessionContext* session = SessionContext::Existing();
    if (!session || !session->languageTable || !session->languageTable->IsLoaded()) return english ? english : L"";
    return session->languageTable->GetString(id);
}

bool FillLanguageSlot(CString& text, const CString& value)
{
    int slot = text.Find(L"%s");
    if (slot < 0) return false;
    text = text.Left(slot) + value + text.Mid(slot + 2);
    return true;
}

bool HasLanguageTable()
{
    SessionContext* session = SessionContext::Existing();
    return session && session->languageTable && session->languageTable->IsLoaded();
}
