#include "core/Base64.h"
#include "core/Md5.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
std::string Decode(const std::string& text)
{
    std::vector<unsigned char> out(Base64DecodeBound(text.size()));
    size_t n = Base64Decode(text.data(), text.size(), out.data(), out.size());
    return std::string(reinterpret_cast<char*>(out.data()), n);
}
} // namespace

TEST(Base64, Rfc4648Vectors)
{
    struct { const char* encoded; const char* plain; } cases[] = {
        {"", ""}, {"Zg==", "f"}, {"Zm8=", "fo"}, {"Zm9v", "foo"}, {"Zm9vYg==", "foob"},
        {"Zm9vYmE=", "fooba"}, {"Zm9vYmFy", "foobar"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.plain, Decode(c.encoded)) << c.encoded;
}

TEST(Base64, LenientInput)
{
    // The first '=' ends the text; unknown characters count as zero but keep their place.
    EXPECT_EQ("f", Decode("Zg==Zm9v"));
    EXPECT_EQ(std::string("\x00\x00\x00", 3), Decode("!!!!"));
    EXPECT_EQ("foob", Decode("Zm9vYg")); // a missing pad still gives the completed byte
    std::vector<unsigned char> small(2);
    EXPECT_EQ(2u, Base64Decode("Zm9vYmFy", 8, small.data(), small.size())); // never past the buffer
}

TEST(Base64, WideDecoderDropsLineFeedsAndStopsAtZero)
{
    EXPECT_STREQ(L"foobar", Base64DecodeWide(L"Zm9v\nYmFy"));
    EXPECT_STREQ(L"\u4e2d", Base64DecodeWide(L"5Lit")); // UTF-8 of U+4E2D
    EXPECT_STREQ(L"a", Base64DecodeWide(L"YQBi"));      // "a\0b"
    EXPECT_TRUE(Base64DecodeWide(L"").IsEmpty());
}

TEST(Md5, Rfc1321VectorsAndPaddingBoundariesWholeAndInPieces)
{
    // 55 bytes fit the length in one block, 56 and 64 need a second: pieces fed at odd sizes agree.
    struct { std::string text; const char* digest; } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
    };
    for (const auto& c : cases) {
        Md5Digest whole;
        whole.Update(c.text.data(), c.text.size());
        EXPECT_EQ(c.digest, whole.HexString()) << c.text;
        EXPECT_EQ(c.digest, whole.HexString()) << "a second call reuses the digest";
        Md5Digest pieces;
        for (size_t i = 0; i < c.text.size(); i += 7) pieces.Update(c.text.data() + i, std::min<size_t>(7, c.text.size() - i));
        EXPECT_EQ(c.digest, pieces.HexString()) << c.text.size();
    }
}

TEST(Md5, OfFiles)
{
    TempFolder folder;
    ASSERT_TRUE(WriteFileBytes(folder.File(L"empty"), ""));
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Digest::OfFile(folder.File(L"empty")));
    // Larger than the 1024-byte read block, not a multiple of it.
    std::string big(3000, 'a');
    ASSERT_TRUE(WriteFileBytes(folder.File(L"big \u4e2d"), big));
    Md5Digest expected;
    expected.Update(big.data(), big.size());
    EXPECT_EQ(expected.HexString(), Md5Digest::OfFile(folder.File(L"big \u4e2d")));
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Digest::OfFile(folder.File(L"missing")));
}
