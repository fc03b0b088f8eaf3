// The sample's screen pictures: the PNG files are read back with a decoder of
// their own (stored deflate blocks only), and a window of known colours is
// captured from the screen.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sample/sample_picture.h"
#include "support/test_support.h"

namespace {

using sample::Picture;

DWORD BigEndian(const std::vector<BYTE>& b, size_t at) {
    return (DWORD{b[at]} << 24) | (DWORD{b[at + 1]} << 16) | (DWORD{b[at + 2]} << 8) | b[at + 3];
}

// Bit by bit, to check the table-driven one of the writer.
DWORD SlowCrc32(const BYTE* data, size_t size) {
    DWORD c = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        c ^= data[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

struct Decoded {
    std::vector<std::string> chunkTypes;
    DWORD width = 0, height = 0;
    std::vector<BYTE> header;  // IHDR data
    std::vector<BYTE> raw;     // inflated IDAT: filter byte + row, per row
    int blocks = 0;
};

// Reads a PNG that the writer made; every structural fault fails the test.
Decoded Decode(const std::vector<BYTE>& png) {
    Decoded d;
    const BYTE signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(png.size() > 8 && std::equal(signature, signature + 8, png.begin()));
    std::vector<BYTE> z;
    for (size_t at = 8; at + 12 <= png.size();) {
        DWORD length = BigEndian(png, at);
        EXPECT_LE(at + 12 + length, png.size());
        if (at + 12 + length > png.size()) break;
        std::string type(png.begin() + at + 4, png.begin() + at + 8);
        EXPECT_EQ(BigEndian(png, at + 8 + length), SlowCrc32(png.data() + at + 4, length + 4)) << type;
        d.chunkTypes.push_back(type);
        std::vector<BYTE> data(png.begin() + at + 8, png.begin() + at + 8 + length);
        if (type == "IHDR") d.header = data;
        if (type == "IDAT") z.insert(z.end(), data.begin(), data.end());
        at += 12 + length;
    }
    if (d.header.size() == 13) {
        d.width = BigEndian(d.header, 0);
        d.height = BigEndian(d.header, 4);
    }
    EXPECT_GE(z.size(), 2u + 5u + 4u);
    if (z.size() < 11) return d;
    EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0) << "zlib header check";
    EXPECT_EQ(z[0] & 0x0F, 8) << "deflate";
    size_t at = 2;
    bool final = false;
    while (!final && at + 5 <= z.size()) {
        final = z[at] & 1;
        EXPECT_EQ(z[at] >> 1, 0) << "stored block expected";
        size_t len = z[at + 1] | (z[at + 2] << 8);
        size_t nlen = z[at + 3] | (z[at + 4] << 8);
        EXPECT_EQ(len ^ 0xFFFF, nlen);
        at += 5;
        if (at + len > z.size()) break;
        d.raw.insert(d.raw.end(), z.begin() + at, z.begin() + at + len);
        at += len;
        ++d.blocks;
    }
    EXPECT_TRUE(final) << "no final block";
    EXPECT_EQ(at + 4, z.size()) << "Adler-32 must follow the final block";
    if (at + 4 <= z.size()) {
        DWORD a = 1, b = 0;
        for (BYTE byte : d.raw) {
            a = (a + byte) % 65521;
            b = (b + a) % 65521;
        }
        EXPECT_EQ(BigEndian(z, at), (b << 16) | a) << "Adler-32";
    }
    return d;
}

Picture Pattern(int width, int height) {
    Picture p;
    p.width = width;
    p.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.rgb.insert(p.rgb.end(), {static_cast<BYTE>(x), static_cast<BYTE>(y), static_cast<BYTE>(x * 7 + y * 13)});
    return p;
}

// The rows as PNG stores them with filter type None.
std::vector<BYTE> Rows(const Picture& p) {
    std::vector<BYTE> raw;
    for (int y = 0; y < p.height; ++y) {
        raw.push_back(0);
        auto row = p.rgb.begin() + y * p.width * 3;
        raw.insert(raw.end(), row, row + p.width * 3);
    }
    return raw;
}

TEST(SamplePicture, PngHoldsHeaderAndRowsInOrder) {
    Picture p = Pattern(3, 2);
    Decoded d = Decode(sample::EncodePng(p));
    EXPECT_EQ(d.chunkTypes, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(d.width, 3u);
    EXPECT_EQ(d.height, 2u);
    ASSERT_EQ(d.header.size(), 13u);
    EXPECT_EQ(d.header[8], 8) << "bit depth";
    EXPECT_EQ(d.header[9], 2) << "colour type RGB";
    EXPECT_EQ(d.header[12], 0) << "not interlaced";
    EXPECT_EQ(d.raw, Rows(p));
    EXPECT_EQ(d.blocks, 1);
}

TEST(SamplePicture, LargePictureSpansStoredBlocks) {
    // Rows of 301 bytes: 217 of them fit one block, 218 do not and a block
    // ends mid-row; 771 rows of 85 bytes fill one block exactly.
    const struct {
        int width, height, blocks;
    } cases[] = {{100, 217, 1}, {100, 218, 2}, {100, 500, 3}, {28, 771, 1}};
    for (const auto& c : cases) {
        Picture p = Pattern(c.width, c.height);
        Decoded d = Decode(sample::EncodePng(p));
        EXPECT_EQ(d.blocks, c.blocks) << c.width << " x " << c.height;
        EXPECT_EQ(d.raw, Rows(p)) << c.width << " x " << c.height;
    }
}

TEST(SamplePicture, NoFileForPicturesWhoseSizeDoesNotAddUp) {
    Picture empty;
    EXPECT_TRUE(sample::EncodePng(empty).empty());
    Picture shortRows = Pattern(4, 4);
    shortRows.rgb.pop_back();
    EXPECT_TRUE(sample::EncodePng(shortRows).empty());

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string path = std::string(temp) + "rollvix-picture-test.png";
    DeleteFileA(path.c_str());
    EXPECT_FALSE(sample::WritePng(path, shortRows));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(sample::WritePng(path, Pattern(5, 5)));
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    std::vector<BYTE> written(GetFileSize(f, nullptr));
    DWORD got = 0;
    ReadFile(f, written.data(), static_cast<DWORD>(written.size()), &got, nullptr);
    CloseHandle(f);
    DeleteFileA(path.c_str());
    EXPECT_EQ(written, sample::EncodePng(Pattern(5, 5)));
}

// A top-most window whose upper half is red and lower half blue.
LRESULT CALLBACK TwoColourProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_PAINT) return DefWindowProcA(hwnd, msg, wp, lp);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    RECT top = {0, 0, r.right, r.bottom / 2}, bottom = {0, r.bottom / 2, r.right, r.bottom};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(dc, &top, red);
    FillRect(dc, &bottom, blue);
    DeleteObject(red);
    DeleteObject(blue);
    EndPaint(hwnd, &ps);
    return 0;
}

bool PixelIs(const Picture& p, int x, int y, BYTE r, BYTE g, BYTE b) {
    size_t at = (static_cast<size_t>(y) * p.width + x) * 3;
    return at + 2 < p.rgb.size() && p.rgb[at] == r && p.rgb[at + 1] == g && p.rgb[at + 2] == b;
}

TEST(SamplePicture, CaptureReadsTheScreenTopDownInRgbOrder) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TwoColourProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "RollvixTwoColour";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 120,
                                  140, 60, 40, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);

    RECT area = {120, 140, 180, 180};
    Picture p;
    // The screen shows the window once the display has caught up.
    bool shown = test::PumpUntil(nullptr, [&] {
        return sample::CaptureScreen(area, p) && PixelIs(p, 30, 5, 255, 0, 0) && PixelIs(p, 30, 35, 0, 0, 255);
    });
    EXPECT_TRUE(shown) << "red above blue expected";
    EXPECT_EQ(p.width, 60);
    EXPECT_EQ(p.height, 40);

    // An area that reaches beyond the screen is cut to it.
    int right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    RECT beyond = {right - 10, 0, right + 50, 20};
    ASSERT_TRUE(sample::CaptureScreen(beyond, p));
    EXPECT_EQ(p.width, 10);
    EXPECT_EQ(p.height, 20);
    RECT outside = {right + 10, 0, right + 50, 20};
    EXPECT_FALSE(sample::CaptureScreen(outside, p));

    DestroyWindow(window);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

}  // namespace
