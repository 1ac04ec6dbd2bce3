// CFile and CStringList: the file and list classes of the framework, without exceptions.
#pragma once
#include <windows.h>
#include "platform/afx/AfxString.h"
#include <list>

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000, modeWrite = 0x0001, modeReadWrite = 0x0002,
        shareCompat = 0x0000, shareExclusive = 0x0010, shareDenyWrite = 0x0020, shareDenyRead = 0x0030,
        shareDenyNone = 0x0040, modeNoInherit = 0x0080, modeCreate = 0x1000, modeNoTruncate = 0x2000,
        typeText = 0x4000, typeBinary = 0x8000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    BOOL Open(const wchar_t* path, UINT flags);
    void Close();
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    UINT Read(void* buffer, UINT count);
    BOOL Write(const void* buffer, UINT count);
    ULONGLONG Seek(LONGLONG offset, UINT from);
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    ULONGLONG GetLength() const;
    ULONGLONG GetPosition() const;
    BOOL SetLength(ULONGLONG length);
    void Flush();
    HANDLE Handle() const { return m_handle; }
    const CString& GetFilePath() const { return m_path; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    CString m_path;
};

typedef struct __POSITION {}* POSITION;

// A doubly linked list of strings; a POSITION is a node and stays valid until that node is removed.
class CStringList {
public:
    CStringList() = default;
    ~CStringList() { RemoveAll(); }
    CStringList(const CStringList& other);
    CStringList& operator=(const CStringList& other);

    POSITION AddHead(const CString& value);
    POSITION AddTail(const CString& value);
    CString& GetHead() { return m_head->value; }
    CString& GetTail() { return m_tail->value; }
    CString RemoveHead();
    CString RemoveTail();
    void RemoveAll();
    void RemoveAt(POSITION position);
    int GetCount() const { return m_count; }
    int GetSize() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    POSITION GetHeadPosition() const { return reinterpret_cast<POSITION>(m_head); }
    POSITION GetTailPosition() const { return reinterpret_cast<POSITION>(m_tail); }
    // Returns the element at position and moves position to the next one (null after the last).
    CString& GetNext(POSITION& position);
    CString& GetPrev(POSITION& position);
    CString& GetAt(POSITION position) { return reinterpret_cast<Node*>(position)->value; }
    POSITION Find(const wchar_t* value, POSITION startAfter = nullptr) const;
    POSITION FindIndex(int index) const;

private:
    struct Node {
        CString value;
        Node* prev = nullptr;
        Node* next = nullptr;
    };
    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    int m_count = 0;
};
