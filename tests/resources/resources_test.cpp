// The built DLL's resources, read back byte for byte: both dialog templates,
// the manifest, the version record, and the CP932 bytes of the host texts.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

// Class ordinals of predefined controls in a dialog template.
constexpr WORD kButton = 0x0080;
constexpr WORD kStatic = 0x0082;
constexpr WORD kListBox = 0x0083;
constexpr WORD kComboBox = 0x0085;
// US English, the only language IDD_DLG is built in.
constexpr WORD kLangEnUs = 1033;

struct Control {
    WORD id;
    WORD classOrdinal;
    DWORD style;
    std::u16string text;
    short x, y, cx, cy;
};

struct Template {
    bool extended = false;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    bool hasMenu = false, hasClass = false;
    std::u16string title;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::u16string face;
    std::vector<Control> controls;
    std::vector<DWORD> controlExStyles;
};

const Control kSettingsControls[] = {
    {100, kStatic, 0x50000000, u"↑", 16, 32, 12, 12},
    {101, kStatic, 0x50000000, u"↓", 16, 52, 12, 12},
    {102, kStatic, 0x50000000, u"Ctrl", 28, 20, 16, 8},
    {103, kStatic, 0x50000000, u"Alt", 51, 20, 16, 8},
    {104, kStatic, 0x50000000, u"Shift", 72, 20, 16, 8},
    {105, kStatic, 0x50000000, u"キー", 98, 20, 26, 8},
    {118, kStatic, 0x50000000, u"TabList", 154, 20, 23, 8},
    {106, kButton, 0x50010003, u"", 30, 32, 9, 9},
    {107, kButton, 0x50010003, u"", 52, 32, 9, 9},
    {108, kButton, 0x50010003, u"", 74, 32, 9, 9},
    {109, kButton, 0x50010003, u"", 161, 31, 8, 10},
    {110, kButton, 0x50010003, u"", 30, 52, 9, 9},
    {111, kButton, 0x50010003, u"", 52, 52, 9, 9},
    {112, kButton, 0x50010003, u"", 74, 52, 9, 9},
    {113, kButton, 0x50010003, u"", 161, 52, 8, 10},
    {114, kComboBox, 0x50210003, u"", 98, 29, 52, 14},
    {115, kComboBox, 0x50210003, u"", 98, 49, 52, 14},
    {116, kButton, 0x50000007, u" キーの割り当て ", 8, 4, 171, 68},
    {1, kButton, 0x50010001, u"O K", 8, 162, 48, 14},
    {2, kButton, 0x50010000, u"ｷｬﾝｾﾙ", 62, 162, 48, 14},
    {117, kButton, 0x50010000, u"適 用", 116, 162, 48, 14},
    {121, kButton, 0x50000007, u"その他", 8, 80, 170, 76},
    {122, kButton, 0x50002003, u"Wheel動作時Cursor配下のViewにFocusを移す", 16, 90, 126, 20},
    {123, kButton, 0x50002003, u"Ctrl+Wheel上(下)でFromが同じ次(前)のメッセージへ移動", 16, 110, 118, 20},
    {124, kButton, 0x50002003, u"TabList表示中に左クリックで選択中のタブを閉じる", 16, 130, 118, 20},
};

const Control kPopupControls[] = {
    {118, kListBox, 0x50200000, u"", 1, 1, 100, 100},
};

// Reads the template's fields in order; fails the test on a malformed one.
class Reader {
public:
    Reader(const BYTE* data, size_t size) : p_(data), begin_(data), end_(data + size) {}
    template <typename T>
    T Get() {
        T v{};
        if (p_ + sizeof v > end_) {
            ADD_FAILURE() << "template ends early";
            return v;
        }
        std::memcpy(&v, p_, sizeof v);
        p_ += sizeof v;
        return v;
    }
    std::u16string String() {
        std::u16string s;
        for (char16_t c = Get<char16_t>(); c != 0 && p_ < end_; c = Get<char16_t>()) s += c;
        return s;
    }
    // sz_Or_Ord: 0xFFFF then an ordinal, or a string. Returns whether present.
    bool StringOrOrdinal(WORD* ordinal, std::u16string* text) {
        WORD first = Get<WORD>();
        if (first == 0xFFFF) {
            WORD ord = Get<WORD>();
            if (ordinal) *ordinal = ord;
            return true;
        }
        if (first == 0) return false;
        p_ -= sizeof first;
        std::u16string s = String();
        if (text) *text = s;
        return true;
    }
    void AlignDword() {
        while ((p_ - begin_) % 4 && p_ < end_) ++p_;
    }

private:
    const BYTE* p_;
    const BYTE* begin_;
    const BYTE* end_;
};

Template Parse(const BYTE* data, size_t size) {
    Template t;
    Reader r(data, size);
    WORD items = 0;
    if (size >= 4 && data[2] == 0xFF && data[3] == 0xFF) {
        t.extended = true;
        EXPECT_EQ(r.Get<WORD>(), 1);  // dlgVer
        r.Get<WORD>();                // signature
        r.Get<DWORD>();               // helpID
        t.exStyle = r.Get<DWORD>();
        t.style = r.Get<DWORD>();
    } else {
        t.style = r.Get<DWORD>();
        t.exStyle = r.Get<DWORD>();
    }
    items = r.Get<WORD>();
    t.x = r.Get<short>();
    t.y = r.Get<short>();
    t.cx = r.Get<short>();
    t.cy = r.Get<short>();
    t.hasMenu = r.StringOrOrdinal(nullptr, nullptr);
    t.hasClass = r.StringOrOrdinal(nullptr, nullptr);
    t.title = r.String();
    if (t.style & DS_SETFONT) {
        t.pointSize = r.Get<WORD>();
        if (t.extended) {
            t.weight = r.Get<WORD>();
            t.italic = r.Get<BYTE>();
            t.charset = r.Get<BYTE>();
        }
        t.face = r.String();
    }
    for (WORD i = 0; i < items; ++i) {
        r.AlignDword();
        Control c{};
        DWORD exStyle = 0;
        if (t.extended) {
            r.Get<DWORD>();  // helpID
            exStyle = r.Get<DWORD>();
            c.style = r.Get<DWORD>();
        } else {
            c.style = r.Get<DWORD>();
            exStyle = r.Get<DWORD>();
        }
        c.x = r.Get<short>();
        c.y = r.Get<short>();
        c.cx = r.Get<short>();
        c.cy = r.Get<short>();
        c.id = t.extended ? static_cast<WORD>(r.Get<DWORD>()) : r.Get<WORD>();
        std::u16string className;
        EXPECT_TRUE(r.StringOrOrdinal(&c.classOrdinal, &className)) << "control " << c.id << " has no class";
        EXPECT_TRUE(className.empty()) << "control " << c.id << " names its class instead of using the ordinal";
        WORD textOrdinal = 0;
        r.StringOrOrdinal(&textOrdinal, &c.text);
        EXPECT_EQ(textOrdinal, 0) << "control " << c.id;
        EXPECT_EQ(r.Get<WORD>(), 0) << "control " << c.id << " carries creation data";
        t.controls.push_back(c);
        t.controlExStyles.push_back(exStyle);
    }
    return t;
}

std::string Utf8(const std::u16string& s) {
    std::wstring w(s.begin(), s.end());
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

void ExpectControls(const Template& t, const Control* expected, size_t count) {
    ASSERT_EQ(t.controls.size(), count);
    for (size_t i = 0; i < count; ++i) {
        const Control& e = expected[i];
        const Control& c = t.controls[i];
        SCOPED_TRACE("control #" + std::to_string(i) + ", id " + std::to_string(e.id));
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(c.classOrdinal, e.classOrdinal);
        EXPECT_EQ(c.style, e.style) << std::hex << "0x" << c.style;
        EXPECT_EQ(t.controlExStyles[i], 0u);
        EXPECT_TRUE(c.text == e.text) << "text \"" << Utf8(c.text) << "\", expected \"" << Utf8(e.text) << "\"";
        EXPECT_EQ(c.x, e.x);
        EXPECT_EQ(c.y, e.y);
        EXPECT_EQ(c.cx, e.cx);
        EXPECT_EQ(c.cy, e.cy);
    }
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR langs) {
    reinterpret_cast<std::vector<WORD>*>(langs)->push_back(lang);
    return TRUE;
}

class DllResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(copy_.DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }
    // The resource's bytes, empty when it is missing.
    std::vector<BYTE> Bytes(LPCSTR type, LPCSTR name, WORD lang) {
        HRSRC res = FindResourceExA(module_, type, name, lang);
        if (!res) return {};
        HGLOBAL loaded = LoadResource(module_, res);
        const BYTE* p = static_cast<const BYTE*>(LockResource(loaded));
        if (!p) return {};
        return std::vector<BYTE>(p, p + SizeofResource(module_, res));
    }
    std::vector<WORD> Languages(LPCSTR type, LPCSTR name) {
        std::vector<WORD> langs;
        EnumResourceLanguagesA(module_, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&langs));
        return langs;
    }

    test::PluginCopy copy_;
    HMODULE module_ = nullptr;
};

TEST_F(DllResources, SettingsDialogTemplateIsExactlyAsDesigned) {
    EXPECT_EQ(Languages(RT_DIALOG, "IDD_DLG"), std::vector<WORD>{kLangEnUs});
    std::vector<BYTE> bytes = Bytes(RT_DIALOG, "IDD_DLG", kLangEnUs);
    ASSERT_FALSE(bytes.empty()) << "IDD_DLG (language 1033) is missing";
    Template t = Parse(bytes.data(), bytes.size());
    EXPECT_FALSE(t.extended) << "IDD_DLG must be a classic template";
    EXPECT_EQ(t.style, 0x80CA0040u) << std::hex << "0x" << t.style;
    EXPECT_EQ(t.exStyle, 0x00000001u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 186);
    EXPECT_EQ(t.cy, 180);
    EXPECT_FALSE(t.hasMenu);
    EXPECT_FALSE(t.hasClass);
    EXPECT_TRUE(t.title == u"Rollvix設定") << Utf8(t.title);
    EXPECT_EQ(t.pointSize, 10);
    EXPECT_TRUE(t.face == u"ＭＳ Ｐゴシック") << Utf8(t.face);
    ExpectControls(t, kSettingsControls, sizeof kSettingsControls / sizeof kSettingsControls[0]);
}

TEST_F(DllResources, TabListPopupTemplateIsExactlyAsDesigned) {
    HRSRC res = FindResourceA(module_, "IDD_FORMVIEW", RT_DIALOG);
    ASSERT_NE(res, nullptr) << "IDD_FORMVIEW is missing";
    const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(module_, res)));
    ASSERT_NE(p, nullptr);
    Template t = Parse(p, SizeofResource(module_, res));
    EXPECT_TRUE(t.extended) << "IDD_FORMVIEW must be an extended template";
    EXPECT_EQ(t.style, 0x90800040u) << std::hex << "0x" << t.style;
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.cx, 100);
    EXPECT_EQ(t.cy, 100);
    EXPECT_FALSE(t.hasMenu);
    EXPECT_FALSE(t.hasClass);
    EXPECT_TRUE(t.title.empty()) << Utf8(t.title);
    EXPECT_EQ(t.pointSize, 11);
    EXPECT_EQ(t.weight, 0);
    EXPECT_EQ(t.italic, 0);
    EXPECT_EQ(t.charset, 1);
    EXPECT_TRUE(t.face == u"ＭＳ Ｐゴシック") << Utf8(t.face);
    ExpectControls(t, kPopupControls, sizeof kPopupControls / sizeof kPopupControls[0]);
}

TEST_F(DllResources, ManifestAsksForAsInvoker) {
    HRSRC res = FindResourceA(module_, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(res, nullptr) << "no manifest under id 2";
    const char* p = static_cast<const char*>(LockResource(LoadResource(module_, res)));
    ASSERT_NE(p, nullptr);
    std::string manifest(p, SizeofResource(module_, res));
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos) << manifest;
}

TEST_F(DllResources, VersionRecordNamesTheProduct) {
    std::wstring path(copy_.DllPath().begin(), copy_.DllPath().end());
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, (DWORD{ROLLVIX_VERSION_MAJOR} << 16) | ROLLVIX_VERSION_MINOR);
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD{ROLLVIX_VERSION_PATCH} << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    auto text = [&](const wchar_t* key) {
        std::wstring query = std::wstring(L"\\StringFileInfo\\041104b0\\") + key;
        wchar_t* value = nullptr;
        UINT n = 0;
        if (!VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &n) || !value)
            return std::u16string();
        return std::u16string(reinterpret_cast<const char16_t*>(value));
    };
    EXPECT_TRUE(text(L"FileVersion") == u"" ROLLVIX_VERSION);
    EXPECT_TRUE(text(L"ProductVersion") == u"" ROLLVIX_VERSION);
    EXPECT_TRUE(text(L"ProductName") == u"Rollvix");
    EXPECT_TRUE(text(L"FileDescription") == u"マウスホイール機能拡張プラグイン") << Utf8(text(L"FileDescription"));
}

// The host reads its texts as CP932 bytes, whatever this machine's settings.
TEST(HostTexts, MenuLabelAndDescriptionAreCp932) {
    EXPECT_EQ(GetACP(), 932u) << "the tests must run with the host's code page";

    test::LoadedHost lh;
    ASSERT_NE(lh.Module(), nullptr);
    HMENU menu = lh.Host().OfferMenu(3);
    ASSERT_NE(menu, nullptr);
    char label[64] = {};
    // The plug-in appends its item after whatever the host put there.
    GetMenuStringA(menu, GetMenuItemCount(menu) - 1, label, sizeof label, MF_BYPOSITION);
    DestroyMenu(menu);
    EXPECT_STREQ(label, "Rollvix \x82\xcc\x90\xdd\x92\xe8");  // "Rollvix の設定"

    std::vector<BYTE> record;
    ASSERT_EQ(lh.Host().RequestPluginInfo(lh.Module(), record), 1);
    const char* description = reinterpret_cast<const char*>(record.data() + 604);
    // "マウスホイール機能拡張": 能 ends in a 0x5C trail byte.
    const char kFirstLine[] = "\x83\x7d\x83\x45\x83\x58\x83\x7a\x83\x43\x81\x5b\x83\x8b\x8b\x40\x94\x5c\x8a\x67\x92\xa3\r\n";
    EXPECT_EQ(std::string(description, sizeof kFirstLine - 1), std::string(kFirstLine));
}

}  // namespace
