#include "tests/classroom_main/SlidePackageBytes.h"

#include "tests/fakes/powerpoint/SlideImage.h"
#include "tests/support/TestFolders.h"

void PutI32(std::string& out, int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void PutI16(std::string& out, int16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }

std::string Package(const std::string& name, int count)
{
    std::string out;
    PutI32(out, static_cast<int32_t>(name.size() + 6));
    PutI16(out, static_cast<int16_t>(count));
    out += name;
    TempFolder folder(L"jpg");
    for (int page = 1; page <= count; ++page) {
        CString path = folder.File(L"slide.jpg");
        DrawSlideJpeg(path, page, 160, 120);
        std::string jpeg = ReadFileBytes(path);
        PutI32(out, static_cast<int32_t>(jpeg.size() + 6));
        PutI16(out, static_cast<int16_t>(page));
        out += jpeg;
    }
    return out;
}
