// Ctrl + wheel down over a folder of 10,000 messages of a few KB each (some
// of 1 MB), in the stand-in host: its list view, its view pane that shows the
// selected message, and its services that hand out a copy of the stored text.
// The only message with the top one's sender is the walk's length away.
// Three loops take turns in one run: the plug-in's walk; the same steps with
// the sender extraction left out (the host's own work per step); and the
// extraction alone over the same texts. Each round is printed as soon as it
// is measured, and no round starts that would end past the program's time.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "frame/host_api.h"
#include "frame/plugin_state.h"
#include "hook/same_sender.h"
#include "stand_in_host.h"

namespace {

constexpr int kMessages = 10000;
// Items visited per walk: the only other message of the top one's sender is
// the last one, so the walk crosses the whole folder.
constexpr int kWalk = kMessages - 1;
// Every this many messages one carries a 1 MB body.
constexpr int kLargeEvery = 125;
constexpr size_t kLargeBody = 1 << 20;
// Rounds at most; a slow machine gets fewer, at least one.
constexpr int kRounds = 3;
// The extraction alone is quick: it goes over the texts this many times a
// round, for a steadier figure.
constexpr int kExtractionPasses = 3;

// A header block as delivered mail has it (a dozen lines, "From:" after the
// Received lines), then a CP932 body of bodySize bytes.
std::string MakeMessage(int i, int senderNumber, size_t bodySize) {
    char head[1200];
    std::snprintf(head, sizeof head,
                  "Return-Path: <user%d@example.jp>\r\n"
                  "Received: from mx%d.example.jp (mx%d.example.jp [192.0.2.%d])\r\n"
                  "\tby mail.example.jp with ESMTP id %08X; Mon, 7 Dec 2026 10:%02d:00 +0900\r\n"
                  "Received: from client (unknown [198.51.100.%d])\r\n"
                  "\tby mx%d.example.jp with ESMTPSA; Mon, 7 Dec 2026 10:%02d:00 +0900\r\n"
                  "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.jp; s=s1;\r\n"
                  "\th=from:to:subject:date; bh=%08Xabcdefghijklmnopqrstuvwxyz0123456789=;\r\n"
                  "Date: Mon, 7 Dec 2026 10:%02d:00 +0900\r\n"
                  "From: \"営業部 %d\" <user%d@example.jp>\r\n"
                  "To: team@example.jp\r\n"
                  "Subject: 見積もりの件 %d\r\n"
                  "Message-ID: <%08X.%d@example.jp>\r\n"
                  "MIME-Version: 1.0\r\n"
                  "Content-Type: text/plain; charset=Shift_JIS\r\n"
                  "Content-Transfer-Encoding: 8bit\r\n\r\n",
                  senderNumber, i % 7, i % 7, i % 250, i * 2654435761u, i % 60, i % 250, i % 7, i % 60,
                  i * 40503u, i % 60, senderNumber, senderNumber, i, i * 40503u, i);
    std::string text = head;
    static const std::string kLine = "お世話になっております。本文の行です。 body line of the message.\r\n";
    const size_t target = text.size() + bodySize;
    while (text.size() < target) text += kLine;
    return text;
}

std::vector<host::MailMessage> MakeFolder() {
    std::vector<host::MailMessage> folder(kMessages);
    for (int i = 0; i < kMessages; ++i) {
        // Message 0 and message kWalk share sender 0; every other has its own.
        const int sender = i == kWalk ? 0 : i;
        const size_t body = i % kLargeEvery == kLargeEvery - 1 ? kLargeBody : 2000 + (i * 37) % 4000;
        folder[static_cast<size_t>(i)].text = MakeMessage(i, sender, body);
    }
    return folder;
}

void SetItemState(int item, UINT state) {
    LVITEMA lvi = {};
    lvi.state = state;
    lvi.stateMask = LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED;
    SendMessageA(g_plugin.hwndList, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi));
}

// The plug-in's walk from the top item down to the match.
double PluginWalkMs(host::StandInHost& h, const char* sender) {
    h.SelectItem(0);
    const double start = bench::NowMs();
    const bool found = FindSameSender(0, sender, false);
    const double ms = bench::NowMs() - start;
    return found && h.SelectedItem() == kWalk ? ms : -1;
}

// The walk's steps with nothing extracted or compared: what the host does.
double HostStepsMs(host::StandInHost& h) {
    h.SelectItem(0);
    const double start = bench::NowMs();
    FreezePanes(true);
    SendMessageA(g_plugin.hwndList, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < kWalk; ++i) {
        SetItemState(i, 0);
        SetItemState(i + 1, LVIS_FOCUSED | LVIS_SELECTED);
        char path[kMessagePathSize] = {};
        g_plugin.api.QMA_GetNextMessagePath(-1, path, 1);
        if (g_plugin.api.QMA_GetMessage(path)) g_plugin.api.QMA_ReleaseQuilmBuffer();
    }
    SendMessageA(g_plugin.hwndList, LVM_ENSUREVISIBLE, kWalk, TRUE);
    FreezePanes(false);
    return bench::NowMs() - start;
}

// The plug-in's own work per step alone, over the texts the walk reads; per
// pass.
double ExtractionMs(const std::vector<host::MailMessage>& folder, const char* sender) {
    const double start = bench::NowMs();
    int same = 0;
    for (int pass = 0; pass < kExtractionPasses; ++pass)
        for (int i = 1; i <= kWalk; ++i) {
            SenderKey key = ExtractSender(folder[static_cast<size_t>(i)].text.c_str());
            if (key && lstrcmpA(sender, key.Get()) == 0) ++same;
        }
    const double ms = (bench::NowMs() - start) / kExtractionPasses;
    return same == kExtractionPasses ? ms : -1;
}


void PumpPending(host::StandInHost& h) {
    while (h.PumpOne()) {
    }
}

}  // namespace

int main() {
    bench::PrintAsMeasured();
    const double startMs = bench::NowMs();
    host::HostOptions options;
    options.messages = MakeFolder();
    const std::vector<host::MailMessage>& folder = options.messages;
    host::StandInHost h(options);
    PumpPending(h);

    if (!BindHostApi(g_plugin.api)) return 1;
    g_plugin.hwndMain = h.Main();
    g_plugin.hwndList = h.List();
    g_plugin.hwndView = h.View();
    g_plugin.hwndStatus = h.Status();
    SenderKey sender = ExtractSender(folder[0].text.c_str());
    if (!sender) return 1;

    size_t bytes = 0, walkedBytes = 0;
    for (int i = 0; i < kMessages; ++i) {
        bytes += folder[static_cast<size_t>(i)].text.size();
        if (i >= 1 && i <= kWalk) walkedBytes += folder[static_cast<size_t>(i)].text.size();
    }
    const double budgetMs = bench::BudgetMs();
    std::printf("Same-sender walk: folder of %d messages (%.1f MB, %d of them 1 MB), nearest match %d items down\n",
                kMessages, bytes / 1048576.0, kMessages / kLargeEvery, kWalk);
    std::printf("(%d items visited per walk, %.1f KB per item on average), up to %d alternate rounds within %.0f s,\n",
                kWalk, walkedBytes / 1024.0 / kWalk, kRounds, budgetMs / 1000);
    std::printf("medians (set-up %.1f s)\n", (bench::NowMs() - startMs) / 1000);

    std::vector<double> plugin, hostOnly, extraction;
    for (int round = 0; round < kRounds; ++round) {
        const double roundStart = bench::NowMs();
        // Alternating order, so drift on a shared machine reaches every loop.
        if (round % 2) hostOnly.push_back(HostStepsMs(h));
        plugin.push_back(PluginWalkMs(h, sender.Get()));
        if (!(round % 2)) hostOnly.push_back(HostStepsMs(h));
        extraction.push_back(ExtractionMs(folder, sender.Get()));
        h.ClearCalls();
        PumpPending(h);
        if (plugin.back() < 0) {
            std::printf("the walk did not stop at item %d\n", kWalk);
            return 1;
        }
        // The share is the difference of two noisy walks: the rounds show how
        // far it can be trusted.
        std::printf("round %d (ms per walk): walk %.0f / host %.0f; extraction %.1f ms a pass\n", round + 1,
                    plugin.back(), hostOnly.back(), extraction.back());
        // The next round would take about what this one did.
        const double now = bench::NowMs();
        if (now - startMs + (now - roundStart) > budgetMs) break;
    }

    const double walk = bench::Median(plugin), host = bench::Median(hostOnly), own = bench::Median(extraction);
    std::printf("medians of %d rounds:\n", static_cast<int>(plugin.size()));
    std::printf("plug-in walk:             %9.2f us per item  (%.0f ms per walk)\n", 1000.0 * walk / kWalk, walk);
    std::printf("host's steps alone:       %9.2f us per item\n", 1000.0 * host / kWalk);
    std::printf("extraction + compare:     %9.2f us per item\n", 1000.0 * own / kWalk);
    std::printf("plug-in share of a step:  %8.2f %%  (walk - host's steps) / walk\n", 100.0 * (walk - host) / walk);
    std::printf("                          %8.2f %%  extraction / walk\n", 100.0 * own / walk);
    return 0;
}
