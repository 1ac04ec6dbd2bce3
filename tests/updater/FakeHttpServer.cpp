#include "tests/updater/FakeHttpServer.h"

#include <vector>

FakeHttpServer::FakeHttpServer()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
    listen(m_listener, 4);
    m_thread = std::thread([this] { Serve(); });
}

FakeHttpServer::~FakeHttpServer()
{
    m_stop = true;
    closesocket(m_listener);
    SOCKET client = m_client.exchange(INVALID_SOCKET);
    if (client != INVALID_SOCKET) closesocket(client); // a held connection must not keep the thread
    m_thread.join();
    WSACleanup();
}

void FakeHttpServer::Answer(const std::string& bytes, bool hold)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_answer = bytes;
    m_hold = hold;
}

std::string FakeHttpServer::LastRequest()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lastRequest;
}

std::string FakeHttpServer::Ok(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

void FakeHttpServer::Serve()
{
    while (!m_stop) {
        SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        m_client = client;
        std::string request;
        char c;
        while (request.size() < 65536 && recv(client, &c, 1, 0) == 1) {
            request += c;
            if (request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0) break;
        }
        std::string answer;
        bool hold;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_lastRequest = request;
            answer = m_answer;
            hold = m_hold;
        }
        ++m_requests;
        for (size_t sent = 0; sent < answer.size();) {
            int n = send(client, answer.data() + sent, static_cast<int>(std::min<size_t>(answer.size() - sent, 65536)), 0);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        if (hold) {
            while (!m_stop && recv(client, &c, 1, 0) > 0) {
            }
        }
        if (m_client.exchange(INVALID_SOCKET) == client) {
            shutdown(client, SD_BOTH);
            closesocket(client);
        }
    }
}
