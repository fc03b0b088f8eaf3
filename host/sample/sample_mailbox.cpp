// The sample mailbox, compiled in. Texts are code page 932, as the host keeps
// them after decoding.
#include "sample/sample_mailbox.h"

#include <cstdio>
#include <string>

namespace sample {

namespace {

struct Sender {
    const char* from;     // value of the From: line; null: the message has none
    const char* address;  // for Return-Path and Message-ID
};

const Sender kSenders[] = {
    {"山田 太郎 <yamada@example.co.jp>", "yamada@example.co.jp"},
    {"\"佐藤 花子\" <hanako.sato@example.ne.jp>", "hanako.sato@example.ne.jp"},
    {"鈴木 一郎 <suzuki@example.com>", "suzuki@example.com"},
    {"田中 美咲 <misaki@example.org>", "misaki@example.org"},
    {"メルマガ編集部 <news@magazine.example.jp>", "news@magazine.example.jp"},
    {"高橋 健 <ken.takahashi@example.co.jp>", "ken.takahashi@example.co.jp"},
    {"info@shop.example.jp", "info@shop.example.jp"},
    {"伊藤 由美 <yumi.ito@example.ne.jp>", "yumi.ito@example.ne.jp"},
    // The display name alone on the first line, the address folded below it.
    {"\"山田 太郎 (営業部)\"\r\n <yamada@example.co.jp>", "yamada@example.co.jp"},
    {nullptr, "mailer-daemon@mx.example.net"},
};

struct Entry {
    int sender;
    const char* subject;
    const char* body;
};

const Entry kInbox[] = {
    {0, "打ち合わせの件", "来週の打ち合わせですが、火曜日の午後でいかがでしょうか。"},
    {1, "資料送付のお知らせ", "先日お話しした資料をお送りします。ご確認ください。"},
    {4, "週刊メルマガ 第101号", "今週の特集: 春の新生活応援キャンペーン"},
    {2, "Re: 見積もりについて", "見積もりの件、承知しました。金曜日までにお返事します。"},
    {0, "Re: 打ち合わせの件", "火曜日で確定とします。会議室を予約しておきます。"},
    {3, "写真を送ります", "先週の懇親会の写真です。"},
    {6, "ご注文ありがとうございます", "ご注文番号: 2009-0312-4471\r\nお届け予定: 3月16日"},
    {5, "出張報告", "大阪出張の報告書を添付します。"},
    {1, "Re: 資料送付のお知らせ", "修正版をお送りします。前の版は破棄してください。"},
    {7, "歓迎会のご案内", "4月3日(金) 19時から、駅前のお店で行います。"},
    {9, "Undelivered Mail Returned to Sender", "This is the mail system at host mx.example.net.\r\n\r\n"
                                               "I'm sorry to have to inform you that your message could not\r\n"
                                               "be delivered to one or more recipients."},
    {2, "議事録", "本日の議事録をお送りします。"},
    {4, "週刊メルマガ 第102号", "今週の特集: お花見スポット特集"},
    {0, "予算案の確認", "来期の予算案を確認していただけますか。"},
    {8, "Fw: 来期の体制について", "営業部からの連絡を転送します。"},
    {3, "Re: 写真を送ります", "ありがとうございます! 大切にします。"},
    {5, "交通費の精算", "出張分の交通費精算をお願いします。"},
    {6, "発送のお知らせ", "ご注文の商品を本日発送いたしました。"},
    {1, "来週の予定", "来週は水曜日が不在です。"},
    {7, "Re: 歓迎会のご案内", "出欠の締め切りは3月27日です。"},
    {2, "サーバ移行のお知らせ", "3月28日(土) 深夜にメールサーバを移行します。"},
    {0, "Re: 予算案の確認", "数字を一部修正しました。"},
    {4, "週刊メルマガ 第103号", "今週の特集: 新年度の準備"},
    {5, "Re: 出張報告", "報告書を受け取りました。"},
    {3, "ランチのお誘い", "明日のお昼、一緒にいかがですか。"},
    {6, "ポイント失効のお知らせ", "3月末で失効するポイントがあります。"},
    {1, "Re: 来週の予定", "了解しました。木曜日に調整します。"},
    {8, "Re: Fw: 来期の体制について", "補足です。詳細は来週の会議で説明します。"},
    {7, "新しい名刺", "名刺のデザイン案が届きました。"},
    {2, "Re: サーバ移行のお知らせ", "移行は無事に完了しました。"},
    {0, "お疲れさまでした", "年度末の作業、お疲れさまでした。"},
    {5, "四月の勤務表", "四月の勤務表を共有フォルダに置きました。"},
    {3, "Re: ランチのお誘い", "では12時にロビーで。"},
};

// 1 March 2009 was a Sunday.
const char* const kDays[] = {"Sat", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri"};

std::string MakeText(const Entry& e, int index) {
    const Sender& s = kSenders[e.sender];
    int day = 2 + index / 2;
    int hour = 9 + (index * 5) % 10;
    char head[640];
    std::snprintf(head, sizeof head,
                  "Return-Path: <%s>\r\n"
                  "Received: from mail.example.net (mail.example.net [192.0.2.%d])\r\n"
                  "\tby mx.example.jp with ESMTP id %08X; %d Mar 2009 %02d:%02d:00 +0900\r\n"
                  "Date: %s, %d Mar 2009 %02d:%02d:00 +0900\r\n",
                  s.address, 10 + index, 0x4A10 + index * 97, day, hour, (index * 7) % 60,
                  kDays[day % 7], day, hour,
                  (index * 7) % 60);
    std::string text = head;
    if (s.from) text += std::string("From: ") + s.from + "\r\n";
    text += "To: 受信者 <me@example.jp>\r\n";
    text += std::string("Subject: ") + e.subject + "\r\n";
    char id[96];
    std::snprintf(id, sizeof id, "Message-ID: <200903%02d%04d.%d@%s>\r\n", day, 1000 + index * 13, index,
                  s.address + std::string(s.address).find('@') + 1);
    text += id;
    text += "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=Shift_JIS\r\n"
            "Content-Transfer-Encoding: 8bit\r\n"
            "\r\n";
    text += e.body;
    text += "\r\n";
    return text;
}

}  // namespace

std::vector<host::MailMessage> Inbox() {
    std::vector<host::MailMessage> inbox;
    int index = 0;
    for (const Entry& e : kInbox) {
        host::MailMessage m;
        m.text = MakeText(e, index++);
        inbox.push_back(m);
    }
    // A message the host cannot read back (its file is gone).
    host::MailMessage lost;
    lost.subject = "(読み込めないメッセージ)";
    lost.unreadable = true;
    inbox.insert(inbox.begin() + 20, lost);
    return inbox;
}

std::vector<host::ChildSetup> Windows() {
    host::ChildSetup inbox = host::PlainChild("受信箱", "34 受信箱", true);
    inbox.kind = host::ChildKind::MessageList;
    return {inbox,
            host::PlainChild("送信済み", "125 送信済み"),
            host::PlainChild("下書き", "下書き"),
            host::PlainChild("メルマガ", "15 メルマガ", true),
            host::PlainChild("ごみ箱", "ごみ箱"),
            host::CompositionChild("Re: 打ち合わせの件", "編 Re: 打ち合わせの件", "山田 太郎 <yamada@example.co.jp>",
                                   "Re: 打ち合わせの件"),
            host::CompositionChild("新規メッセージ", "編 新規メッセージ", "hanako.sato@example.ne.jp",
                                   "見積もりのお願い")};
}

}  // namespace sample
