// What a test program needs around the synthetic devices: COM on its thread with the devices
// registered in this prefix, and the GDI video renderer in place of Wine's mixing renderers.
#pragma once
#include <windows.h>

// Initialises a single-threaded apartment and makes sure the synthetic devices are registered.
class ComScope {
public:
    ComScope();
    ~ComScope();
    bool Ok() const { return m_ok; }
private:
    bool m_ok = false;
};

// Registers the synthetic cameras and microphone once per process (DllRegisterServer of SynthCamera.dll).
HRESULT RegisterSynthDevices();

// Wine's mixing renderers present through OpenGL into an offscreen drawable that no screen read can
// see; while this object lives, creating them (by class or by the graph's intelligent connect)
// yields the GDI video renderer instead, whose pixels can be read back.
class ScopedGdiRenderers {
public:
    ScopedGdiRenderers();
    ~ScopedGdiRenderers();
    bool Ok() const { return m_ok; }
private:
    bool m_ok = true;
};

// Pumps this thread's messages for a while.
void Pump(DWORD ms);
