// Control ids of the settings dialog IDD_DLG, shared by the resource script
// and the code. Kept free of declarations so that windres can read it.
#pragma once

// Class ordinals of a classic dialog template's predefined controls.
#define RVX_CLASS_BUTTON 0x0080
#define RVX_CLASS_STATIC 0x0082
#define RVX_CLASS_COMBOBOX 0x0085

#define IDC_LABEL_UP 100
#define IDC_LABEL_DOWN 101
#define IDC_HEAD_CTRL 102
#define IDC_HEAD_ALT 103
#define IDC_HEAD_SHIFT 104
#define IDC_HEAD_KEY 105
#define IDC_HEAD_TABLIST 118

// Up row (wheel turned up, chord 0).
#define IDC_UP_CTRL 106
#define IDC_UP_ALT 107
#define IDC_UP_SHIFT 108
#define IDC_UP_TABLIST 109
#define IDC_UP_KEY 114
// Down row (wheel turned down, chord 1).
#define IDC_DOWN_CTRL 110
#define IDC_DOWN_ALT 111
#define IDC_DOWN_SHIFT 112
#define IDC_DOWN_TABLIST 113
#define IDC_DOWN_KEY 115

#define IDC_CHORD_FRAME 116
#define IDC_APPLY 117
#define IDC_SWITCH_FRAME 121
#define IDC_MOVE_FOCUS 122
#define IDC_MOVE_NEXTFROM 123
#define IDC_TAB_CLOSE 124
