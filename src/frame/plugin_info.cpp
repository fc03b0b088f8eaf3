#include "frame/plugin_info.h"

#include <cstring>
#include <string>

#include "rollvix_version.h"

namespace {

struct InfoField {
    size_t offset;
    size_t size;
    const char* text;
};

// Field layout of the host's record; every text is shorter than its field.
constexpr InfoField kInfoFields[] = {
    {4, 100, "Rollvix"},                           // infoName
    {104, 100, "Ver." ROLLVIX_VERSION},            // infoVersion: the project's
    {204, 100, ROLLVIX_BUILD_DATE},                // infoDate: the commit's, as "Mar 20 2009"
    {304, 100, "Rollvix team"},                    // infoAuthor
    {404, 100, "rollvix@example.org"},             // infoMail
    {504, 100, "https://example.org/rollvix/"},    // infoUrl
    {604, 10240,
     "マウスホイール機能拡張\r\n"
     "タブバー上のホイールでウィンドウ切り替え、右ボタン+ホイールでキー入力とタブ一覧、\r\n"
     "Ctrl+ホイールで同じ差出人のメッセージへ移動します。\r\n"
     "Thanks to everyone who tried the early builds."},  // infoDescription
    {10844, 100, ""},                              // infoExtra1
    {10944, 10240, ""},                            // infoExtra2
    {21184, 100, ""},                              // infoExtra3
    {21284, 100, ""},                              // infoExtra4
    {21384, 1, ""},                                // infoExtra5: only its NUL
};

constexpr INT32 kInfoHeadValue = 10;

constexpr bool InfoTextsFit() {
    for (const InfoField& f : kInfoFields)
        if (std::char_traits<char>::length(f.text) >= f.size) return false;
    return true;
}
static_assert(InfoTextsFit(), "every text must be shorter than its field");

}  // namespace

void FillPluginInfo(BYTE* record) {
    std::memcpy(record + kInfoHeadOffset, &kInfoHeadValue, sizeof kInfoHeadValue);
    for (const InfoField& f : kInfoFields) {
        std::memcpy(record + f.offset, f.text, std::strlen(f.text) + 1);
    }
}
