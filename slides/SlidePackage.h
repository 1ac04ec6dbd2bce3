// The LVL slide package: a header {i32 length, i16 page count, ANSI base name} and one record
// {i32 length, i16 page number, JPEG bytes} per slide; every length counts its own field.
#pragma once
#include "platform/afx/AfxString.h"
#include <cstdint>
#include <functional>

namespace SlidePackage {

const int kHeaderFixedSize = 6; // i32 length + i16 page count
const int kRecordHeadSize = 6;  // i32 length + i16 page number
const int kMaxPages = 0x7FFF;   // the page count is an i16

// Asked before each page; false stops the work with eConvert_Stopped.
using KeepGoing = std::function<bool()>;

struct WriteJob {
    int pageCount = 0;
    CString slideFolder;  // the exported images: folder + "\" + infix + page + ".jpg"
    CString packagePath;
    CString baseName;     // written in the ANSI code page
    CString infix;        // empty for every conversion
};

// The image of one exported slide, and of one unpacked page.
CString SlideImagePath(const CString& slideFolder, const CString& infix, int page);
CString UnpackedPagePath(const CString& unpackFolder, int page);

// Writes the package; 0, -8 (package or image not opened), -5 (write or read failed) or -11 (stopped).
// On any failure the partial package is deleted.
int Write(const WriteJob& job, const KeepGoing& keepGoing);

struct Layout {
    int pageCount = 0;
    CString baseName;
};

// Checks the whole structure of a package before anything is unpacked, then writes each page's JPEG
// to unpackFolder + "\PIC_" + page + ".jpg". Answers 0, -8 (package or folder not opened) or -11
// (damaged package, an image not written, or stopped). A damaged package writes no file at all.
int Unpack(const CString& packagePath, const CString& unpackFolder, const KeepGoing& keepGoing, Layout* layout);

} // namespace SlidePackage
