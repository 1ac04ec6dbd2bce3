// Packing and unpacking 200 slides of 200 KB against a plain copy of the same files, in MB/s.
// Run: build/wine-run build/bin/slides_bench.exe [rounds]. The aim is a ratio of at least 0.8.
#include "bench/BenchClock.h"
#include "core/Folders.h"
#include "core/TextUtil.h"
#include "platform/afx/AfxFile.h"
#include "slides/ConvertTypes.h"
#include "slides/SlidePackage.h"

#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

const int kPages = 200;
const int kImageSize = 200 * 1024;


bool WriteImages(const CString& folder)
{
    std::mt19937 random(200);
    std::vector<char> bytes(kImageSize);
    for (int page = 1; page <= kPages; ++page) {
        for (char& b : bytes) b = static_cast<char>(random());
        CFile file;
        if (!file.Open(SlidePackage::SlideImagePath(folder, CString(), page), CFile::modeCreate | CFile::modeWrite) ||
            !file.Write(bytes.data(), kImageSize))
            return false;
    }
    return true;
}

bool CopyImages(const CString& from, const CString& to)
{
    for (int page = 1; page <= kPages; ++page) {
        if (!CopyFileW(SlidePackage::SlideImagePath(from, CString(), page),
                       SlidePackage::SlideImagePath(to, CString(), page), FALSE))
            return false;
    }
    return true;
}

// The same copy done by hand with whole-file reads and writes: the fastest plain copy we can do here.
bool ReadWriteImages(const CString& from, const CString& to, std::vector<char>& buffer)
{
    for (int page = 1; page <= kPages; ++page) {
        CFile source, target;
        if (!source.Open(SlidePackage::SlideImagePath(from, CString(), page), CFile::modeRead) ||
            !target.Open(SlidePackage::SlideImagePath(to, CString(), page), CFile::modeCreate | CFile::modeWrite))
            return false;
        UINT got = source.Read(buffer.data(), static_cast<UINT>(buffer.size()));
        if (got != kImageSize || !target.Write(buffer.data(), got)) return false;
    }
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void RemoveFolder(const CString& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(folder + L"\\*", &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(folder + L"\\" + data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 7;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const CString root = CString(temp) + L"lv_slides_bench_" + IntToString(static_cast<int>(GetCurrentProcessId()));
    SetAppDataFolderOverride(root + L"\\data"); // the unpacker's log lines go here, not into a real client's log
    const CString images = root + L"\\job_C";
    const CString copies = root + L"\\copy";
    const CString package = root + L"\\job";
    if (!EnsureFolder(images) || !EnsureFolder(copies) || !WriteImages(images)) {
        fprintf(stderr, "cannot prepare %ls\n", images.GetString());
        return 1;
    }

    std::vector<double> copyTimes, readWriteTimes, packTimes, unpackTimes;
    std::vector<char> buffer(kImageSize);
    SlidePackage::WriteJob job;
    job.pageCount = kPages;
    job.slideFolder = images;
    job.packagePath = package;
    job.baseName = L"Bench";
    for (int round = 0; round < rounds; ++round) {
        double start = Seconds();
        if (!CopyImages(images, copies)) return 2;
        copyTimes.push_back(Seconds() - start);

        start = Seconds();
        if (!ReadWriteImages(images, copies, buffer)) return 2;
        readWriteTimes.push_back(Seconds() - start);

        start = Seconds();
        if (SlidePackage::Write(job, nullptr) != eConvert_Success) return 3;
        packTimes.push_back(Seconds() - start);

        start = Seconds();
        SlidePackage::Layout layout;
        if (SlidePackage::Unpack(package, package + L"_P", nullptr, &layout) != eConvert_Success) return 4;
        unpackTimes.push_back(Seconds() - start);
    }

    const double megabytes = static_cast<double>(kPages) * kImageSize / (1024.0 * 1024.0);
    const double copyFileRate = megabytes / Median(copyTimes);
    const double readWriteRate = megabytes / Median(readWriteTimes);
    // The ratio is taken against the faster of the two plain copies.
    const double copyRate = std::max(copyFileRate, readWriteRate);
    const double packRate = megabytes / Median(packTimes);
    const double unpackRate = megabytes / Median(unpackTimes);
    printf("%d slides of %d KB, median of %d rounds\n", kPages, kImageSize / 1024, rounds);
    printf("CopyFileW  : %8.1f MB/s\n", copyFileRate);
    printf("read+write : %8.1f MB/s\n", readWriteRate);
    printf("pack       : %8.1f MB/s  ratio %.2f to the faster copy\n", packRate, packRate / copyRate);
    printf("unpack     : %8.1f MB/s  ratio %.2f to the faster copy\n", unpackRate, unpackRate / copyRate);
    const bool met = packRate / copyRate >= 0.8 && unpackRate / copyRate >= 0.8;
    printf("aim (ratio >= 0.80): %s\n", met ? "met" : "missed");

    RemoveFolder(package + L"_P");
    RemoveFolder(images);
    RemoveFolder(copies);
    DeleteFileW(package);
    RemoveFolder(root + L"\\data\\Log");
    RemoveFolder(root + L"\\data");
    RemoveDirectoryW(root);
    return 0;
}
