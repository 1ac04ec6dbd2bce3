#include "slides/SlidePackage.h"

#include "core/Folders.h"
#include "core/Logger.h"
#include "core/TextUtil.h"
#include "platform/afx/AfxFile.h"
#include "slides/ConvertTypes.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace SlidePackage {

namespace {

// Large enough that copying costs no more than a plain file copy.
const UINT kCopyChunk = 64 * 1024;
const int32_t kMaxLoggedName = 1024;

void PutI32(unsigned char* at, int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
    at[2] = static_cast<unsigned char>(v >> 16);
    at[3] = static_cast<unsigned char>(v >> 24);
}

void PutI16(unsigned char* at, int16_t value)
{
    uint16_t v = static_cast<uint16_t>(value);
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
}

int32_t GetI32(const unsigned char* at)
{
    return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                                static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24);
}

int16_t GetI16(const unsigned char* at)
{
    return static_cast<int16_t>(static_cast<uint16_t>(at[0] | at[1] << 8));
}

// Reads exactly count bytes at the current position, or reports a short read.
bool ReadExact(CFile& file, void* buffer, UINT count)
{
    UINT got = file.Read(buffer, count);
    return got == count;
}

// Copies count bytes from the current position of one file to another; false on a short read or write.
bool CopyBytes(CFile& from, CFile& to, uint64_t count, std::vector<char>& buffer, bool* readFailed)
{
    *readFailed = false;
    while (count > 0) {
        UINT chunk = count < buffer.size() ? static_cast<UINT>(count) : static_cast<UINT>(buffer.size());
        if (!ReadExact(from, buffer.data(), chunk)) {
            *readFailed = true;
            return false;
        }
        if (!to.Write(buffer.data(), chunk)) return false;
        count -= chunk;
    }
    return true;
}

// One record as found by the layout check: where its JPEG starts, how long it is, which page.
struct RecordSpan {
    uint64_t imageOffset;
    uint32_t imageSize;
    int page;
};

void LogDamage(const CString& path, const wchar_t* what, int record, uint64_t offset)
{
    Logger::Instance().Write(L"pptmgr: Err, damaged package %s, %s, record %d at offset %I64u.",
                             path.GetString(), what, record, offset);
}

// Walks header and records without writing anything; false (logged) when the package is damaged.
bool ReadLayout(CFile& file, const CString& path, Layout* layout, std::vector<RecordSpan>* records)
{
    const uint64_t size = file.GetLength();
    unsigned char head[kHeaderFixedSize];
    if (size < kHeaderFixedSize || !ReadExact(file, head, 4)) {
        LogDamage(path, L"no header", 0, 0);
        return false;
    }
    const int32_t headerLength = GetI32(head);
    if (headerLength < kHeaderFixedSize || static_cast<uint64_t>(headerLength) > size) {
        LogDamage(path, L"header length out of range", 0, 0);
        return false;
    }
    unsigned char countField[2];
    if (!ReadExact(file, countField, 2)) {
        LogDamage(path, L"short header", 0, 4);
        return false;
    }
    const int16_t pageCount = GetI16(countField);
    // The name only goes to the log: a bounded piece of it is enough, however long the header claims.
    std::string name(static_cast<size_t>(std::min<int32_t>(headerLength - kHeaderFixedSize, kMaxLoggedName)), '\0');
    if (!name.empty() && !ReadExact(file, &name[0], static_cast<UINT>(name.size()))) {
        LogDamage(path, L"short header", 0, kHeaderFixedSize);
        return false;
    }
    layout->pageCount = pageCount;
    layout->baseName = AnsiToWide(name.c_str());
    // Every record takes at least its 6-byte head, which bounds a believable page count.
    if (pageCount < 0 || static_cast<uint64_t>(pageCount) * kRecordHeadSize > size - headerLength) {
        LogDamage(path, L"page count out of range", 0, 4);
        return false;
    }

    std::vector<bool> seen(static_cast<size_t>(pageCount) + 1, false);
    uint64_t offset = static_cast<uint64_t>(headerLength);
    for (int k = 1; k <= pageCount; ++k) {
        unsigned char recordHead[kRecordHeadSize];
        if (size - offset < kRecordHeadSize ||
            file.Seek(static_cast<LONGLONG>(offset), CFile::begin) != offset ||
            !ReadExact(file, recordHead, kRecordHeadSize)) {
            LogDamage(path, L"record head missing", k, offset);
            return false;
        }
        const int32_t length = GetI32(recordHead);
        const int page = GetI16(recordHead + 4);
        if (length < kRecordHeadSize || static_cast<uint64_t>(length) > size - offset) {
            LogDamage(path, L"record length out of range", k, offset);
            return false;
        }
        if (page < 1 || page > pageCount || seen[static_cast<size_t>(page)]) {
            LogDamage(path, L"page number out of range or repeated", k, offset);
            return false;
        }
        seen[static_cast<size_t>(page)] = true;
        records->push_back({offset + kRecordHeadSize, static_cast<uint32_t>(length - kRecordHeadSize), page});
        offset += static_cast<uint64_t>(length);
    }
    // The writer ends the file with the last record; anything after it means a length was altered.
    if (offset != size) {
        LogDamage(path, L"bytes after the last record", pageCount, offset);
        return false;
    }
    return true;
}

void DeleteIfPresent(const CString& path)
{
    if (!DeleteFileW(path) && GetLastError() != ERROR_FILE_NOT_FOUND)
        Logger::Instance().Write(L"httpfileex: Err, remove file = %s ,error = %d", path.GetString(),
                                 static_cast<int>(GetLastError()));
}

} // namespace

CString SlideImagePath(const CString& slideFolder, const CString& infix, int page)
{
    return slideFolder + L"\\" + infix + IntToString(page) + L".jpg";
}

CString UnpackedPagePath(const CString& unpackFolder, int page)
{
    return unpackFolder + L"\\PIC_" + IntToString(page) + L".jpg";
}

int Write(const WriteJob& job, const KeepGoing& keepGoing)
{
    if (job.pageCount < 0 || job.pageCount > kMaxPages) {
        Logger::Instance().Write(L"pptmgr: Err, page count %d cannot be packed.", job.pageCount);
        return eConvert_WriteFailed;
    }
    const std::string name = WideToAnsi(job.baseName);
    std::vector<unsigned char> header(kHeaderFixedSize + name.size());
    PutI32(header.data(), static_cast<int32_t>(header.size()));
    PutI16(header.data() + 4, static_cast<int16_t>(job.pageCount));
    if (!name.empty()) std::memcpy(header.data() + kHeaderFixedSize, name.data(), name.size());

    CFile package;
    if (!package.Open(job.packagePath, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary)) {
        Logger::Instance().Write(L"pptmgr: Err, cannot open file %s, err = %d .", job.packagePath.GetString(),
                                 static_cast<int>(GetLastError()));
        return eConvert_FileNotOpened;
    }
    int result = eConvert_Success;
    if (!package.Write(header.data(), static_cast<UINT>(header.size()))) {
        Logger::Instance().Write(L"pptmgr: Err, write file %s, err, %d != %d .", job.packagePath.GetString(),
                                 0, static_cast<int>(header.size()));
        result = eConvert_WriteFailed;
    }

    std::vector<char> buffer(kCopyChunk);
    for (int page = 1; result == eConvert_Success && page <= job.pageCount; ++page) {
        if (keepGoing && !keepGoing()) {
            Logger::Instance().Write(L"pptmgr: Err, stop during packing, page %d.", page);
            result = eConvert_Stopped;
            break;
        }
        const CString imagePath = SlideImagePath(job.slideFolder, job.infix, page);
        CFile image;
        if (!image.Open(imagePath, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary)) {
            Logger::Instance().Write(L"pptmgr: Err, seek file %s, err = %d .", imagePath.GetString(),
                                     static_cast<int>(GetLastError()));
            result = eConvert_FileNotOpened;
            break;
        }
        const uint64_t imageSize = image.GetLength();
        if (imageSize > static_cast<uint64_t>(INT32_MAX - kRecordHeadSize)) {
            Logger::Instance().Write(L"pptmgr: Err, image %s too large to pack.", imagePath.GetString());
            result = eConvert_WriteFailed;
            break;
        }
        unsigned char head[kRecordHeadSize];
        PutI32(head, static_cast<int32_t>(imageSize) + kRecordHeadSize);
        PutI16(head + 4, static_cast<int16_t>(page));
        if (!package.Write(head, kRecordHeadSize)) {
            Logger::Instance().Write(L"pptmgr: Err, write file %s err", job.packagePath.GetString());
            result = eConvert_WriteFailed;
            break;
        }
        bool readFailed = false;
        if (!CopyBytes(image, package, imageSize, buffer, &readFailed)) {
            if (readFailed)
                Logger::Instance().Write(L"pptmgr: read file %s, unexpected err, feof err.", imagePath.GetString());
            else
                Logger::Instance().Write(L"pptmgr: write file %s err.", job.packagePath.GetString());
            result = eConvert_WriteFailed;
        }
    }
    package.Close();
    // A package that misses pages must not be taken for a whole one later.
    if (result != eConvert_Success) DeleteIfPresent(job.packagePath);
    return result;
}

int Unpack(const CString& packagePath, const CString& unpackFolder, const KeepGoing& keepGoing, Layout* layout)
{
    Layout local;
    if (!layout) layout = &local;
    *layout = Layout();
    CFile package;
    if (!package.Open(packagePath, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary)) {
        Logger::Instance().Write(L"pptmgr: Err, open file %s, err = %d", packagePath.GetString(),
                                 static_cast<int>(GetLastError()));
        return eConvert_FileNotOpened;
    }
    std::vector<RecordSpan> records;
    const bool whole = ReadLayout(package, packagePath, layout, &records);
    if (!whole) {
        Logger::Instance().Write(L"pptmgr: Err, open file %s , stop during parsing.", packagePath.GetString());
        return eConvert_Stopped;
    }
    if (!EnsureFolder(unpackFolder)) {
        Logger::Instance().Write(L"pptmgr: Err, cannot create folder %s, err = %d", unpackFolder.GetString(),
                                 static_cast<int>(GetLastError()));
        return eConvert_FileNotOpened;
    }
    Logger::Instance().Write(L"pptmgr: Parsing filepath %s, filename = %s, pages = %d", packagePath.GetString(),
                             layout->baseName.GetString(), layout->pageCount);

    std::vector<char> buffer(kCopyChunk);
    size_t written = 0;
    for (const RecordSpan& record : records) {
        if (keepGoing && !keepGoing()) break;
        const CString imagePath = UnpackedPagePath(unpackFolder, record.page);
        CFile image;
        if (!image.Open(imagePath, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary)) break;
        bool readFailed = false;
        bool copied = package.Seek(static_cast<LONGLONG>(record.imageOffset), CFile::begin) == record.imageOffset &&
                      CopyBytes(package, image, record.imageSize, buffer, &readFailed);
        image.Close();
        if (!copied) {
            DeleteIfPresent(imagePath); // a half-written page would show as a broken image
            break;
        }
        Logger::Instance().Write(L"pptmgr: parsing, pagelen = %ld, curpagenum = %d",
                                 static_cast<long>(record.imageSize + kRecordHeadSize), record.page);
        ++written;
    }
    if (written != records.size()) {
        Logger::Instance().Write(L"pptmgr: Err, open file %s , stop during parsing.", packagePath.GetString());
        return eConvert_Stopped;
    }
    return eConvert_Success;
}

} // namespace SlidePackage
