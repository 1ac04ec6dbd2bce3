// A one-request-at-a-time HTTP server on 127.0.0.1 with a scripted answer, for the download tests.
#pragma once
#include <winsock2.h>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class FakeHttpServer {
public:
    FakeHttpServer();
    ~FakeHttpServer();

    uint16_t Port() const { return m_port; }
    // What the next connections get: raw bytes, then the connection is closed (or held open when hold).
    void Answer(const std::string& bytes, bool hold = false);
    std::string LastRequest();
    int Requests() const { return m_requests; }

    static std::string Ok(const std::string& body);

private:
    void Serve();

    SOCKET m_listener = INVALID_SOCKET;
    std::atomic<SOCKET> m_client{INVALID_SOCKET};
    uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::string m_answer;
    bool m_hold = false;
    std::string m_lastRequest;
    std::atomic<int> m_requests{0};
};
