// A recording stand-in for the media engine: every call with its arguments, scripted answers, and a
// flag for calls that reach it with a null or closed handle.
#pragma once
#include "platform/castmix/Castmix.h"
#include <functional>
#include <map>
#include <string>
#include <vector>

struct CastmixCall {
    std::string name;
    std::vector<long long> args; // integers and window handles, in call order
    _RecParam rec{};             // for StartRec
    _AudioProcessParam audio{};  // for SetAudioProcess
};

class CastmixDouble {
public:
    static CastmixDouble& Instance();
    void Reset();

    std::vector<CastmixCall> calls;
    std::map<std::string, long> results; // answer per operation name; 0 when not scripted
    bool createFails = false;
    int badHandleCalls = 0;
    int cameras = 1;
    int capDevices = 1;
    int playDevices = 1;
    // Runs inside VideoShowPropertyPage, while the engine's page would be open (the call returns
    // only when the user closes it).
    std::function<void()> whilePropertyPageOpen;

    std::vector<std::string> Names() const;
    const CastmixCall* Last(const std::string& name) const;
    size_t CountOf(const std::string& name) const;

    long Record(CASTMIX_HANDLE handle, const char* name, std::vector<long long> args);
    CASTMIX_HANDLE NewHandle();
    void CloseHandle(CASTMIX_HANDLE handle);

private:
    std::vector<CASTMIX_HANDLE> m_open;
    int m_nextHandle = 0x1000;
};
