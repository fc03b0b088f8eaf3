#include "sample/sample_picture.h"

#include <cstdio>

namespace sample {

namespace {

// A stored deflate block carries at most this many bytes.
constexpr size_t kStoredBlockMax = 65535;

class Crc32 {
public:
    Crc32() {
        for (DWORD n = 0; n < 256; ++n) {
            DWORD c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table_[n] = c;
        }
    }
    DWORD Of(const BYTE* data, size_t size) const {
        DWORD c = 0xFFFFFFFFu;
        for (size_t i = 0; i < size; ++i) c = table_[(c ^ data[i]) & 0xFF] ^ (c >> 8);
        return c ^ 0xFFFFFFFFu;
    }

private:
    DWORD table_[256];
};

DWORD Adler32(const std::vector<BYTE>& data) {
    DWORD a = 1, b = 0;
    for (BYTE byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void PutBigEndian(std::vector<BYTE>& out, DWORD value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<BYTE>(value >> shift));
}

void PutChunk(std::vector<BYTE>& out, const char type[5], const std::vector<BYTE>& data) {
    static const Crc32 crc;
    PutBigEndian(out, static_cast<DWORD>(data.size()));
    size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBigEndian(out, crc.Of(out.data() + typeAt, out.size() - typeAt));
}

// A zlib stream of stored (uncompressed) blocks: no deflate needed, and the
// pictures are small enough that their size does not matter.
std::vector<BYTE> ZlibStored(const std::vector<BYTE>& raw) {
    std::vector<BYTE> z = {0x78, 0x01};
    size_t at = 0;
    do {
        size_t n = raw.size() - at < kStoredBlockMax ? raw.size() - at : kStoredBlockMax;
        bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<BYTE>(n));
        z.push_back(static_cast<BYTE>(n >> 8));
        z.push_back(static_cast<BYTE>(~n));
        z.push_back(static_cast<BYTE>(~n >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
    } while (at < raw.size());
    PutBigEndian(z, Adler32(raw));
    return z;
}

}  // namespace

bool CaptureScreen(const RECT& area, Picture& out) {
    RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    RECT r;
    if (!IntersectRect(&r, &area, &screen)) return false;
    int w = r.right - r.left, h = r.bottom - r.top;

    HDC screenDc = GetDC(nullptr);
    if (!screenDc) return false;
    HDC memDc = CreateCompatibleDC(screenDc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down, as PNG stores its rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = memDc ? CreateDIBSection(screenDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    bool ok = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memDc, bitmap);
        ok = BitBlt(memDc, 0, 0, w, h, screenDc, r.left, r.top, SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        SelectObject(memDc, old);
    }
    if (ok) {
        out.width = w;
        out.height = h;
        out.rgb.resize(static_cast<size_t>(w) * h * 3);
        const BYTE* bgrx = static_cast<const BYTE*>(bits);
        for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) {
            out.rgb[i * 3] = bgrx[i * 4 + 2];
            out.rgb[i * 3 + 1] = bgrx[i * 4 + 1];
            out.rgb[i * 3 + 2] = bgrx[i * 4];
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memDc) DeleteDC(memDc);
    ReleaseDC(nullptr, screenDc);
    return ok;
}

std::vector<BYTE> EncodePng(const Picture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgb.size() != static_cast<size_t>(picture.width) * picture.height * 3)
        return {};
    size_t rowBytes = static_cast<size_t>(picture.width) * 3;
    std::vector<BYTE> raw;
    raw.reserve((rowBytes + 1) * picture.height);
    for (int y = 0; y < picture.height; ++y) {
        raw.push_back(0);  // filter type None
        auto row = picture.rgb.begin() + static_cast<ptrdiff_t>(rowBytes * y);
        raw.insert(raw.end(), row, row + static_cast<ptrdiff_t>(rowBytes));
    }

    std::vector<BYTE> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<BYTE> header;
    PutBigEndian(header, static_cast<DWORD>(picture.width));
    PutBigEndian(header, static_cast<DWORD>(picture.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter set, not interlaced
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", ZlibStored(raw));
    PutChunk(png, "IEND", {});
    return png;
}

bool WritePng(const std::string& path, const Picture& picture) {
    std::vector<BYTE> png = EncodePng(picture);
    if (png.empty()) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace sample
