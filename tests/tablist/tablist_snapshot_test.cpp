// The tab snapshot: title matching on hand-made records, then snapshots of
// the stand-in host's tab control and MDI children.
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/plugin_state.h"
#include "support/test_support.h"
#include "tablist/tab_snapshot.h"

namespace {

using host::CompositionChild;
using host::PlainChild;

// Records with these tab texts, none attached yet.
void FillRecords(TabSnapshot& snapshot, const std::vector<std::string>& texts) {
    ASSERT_TRUE(AllocateTabRecords(snapshot, static_cast<int>(texts.size())));
    for (size_t i = 0; i < texts.size(); ++i) lstrcpynA(snapshot.records[i].text, texts[i].c_str(), kTabTextSize);
}

int Match(const std::vector<std::string>& texts, const char* title) {
    TabSnapshot snapshot;
    FillRecords(snapshot, texts);
    return MatchTabTitle(title, snapshot);
}

TEST(MatchTabTitle, MarkerAtIndexTwoOrThreeLeavesARemainderTheTitleMayStart) {
    EXPECT_EQ(Match({"12 Inbox"}, "Inbox"), 0);
    EXPECT_EQ(Match({"12 Inbox"}, "In"), 0);
    EXPECT_EQ(Match({"12 Inbox"}, "Inbox2"), -1);
    EXPECT_EQ(Match({"12 Inbox"}, "12"), -1);
    EXPECT_EQ(Match({"123 Outbox"}, "Outbox"), 0);
    EXPECT_EQ(Match({"123 Outbox"}, "Out"), 0);
    // A blank at index 1 is no marker: only the whole text matches.
    EXPECT_EQ(Match({"1 Inbox"}, "Inbox"), -1);
    EXPECT_EQ(Match({"1 Inbox"}, "1 Inbox"), 0);
}

TEST(MatchTabTitle, WithoutMarkerOnlyExactTitlesOrDashTitlesMatch) {
    EXPECT_EQ(Match({"Outbox"}, "Outbox"), 0);
    EXPECT_EQ(Match({"Outbox"}, "Outbox - note"), 0);
    EXPECT_EQ(Match({"Outbox"}, "Outbox note"), -1);
    EXPECT_EQ(Match({"Outbox"}, "Out"), -1);
    EXPECT_EQ(Match({"Outbox"}, "Out - box"), -1);
    // A marked tab also takes a dash title that begins with its remainder.
    EXPECT_EQ(Match({"12 Inbox"}, "Inbox - 3 new"), 0);
    // Case counts.
    EXPECT_EQ(Match({"Outbox"}, "outbox"), -1);
}

TEST(MatchTabTitle, EmptyTextsAndTitles) {
    // The empty remainder starts every dash title.
    EXPECT_EQ(Match({""}, "any - thing"), 0);
    EXPECT_EQ(Match({"12 "}, "any - thing"), 0);
    EXPECT_EQ(Match({""}, "anything"), -1);
    // An empty title is a prefix of every remainder, but only marked or
    // empty texts give it a chance; texts too short for a marker have none.
    EXPECT_EQ(Match({"Outbox", "ab", "12 Inbox"}, ""), 2);
    EXPECT_EQ(Match({"Outbox", "", "12 Inbox"}, ""), 1);
    EXPECT_EQ(Match({"ab"}, ""), -1);
}

// Notes every read of one page: the first read faults, is noted and let
// through for one instruction, then the page is shut again.
class PageReads {
public:
    PageReads(char* page, size_t size) : page_(page), size_(size) {
        current_ = this;
        Shut();
        handler_ = AddVectoredExceptionHandler(1, Handler);
    }
    ~PageReads() {
        RemoveVectoredExceptionHandler(handler_);
        DWORD old;
        VirtualProtect(page_, size_, PAGE_READWRITE, &old);
        current_ = nullptr;
    }
    PageReads(const PageReads&) = delete;
    PageReads& operator=(const PageReads&) = delete;
    std::vector<size_t> offsets;  // of the reads, from the page's start

private:
    void Shut() {
        DWORD old;
        VirtualProtect(page_, size_, PAGE_NOACCESS, &old);
    }
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* e) {
        PageReads* self = current_;
        if (!self) return EXCEPTION_CONTINUE_SEARCH;
        const DWORD code = e->ExceptionRecord->ExceptionCode;
        if (code == EXCEPTION_SINGLE_STEP) {
            self->Shut();
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        if (code != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
        char* at = reinterpret_cast<char*>(e->ExceptionRecord->ExceptionInformation[1]);
        if (at < self->page_ || at >= self->page_ + self->size_) return EXCEPTION_CONTINUE_SEARCH;
        self->offsets.push_back(static_cast<size_t>(at - self->page_));
        DWORD old;
        VirtualProtect(self->page_, self->size_, PAGE_READWRITE, &old);
        e->ContextRecord->EFlags |= 0x100;  // trap after this one instruction
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    static inline PageReads* current_ = nullptr;
    char* page_;
    size_t size_;
    PVOID handler_ = nullptr;
};

TEST(MatchTabTitle, NeverReadsPastARecordsTextField) {
    // The record's text field ends where a watched page begins.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    char* base = static_cast<char*>(VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    auto* record = reinterpret_cast<TabRecord*>(base + si.dwPageSize - kTabTextSize);
    std::memset(record, 0, sizeof *record);
    lstrcpynA(record->text, ("12 " + std::string(252, 'a')).c_str(), kTabTextSize);
    TabSnapshot snapshot;
    snapshot.count = 1;
    snapshot.records = nullptr;
    const std::string title = std::string(252, 'a') + "bcd";  // longer than the remainder
    int match = 0;
    std::vector<size_t> reads;
    {
        PageReads watch(base + si.dwPageSize, si.dwPageSize);
        snapshot.records = record;
        match = MatchTabTitle(title.c_str(), snapshot);
        snapshot.records = nullptr;
        reads = watch.offsets;
    }
    EXPECT_EQ(match, -1);
    // The one read past the field is the record's window handle.
    const size_t window = offsetof(TabRecord, hwndChild) - kTabTextSize;
    for (size_t at : reads) EXPECT_TRUE(at >= window && at < window + sizeof(HWND)) << "read at field + " << at;
    EXPECT_FALSE(reads.empty()) << "the watch saw nothing";
    VirtualFree(base, 0, MEM_RELEASE);
}

TEST(MatchTabTitle, FirstUnattachedRecordWins) {
    TabSnapshot snapshot;
    FillRecords(snapshot, {"Inbox", "12 Inbox", "Inbox"});
    EXPECT_EQ(MatchTabTitle("Inbox", snapshot), 0);
    snapshot.records[0].hwndChild = GetDesktopWindow();
    EXPECT_EQ(MatchTabTitle("Inbox", snapshot), 1);
    snapshot.records[1].hwndChild = GetDesktopWindow();
    EXPECT_EQ(MatchTabTitle("Inbox", snapshot), 2);
    snapshot.records[2].hwndChild = GetDesktopWindow();
    EXPECT_EQ(MatchTabTitle("Inbox", snapshot), -1);
}

// Points the plug-in's state at a stand-in host and takes a full snapshot.
class HostSnapshot : public ::testing::Test {
protected:
    void Take(const host::HostOptions& options) {
        host_ = std::make_unique<host::StandInHost>(options);
        g_plugin.hwndTab = host_->Tab();
        g_plugin.hwndMdiClient = host_->MdiClient();
        TakeTabSnapshot(snapshot_);
        DescribeMdiChildren(snapshot_);
    }
    void TearDown() override {
        g_plugin.hwndTab = nullptr;
        g_plugin.hwndMdiClient = nullptr;
    }
    std::string Text(int i) const { return snapshot_.records[i].text; }
    std::string Description(int i) const { return snapshot_.records[i].description; }
    HWND Window(int i) const { return snapshot_.records[i].hwndChild; }

    std::unique_ptr<host::StandInHost> host_;
    TabSnapshot snapshot_;
};

TEST_F(HostSnapshot, TabControlWithoutTabsGivesNoArray) {
    host_ = std::make_unique<host::StandInHost>();
    HWND emptyTabs = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD, 0, 0, 100, 20, host_->Main(), nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(emptyTabs, nullptr);
    g_plugin.hwndTab = emptyTabs;
    g_plugin.hwndMdiClient = host_->MdiClient();
    TakeTabSnapshot(snapshot_);
    DescribeMdiChildren(snapshot_);
    EXPECT_EQ(snapshot_.count, 0);
    EXPECT_EQ(snapshot_.records, nullptr);
    DestroyWindow(emptyTabs);
}

TEST_F(HostSnapshot, PlainWindowsAreAttachedToTheirTabs) {
    host::HostOptions o;
    o.children = {PlainChild("Inbox", "12 Inbox"), PlainChild("Outbox - note", "Outbox", true), PlainChild("Alpha", "Zeta")};
    Take(o);
    ASSERT_EQ(snapshot_.count, 3);
    EXPECT_EQ(Text(0), "12 Inbox");
    EXPECT_EQ(Text(1), "Outbox");
    EXPECT_EQ(snapshot_.records[0].hasImage, 0);
    EXPECT_EQ(snapshot_.records[1].hasImage, 1);
    EXPECT_EQ(Window(0), host_->Child(0));
    EXPECT_EQ(Description(0), "Inbox");
    EXPECT_EQ(Window(1), host_->Child(1));
    EXPECT_EQ(Description(1), "Outbox - note");
    // A title that fits no tab is left out, and its tab keeps no window.
    EXPECT_EQ(Window(2), nullptr);
    EXPECT_EQ(Description(2), "");
}

TEST_F(HostSnapshot, EmptyTitleIsMatchedLikeAnyOther) {
    host::HostOptions o;
    o.children = {PlainChild("Outbox", "Outbox"), PlainChild("", "")};
    Take(o);
    ASSERT_EQ(snapshot_.count, 2);
    EXPECT_EQ(Window(0), host_->Child(0));
    EXPECT_EQ(Window(1), host_->Child(1));
    EXPECT_EQ(Description(1), "");
}

TEST_F(HostSnapshot, SameTitleGoesToTwoRecordsInEnumerationOrder) {
    host::HostOptions o;
    o.children = {PlainChild("Note", "Note"), PlainChild("Note", "Note")};
    Take(o);
    ASSERT_EQ(snapshot_.count, 2);
    // EnumChildWindows visits the MDI client's children in z-order.
    HWND first = GetWindow(host_->MdiClient(), GW_CHILD);
    HWND second = GetWindow(first, GW_HWNDNEXT);
    EXPECT_EQ(Window(0), first);
    EXPECT_EQ(Window(1), second);
    EXPECT_NE(first, second);
}

TEST_F(HostSnapshot, CompositionWindowsNameRecipientAndSubject) {
    host::HostOptions o;
    host::ChildSetup hidden = CompositionChild("Draft re: x", "Draft re: x", "boss", "x");
    hidden.paneHidden = true;
    host::ChildSetup noSubject = CompositionChild("Memo", "Memo", "team", "");
    noSubject.noSubjectLabel = true;
    o.children = {CompositionChild("Reply re: plan", "Reply", "sales", "plan"), hidden, noSubject};
    Take(o);
    ASSERT_EQ(snapshot_.count, 3);
    // The title is cut at its first blank, for the match and the description.
    EXPECT_EQ(Window(0), host_->Child(0));
    EXPECT_EQ(Description(0), "Reply To: sales, Sub: plan");
    // Labels in a hidden pane make no composition window.
    EXPECT_EQ(Window(1), host_->Child(1));
    EXPECT_EQ(Description(1), "Draft re: x");
    EXPECT_EQ(Window(2), host_->Child(2));
    EXPECT_EQ(Description(2), "Memo To: team, Sub: ");
}

TEST_F(HostSnapshot, LongFieldsAreCutToTheirBuffers) {
    const std::string title(100, 'T');
    const std::string to(80, 'r');
    const std::string subject(150, 's');
    host::HostOptions o;
    o.children = {CompositionChild(title, title, to, subject), CompositionChild("Short", "Short", to, subject)};
    Take(o);
    ASSERT_EQ(snapshot_.count, 2);
    EXPECT_EQ(Description(1), "Short To: " + to.substr(0, 63) + ", Sub: " + subject.substr(0, 127));
    std::string full = title + " To: " + to.substr(0, 63) + ", Sub: " + subject.substr(0, 127);
    EXPECT_EQ(Description(0), full.substr(0, 255));
}

TEST_F(HostSnapshot, TabControlThatStopsAnsweringKeepsTheTabsRead) {
    host::HostOptions o;
    o.children = {PlainChild("A", "A"), PlainChild("B", "B"), PlainChild("C", "C"), PlainChild("D", "D"), PlainChild("E", "E")};
    o.tabAnswerLimit = 2;
    Take(o);
    ASSERT_EQ(snapshot_.count, 2);
    EXPECT_EQ(Text(0), "A");
    EXPECT_EQ(Text(1), "B");
    EXPECT_EQ(Window(0), host_->Child(0));
    EXPECT_EQ(Window(1), host_->Child(1));
}

}  // namespace
