#include "platform/afx/AfxFile.h"

BOOL CFile::Open(const wchar_t* path, UINT flags)
{
    Close();
    if (!path) return FALSE;
    DWORD access = GENERIC_READ;
    if ((flags & 3) == modeWrite) access = GENERIC_WRITE;
    if ((flags & 3) == modeReadWrite) access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    switch (flags & 0x70) {
    case shareExclusive: share = 0; break;
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    default: break;
    }
    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate) disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    m_handle = CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE) return FALSE;
    m_path = path;
    return TRUE;
}

void CFile::Close()
{
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}

UINT CFile::Read(void* buffer, UINT count)
{
    DWORD got = 0;
    if (!IsOpen() || !ReadFile(m_handle, buffer, count, &got, nullptr)) return 0;
    return got;
}

BOOL CFile::Write(const void* buffer, UINT count)
{
    DWORD put = 0;
    return IsOpen() && WriteFile(m_handle, buffer, count, &put, nullptr) && put == count;
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from)
{
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    result.QuadPart = 0;
    if (!IsOpen() || !SetFilePointerEx(m_handle, distance, &result, from)) return static_cast<ULONGLONG>(-1);
    return static_cast<ULONGLONG>(result.QuadPart);
}

ULONGLONG CFile::GetLength() const
{
    LARGE_INTEGER size;
    if (!IsOpen() || !GetFileSizeEx(m_handle, &size)) return 0;
    return static_cast<ULONGLONG>(size.QuadPart);
}

ULONGLONG CFile::GetPosition() const
{
    LARGE_INTEGER zero, result;
    zero.QuadPart = 0;
    if (!IsOpen() || !SetFilePointerEx(m_handle, zero, &result, FILE_CURRENT)) return 0;
    return static_cast<ULONGLONG>(result.QuadPart);
}

BOOL CFile::SetLength(ULONGLONG length)
{
    ULONGLONG position = GetPosition();
    if (Seek(static_cast<LONGLONG>(length), begin) != length) return FALSE;
    BOOL ok = SetEndOfFile(m_handle);
    Seek(static_cast<LONGLONG>(position < length ? position : length), begin);
    return ok;
}

void CFile::Flush()
{
    if (IsOpen()) FlushFileBuffers(m_handle);
}

CStringList::CStringList(const CStringList& other)
{
    for (Node* n = other.m_head; n; n = n->next) AddTail(n->value);
}

CStringList& CStringList::operator=(const CStringList& other)
{
    if (this == &other) return *this;
    CStringList copy(other);
    std::swap(m_head, copy.m_head);
    std::swap(m_tail, copy.m_tail);
    std::swap(m_count, copy.m_count);
    return *this;
}

POSITION CStringList::AddHead(const CString& value)
{
    Node* node = new Node{value, nullptr, m_head};
    if (m_head) m_head->prev = node; else m_tail = node;
    m_head = node;
    ++m_count;
    return reinterpret_cast<POSITION>(node);
}

POSITION CStringList::AddTail(const CString& value)
{
    Node* node = new Node{value, m_tail, nullptr};
    if (m_tail) m_tail->next = node; else m_head = node;
    m_tail = node;
    ++m_count;
    return reinterpret_cast<POSITION>(node);
}

CString CStringList::RemoveHead()
{
    CString value = m_head->value;
    RemoveAt(GetHeadPosition());
    return value;
}

CString CStringList::RemoveTail()
{
    CString value = m_tail->value;
    RemoveAt(GetTailPosition());
    return value;
}

void CStringList::RemoveAll()
{
    while (m_head) {
        Node* next = m_head->next;
        delete m_head;
        m_head = next;
    }
    m_tail = nullptr;
    m_count = 0;
}

void CStringList::RemoveAt(POSITION position)
{
    Node* node = reinterpret_cast<Node*>(position);
    if (!node) return;
    if (node->prev) node->prev->next = node->next; else m_head = node->next;
    if (node->next) node->next->prev = node->prev; else m_tail = node->prev;
    delete node;
    --m_count;
}

CString& CStringList::GetNext(POSITION& position)
{
    Node* node = reinterpret_cast<Node*>(position);
    position = reinterpret_cast<POSITION>(node->next);
    return node->value;
}

CString& CStringList::GetPrev(POSITION& position)
{
    Node* node = reinterpret_cast<Node*>(position);
    position = reinterpret_cast<POSITION>(node->prev);
    return node->value;
}

POSITION CStringList::Find(const wchar_t* value, POSITION startAfter) const
{
    Node* node = startAfter ? reinterpret_cast<Node*>(startAfter)->next : m_head;
    for (; node; node = node->next) {
        if (node->value == value) return reinterpret_cast<POSITION>(node);
    }
    return nullptr;
}

POSITION CStringList::FindIndex(int index) const
{
    if (index < 0 || index >= m_count) return nullptr;
    Node* node = m_head;
    while (index-- > 0) node = node->next;
    return reinterpret_cast<POSITION>(node);
}
