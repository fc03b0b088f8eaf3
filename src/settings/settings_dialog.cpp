#include "settings/settings_dialog.h"

#include "frame/plugin_state.h"
#include "settings/settings_dialog_ids.h"
#include "settings/settings_store.h"

namespace {

struct KeyListEntry {
    const char* text;
    BYTE vk;
    bool extended;
};

// The keys both comboboxes offer; an item's index is its index here.
constexpr KeyListEntry kKeyList[] = {
    {"", 0, false},
    {"A", 'A', false}, {"B", 'B', false}, {"C", 'C', false}, {"D", 'D', false},
    {"E", 'E', false}, {"F", 'F', false}, {"G", 'G', false}, {"H", 'H', false},
    {"I", 'I', false}, {"J", 'J', false}, {"K", 'K', false}, {"L", 'L', false},
    {"M", 'M', false}, {"N", 'N', false}, {"O", 'O', false}, {"P", 'P', false},
    {"Q", 'Q', false}, {"R", 'R', false}, {"S", 'S', false}, {"T", 'T', false},
    {"U", 'U', false}, {"V", 'V', false}, {"W", 'W', false}, {"X", 'X', false},
    {"Y", 'Y', false}, {"Z", 'Z', false},
    {"0", '0', false}, {"1", '1', false}, {"2", '2', false}, {"3", '3', false},
    {"4", '4', false}, {"5", '5', false}, {"6", '6', false}, {"7", '7', false},
    {"8", '8', false}, {"9", '9', false},
    {"F1", VK_F1, false}, {"F2", VK_F2, false}, {"F3", VK_F3, false},
    {"F4", VK_F4, false}, {"F5", VK_F5, false}, {"F6", VK_F6, false},
    {"F7", VK_F7, false}, {"F8", VK_F8, false}, {"F9", VK_F9, false},
    {"F10", VK_F10, false}, {"F11", VK_F11, false}, {"F12", VK_F12, false},
    {"Insert", VK_INSERT, true},
    {"Delete", VK_DELETE, true},
    {"Back Space", VK_BACK, false},
    {"Home", VK_HOME, true},
    {"End", VK_END, true},
    {"Page Up", VK_PRIOR, true},
    {"Page Down", VK_NEXT, true},
    {"←", VK_LEFT, true},
    {"→", VK_RIGHT, true},
    {"↑", VK_UP, true},
    {"↓", VK_DOWN, true},
    {"Enter", VK_RETURN, false},
    {"Space", VK_SPACE, false},
    {"Tab", VK_TAB, false},
    {"Escape", VK_ESCAPE, false},
};
static_assert(sizeof kKeyList / sizeof kKeyList[0] == 64, "the KeyList has 64 keys");

// The controls of one chord row; row n edits chords[n].
struct ChordRow {
    int modBoxes[3];  // in the order of kModBoxBits
    int tabListBox;
    int keyCombo;
};

// Row 0 is the wheel turned up, row 1 the wheel turned down.
constexpr ChordRow kChordRows[2] = {
    {{IDC_UP_CTRL, IDC_UP_ALT, IDC_UP_SHIFT}, IDC_UP_TABLIST, IDC_UP_KEY},
    {{IDC_DOWN_CTRL, IDC_DOWN_ALT, IDC_DOWN_SHIFT}, IDC_DOWN_TABLIST, IDC_DOWN_KEY},
};
// The MOD bit each modifier box of a row stands for.
constexpr BYTE kModBoxBits[3] = {kModCtrl, kModAlt, kModShift};

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

// A row that opens the TabList has no use for modifiers: grey them out.
void EnableModBoxes(HWND dialog, const ChordRow& row, bool enable) {
    for (int id : row.modBoxes) EnableWindow(GetDlgItem(dialog, id), enable);
}

KeyChord ComposeChord(HWND dialog, const ChordRow& row, const KeyChord& loaded) {
    KeyChord chord = {};
    for (int i = 0; i < 3; ++i)
        if (IsChecked(dialog, row.modBoxes[i])) chord.MOD |= kModBoxBits[i];
    chord.TL = IsChecked(dialog, row.tabListBox) ? 1 : 0;
    LRESULT index = SendDlgItemMessageA(dialog, row.keyCombo, CB_GETCURSEL, 0, 0);
    if (index >= 0 && index < static_cast<LRESULT>(sizeof kKeyList / sizeof kKeyList[0])) {
        const KeyListEntry& entry = kKeyList[index];
        chord.KEY = entry.vk;
        if (entry.extended) chord.MOD |= kModExtended;
    } else {
        // No selection: the file holds a code outside the KeyList and the user
        // chose no key. Deliberately keep that hand-edited code and its
        // extended bit rather than silently dropping it.
        chord.KEY = loaded.KEY;
        chord.MOD |= loaded.MOD & kModExtended;
    }
    return chord;
}

void ApplySettings(HWND dialog) {
    const Settings& loaded = g_plugin.settings;
    Settings values = {};
    for (int n = 0; n < 2; ++n) values.chords[n] = ComposeChord(dialog, kChordRows[n], loaded.chords[n]);
    values.MOVE_FOCUS = IsChecked(dialog, IDC_MOVE_FOCUS) ? 1 : 0;
    values.MOVE_NEXTFROM = IsChecked(dialog, IDC_MOVE_NEXTFROM) ? 1 : 0;
    values.TAB_CLOSE = IsChecked(dialog, IDC_TAB_CLOSE) ? 1 : 0;
    SaveSettings(values);
    // The record follows the file, also when the write did not reach it.
    LoadSettings();
}

}  // namespace

void InitSettingsDialog(HWND dialog) {
    const Settings& s = g_plugin.settings;
    for (int n = 0; n < 2; ++n) {
        const ChordRow& row = kChordRows[n];
        const KeyChord& chord = s.chords[n];
        for (int i = 0; i < 3; ++i) SetChecked(dialog, row.modBoxes[i], chord.MOD & kModBoxBits[i]);
        SetChecked(dialog, row.tabListBox, chord.TL != 0);
        if (chord.TL) EnableModBoxes(dialog, row, false);
    }
    SetChecked(dialog, IDC_MOVE_FOCUS, s.MOVE_FOCUS != 0);
    SetChecked(dialog, IDC_MOVE_NEXTFROM, s.MOVE_NEXTFROM != 0);
    SetChecked(dialog, IDC_TAB_CLOSE, s.TAB_CLOSE != 0);

    // A code that no entry has leaves its combobox without a selection.
    for (const KeyListEntry& entry : kKeyList) {
        for (int n = 0; n < 2; ++n) {
            const int combo = kChordRows[n].keyCombo;
            LRESULT index = SendDlgItemMessageA(dialog, combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text));
            if (index >= 0 && entry.vk == s.chords[n].KEY)
                SendDlgItemMessageA(dialog, combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
    }
}

INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            // Show the file as it is now, hand edits included.
            LoadSettings();
            InitSettingsDialog(dialog);
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDOK) {
                ApplySettings(dialog);
                EndDialog(dialog, IDOK);
            } else if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
            } else if (id == IDC_APPLY) {
                ApplySettings(dialog);
            } else {
                for (const ChordRow& row : kChordRows)
                    if (id == row.tabListBox) EnableModBoxes(dialog, row, !IsChecked(dialog, id));
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void RunSettingsDialog() {
    DialogBoxParamA(g_plugin.hModule, "IDD_DLG", g_plugin.hwndMain, SettingsDlgProc, 0);
}
