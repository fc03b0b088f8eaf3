#include "settings/settings_store.h"

#include <cstring>

#include "frame/debug_trace.h"
#include "frame/plugin_state.h"

namespace {

enum class Field { Mod, Tl, Key, MoveFocus, MoveNextFrom, TabClose };

struct IniKey {
    const char* name;
    int direction;  // chord index for the chord fields
    Field field;
};

// The keys in the order a new file lists them (the order they are written).
constexpr IniKey kIniKeys[] = {
    {"MOD0", 0, Field::Mod},
    {"TL0", 0, Field::Tl},
    {"KEY0", 0, Field::Key},
    {"MOD1", 1, Field::Mod},
    {"TL1", 1, Field::Tl},
    {"KEY1", 1, Field::Key},
    {"MOVE_FOCUS", 0, Field::MoveFocus},
    {"MOVE_NEXTFROM", 0, Field::MoveNextFrom},
    {"TAB_CLOSE", 0, Field::TabClose},
};
constexpr int kIniKeyCount = sizeof kIniKeys / sizeof kIniKeys[0];
// Loading reads each chord's KEY before its TL.
constexpr int kLoadOrder[] = {0, 2, 1, 3, 5, 4, 6, 7, 8};
// The trace switch (debug_trace.h): read with the nine, never written, so
// the dialog's writes keep a hand-written line. Nonzero switches it on.
constexpr char kTraceKey[] = "Trace";
// Every key a load reads: the nine, then the switch at index kIniKeyCount.
constexpr int kReadKeyCount = kIniKeyCount + 1;

const char* ReadKeyName(int index) { return index < kIniKeyCount ? kIniKeys[index].name : kTraceKey; }

// Room for the section as the dialog writes it, many times over.
constexpr DWORD kSectionSize = 1024;
// Longest plain value read without the platform's reader: no overflow.
constexpr int kMaxPlainDigits = 9;

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Key names match without regard to case. Only ASCII is folded here: a name
// this misses sends the load to the platform's reader, which decides.
bool SameKeyName(const char* s, int length, const char* name) {
    int i = 0;
    for (; i < length && name[i]; ++i)
        if (AsciiUpper(s[i]) != AsciiUpper(name[i])) return false;
    return i == length && !name[i];
}

// The values of a section read whole (length characters, as the read
// returned them: one NUL-ended line after the other), when every line is one
// of our keys, at most once, with a plain decimal value: there the
// platform's reader would give the same numbers. The reader takes a value
// with base detection ("0x41" is 65, "0b11" 3, "0o17" 15) after optional
// blanks and a sign; plain digits are decimal to it too, and are all that is
// taken here. False for anything else (comments, other keys, signs, blanks,
// prefixes, letters), which the reader is left to read key by key. Nothing
// past length is looked at: an empty read (0) gives every value 0.
bool ReadPlainSection(const char* lines, DWORD length, UINT (&values)[kReadKeyCount]) {
    bool seen[kReadKeyCount] = {};
    for (int i = 0; i < kReadKeyCount; ++i) values[i] = 0;
    const char* const end = lines + length;
    for (const char* line = lines; line < end;) {
        const char* eq = line;
        while (eq < end && *eq && *eq != '=') ++eq;
        if (eq == end || *eq != '=') return false;
        int key = 0;
        while (key < kReadKeyCount && !SameKeyName(line, static_cast<int>(eq - line), ReadKeyName(key))) ++key;
        if (key == kReadKeyCount || seen[key]) return false;
        seen[key] = true;
        UINT value = 0;
        int digits = 0;
        const char* d = eq + 1;
        for (; d < end && *d; ++d, ++digits) {
            if (*d < '0' || *d > '9' || digits == kMaxPlainDigits) return false;
            value = value * 10 + static_cast<UINT>(*d - '0');
        }
        // Every line ends with its NUL inside the length.
        if (digits == 0 || d == end) return false;
        values[key] = value;
        line = d + 1;
    }
    return true;
}

int FieldValue(const Settings& s, const IniKey& k) {
    const KeyChord& c = s.chords[k.direction];
    switch (k.field) {
        case Field::Mod: return c.MOD;
        case Field::Tl: return c.TL;
        case Field::Key: return c.KEY;
        case Field::MoveFocus: return s.MOVE_FOCUS;
        case Field::MoveNextFrom: return s.MOVE_NEXTFROM;
        case Field::TabClose: return s.TAB_CLOSE;
    }
    return 0;
}

// The 8-bit fields keep the low byte of what the file holds.
void StoreField(Settings& s, const IniKey& k, UINT value) {
    KeyChord& c = s.chords[k.direction];
    switch (k.field) {
        case Field::Mod: c.MOD = static_cast<BYTE>(value); break;
        case Field::Tl: c.TL = static_cast<BYTE>(value); break;
        case Field::Key: c.KEY = static_cast<BYTE>(value); break;
        case Field::MoveFocus: s.MOVE_FOCUS = static_cast<BYTE>(value); break;
        case Field::MoveNextFrom: s.MOVE_NEXTFROM = static_cast<BYTE>(value); break;
        case Field::TabClose: s.TAB_CLOSE = static_cast<INT32>(value); break;
    }
}

}  // namespace

bool IniPathForModuleName(const char* moduleFileName, char (&path)[kIniPathSize]) {
    size_t len = std::strlen(moduleFileName);
    if (len == 0 || len > MAX_PATH) return false;
    // The extension starts at the last dot of the file name, not of a directory.
    size_t nameStart = 0;
    for (size_t i = 0; i < len; ++i) {
        if (moduleFileName[i] == '\\' || moduleFileName[i] == '/' || moduleFileName[i] == ':') nameStart = i + 1;
        // Skip the trail byte of a double-byte character: it may look like '\'.
        else if (IsDBCSLeadByte(static_cast<BYTE>(moduleFileName[i])) && i + 1 < len) ++i;
    }
    size_t stem = len;
    for (size_t i = nameStart; i < len; ++i) {
        if (moduleFileName[i] == '.') stem = i;
        else if (IsDBCSLeadByte(static_cast<BYTE>(moduleFileName[i])) && i + 1 < len) ++i;
    }
    if (stem + sizeof ".ini" > sizeof path) return false;
    std::memcpy(path, moduleFileName, stem);
    std::memcpy(path + stem, ".ini", sizeof ".ini");
    return true;
}

bool GetIniPath(char (&path)[kIniPathSize]) {
    char module[MAX_PATH + 1] = {};
    DWORD len = GetModuleFileNameA(g_plugin.hModule, module, sizeof module);
    // 0 is a failure; a full buffer means the name was cut: never use a cut path.
    if (len == 0 || len >= sizeof module) return false;
    return IniPathForModuleName(module, path);
}

void LoadSettings() {
    char path[kIniPathSize];
    if (!GetIniPath(path)) {
        g_plugin.settings = Settings{};
        g_traceOn = false;
        return;
    }
    // One read of the section instead of one per key: each read opens and
    // parses the file, and start-up runs inside the host's LoadLibrary.
    // Only the characters the read reports are parsed, so a zero return (no
    // file, no section) parses nothing whatever the buffer holds: wine 8
    // writes two NULs then, older wine converted an unset character into
    // the buffer's start.
    char section[kSectionSize] = {};
    const DWORD length = GetPrivateProfileSectionA(kIniSection, section, kSectionSize, path);
    UINT plain[kReadKeyCount];
    const bool whole = length < kSectionSize - 2 && ReadPlainSection(section, length, plain);
    for (int index : kLoadOrder) {
        const IniKey& key = kIniKeys[index];
        UINT value = whole ? plain[index] : GetPrivateProfileIntA(kIniSection, key.name, 0, path);
        StoreField(g_plugin.settings, key, value);
    }
    const UINT trace = whole ? plain[kIniKeyCount] : GetPrivateProfileIntA(kIniSection, kTraceKey, 0, path);
    g_traceOn = trace != 0;
}

void SaveSettings(const Settings& values) {
    char path[kIniPathSize];
    if (!GetIniPath(path)) return;
    for (const IniKey& key : kIniKeys) {
        char text[16];
        wsprintfA(text, "%d", FieldValue(values, key));
        WritePrivateProfileStringA(kIniSection, key.name, text, path);
    }
    // Flush and drop the profile cache: a write that could not reach the disk
    // must not be read back by the next load as if it had.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
}
