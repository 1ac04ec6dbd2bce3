// Loopback throughput of the relay upload and download beside a plain Winsock copy of the same file,
// and of the paced peer transfer without and with loss. Run by hand: filetransfer_bench [megabytes].
#include "core/Folders.h"
#include "filetransfer/TcpFileRcver.h"
#include "filetransfer/TcpFileSender.h"
#include "filetransfer/UdpFileTrans.h"
#include "tests/fakes/relay/FakeRelay.h"

#include <windows.h>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

namespace {

const UINT kRecordMessage = WM_USER + 60;

struct Folder {
    CString path;
    Folder()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path.Format(L"%slvbench_%lu\\", temp, GetCurrentProcessId());
        CreateDirectoryW(path, nullptr);
    }
    ~Folder()
    {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW(path + L"*", &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(path + found.cFileName);
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(path);
    }
};

std::string RandomBytes(size_t n)
{
    std::string bytes(n, '\0');
    std::mt19937 random(7);
    for (size_t i = 0; i + 4 <= n; i += 4) {
        uint32_t v = random();
        memcpy(&bytes[i], &v, 4);
    }
    return bytes;
}

bool WriteAll(const CString& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

// A message-only window that remembers whether a final record arrived, and hands records back.
struct RecordWindow {
    HWND window = nullptr;
    CxFileTransBase* owner = nullptr;
    uint16_t finalState = 0;

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<RecordWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == kRecordMessage) {
            auto* record = reinterpret_cast<FileTransStatus*>(lParam);
            if (record->state != FTS_PROGRESS && record->state != FTS_REFUSED && !self->finalState)
                self->finalState = record->state;
            if (self->owner) self->owner->FreeStatus(record);
            CxFileTransBase::FreeOrphanStatus(record);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    RecordWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"LumenvaleTransferBench";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~RecordWindow() { DestroyWindow(window); }
    bool WaitFinal(DWORD timeoutMs)
    {
        DWORD start = GetTickCount();
        while (!finalState && GetTickCount() - start < timeoutMs) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        return finalState != 0;
    }
};

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

// Reads the file and sends it over one loopback connection; the other end writes it to a file.
double PlainCopy(const CString& source, const CString& target, size_t size)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at);
    listen(listener, 1);
    int length = sizeof at;
    getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length);
    LARGE_INTEGER start = Now();
    std::thread receiver([&] {
        SOCKET s = accept(listener, nullptr, nullptr);
        HANDLE out = CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        std::string buffer(64 * 1024, '\0');
        size_t got = 0;
        while (got < size) {
            int n = recv(s, &buffer[0], static_cast<int>(buffer.size()), 0);
            if (n <= 0) break;
            DWORD written = 0;
            WriteFile(out, buffer.data(), static_cast<DWORD>(n), &written, nullptr);
            got += static_cast<size_t>(n);
        }
        CloseHandle(out);
        closesocket(s);
    });
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    HANDLE in = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string buffer(64 * 1024, '\0');
    DWORD read = 0;
    while (ReadFile(in, &buffer[0], static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
        for (DWORD sent = 0; sent < read;) {
            int n = send(s, buffer.data() + sent, static_cast<int>(read - sent), 0);
            if (n <= 0) break;
            sent += static_cast<DWORD>(n);
        }
    }
    CloseHandle(in);
    shutdown(s, SD_SEND);
    receiver.join();
    closesocket(s);
    closesocket(listener);
    return Seconds(start, Now());
}

double RelayUpload(FakeRelay& relay, const CString& source, bool* ok)
{
    RecordWindow window;
    CxTCPFileSender sender;
    window.owner = &sender;
    sender.Init(window.window, kRecordMessage);
    LARGE_INTEGER start = Now();
    *ok = sender.Start(INVALID_SOCKET, relay.Address(), relay.Port()) == 1 && sender.SendFile(source, FileTransInfo()) >= 0 &&
          window.WaitFinal(600000) && window.finalState == FTS_SEND_DONE;
    double seconds = Seconds(start, Now());
    sender.Stop();
    return seconds;
}

double RelayDownload(FakeRelay& relay, const CString& folder, uint64_t id, size_t size, bool* ok)
{
    RecordWindow window;
    CxTCPFileRcver receiver;
    window.owner = &receiver;
    receiver.Init(window.window, kRecordMessage);
    receiver.SetParams(INVALID_SOCKET, relay.Address(), relay.Port(), folder);
    FileTransInfo info = {};
    info.transferId = id;
    info.fileSize = size;
    LARGE_INTEGER start = Now();
    *ok = receiver.StartRecv(info) == 1 && window.WaitFinal(600000) && window.finalState == FTS_RECV_DONE;
    double seconds = Seconds(start, Now());
    receiver.Stop();
    return seconds;
}

double PeerTransfer(const CString& source, const CString& folder, size_t size, int dropEvery, bool* ok)
{
    EnsureWinsock();
    SOCKET receiverSocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(receiverSocket, reinterpret_cast<sockaddr*>(&at), sizeof at);
    int length = sizeof at;
    getsockname(receiverSocket, reinterpret_cast<sockaddr*>(&at), &length);
    LossyKnobs knobs;
    knobs.dropEvery = dropEvery;
    knobs.dropReturn = dropEvery != 0;
    LossyUdpProxy proxy(ntohs(at.sin_port), knobs);
    RecordWindow sent, received;
    CxUDPP2PFileRcver receiver;
    CxUDPP2PFileTrans sender;
    sent.owner = &sender;
    received.owner = &receiver;
    receiver.Init(received.window, kRecordMessage);
    sender.Init(sent.window, kRecordMessage);
    FileTransInfo info = {};
    info.fileSize = size;
    strcpy(info.fileName, "peer.bin");
    LARGE_INTEGER start = Now();
    receiver.SetParams(receiverSocket, inet_addr("127.0.0.1"), proxy.ReceiverSidePort(), folder);
    *ok = receiver.StartRecv(info) == 1 && sender.Start(INVALID_SOCKET, inet_addr("127.0.0.1"), proxy.Port()) == 1 &&
          sender.SendFile(source, FileTransInfo()) >= 0 && received.WaitFinal(600000) && sent.WaitFinal(60000) &&
          received.finalState == FTS_RECV_DONE;
    double seconds = Seconds(start, Now());
    sender.Stop();
    receiver.Stop();
    DeleteFileW(folder + L"peer.bin");
    return seconds;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    size_t megabytes = argc > 1 ? static_cast<size_t>(_wtoi(argv[1])) : 100;
    if (megabytes == 0) megabytes = 100;
    size_t size = megabytes * 1024 * 1024;
    Folder folder;
    SetAppDataFolderOverride(folder.path + L"data\\");
    EnsureWinsock();
    std::string bytes = RandomBytes(size);
    CString source = folder.path + L"source.bin";
    if (!WriteAll(source, bytes)) {
        printf("cannot write the source file\n");
        return 1;
    }
    double mb = static_cast<double>(size) / (1024.0 * 1024.0);

    double plain = PlainCopy(source, folder.path + L"plain.bin", size);
    DeleteFileW(folder.path + L"plain.bin");
    FakeRelay relay;
    bool upOk = false, downOk = false;
    double up = RelayUpload(relay, source, &upOk);
    relay.AddFile(4242, bytes);
    double down = RelayDownload(relay, folder.path, 4242, size, &downOk);
    DeleteFileW(folder.path + L"4242");
    printf("plain loopback copy   %8.1f MB/s\n", mb / plain);
    printf("relay upload          %8.1f MB/s  ratio %.2f%s\n", mb / up, plain / up, upOk ? "" : "  (FAILED)");
    printf("relay download        %8.1f MB/s  ratio %.2f%s\n", mb / down, plain / down, downOk ? "" : "  (FAILED)");

    // Peer transfers are paced (one block per tick), so they use a smaller file, paced as on a private
    // network where blocks are 48 KiB every 5 ms.
    FileTransTimings::Defaults().udpLoopbackIsPrivate = true;
    size_t peerSize = size < 20u * 1024 * 1024 ? size : 20u * 1024 * 1024;
    double peerMb = static_cast<double>(peerSize) / (1024.0 * 1024.0);
    CString peerSource = folder.path + L"peer_source.bin";
    WriteAll(peerSource, bytes.substr(0, peerSize));
    bool cleanOk = false, lossyOk = false;
    double clean = PeerTransfer(peerSource, folder.path, peerSize, 0, &cleanOk);
    double lossy = PeerTransfer(peerSource, folder.path, peerSize, 20, &lossyOk);
    printf("peer, 0 %% loss        %8.1f MB/s%s\n", peerMb / clean, cleanOk ? "" : "  (FAILED)");
    printf("peer, 5 %% loss        %8.1f MB/s  ratio to 0 %% %.2f%s\n", peerMb / lossy, clean / lossy,
           lossyOk ? "" : "  (FAILED)");
    printf("aim: relay ratios at least 0.80\n");
    return upOk && downOk && cleanOk && lossyOk ? 0 : 2;
}
