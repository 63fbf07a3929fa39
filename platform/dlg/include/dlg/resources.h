// Dialog templates, strings and icons as data. A program hands its resource
// table to the framework once; dialogs then find their template by id.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Window classes of template items.
enum EDlgClass {
    DLG_CLASS_BUTTON,
    DLG_CLASS_EDIT,
    DLG_CLASS_STATIC,
    DLG_CLASS_LISTBOX,
    DLG_CLASS_COMBOBOX,
};

// Window styles.
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_VISIBLE = 0x10000000u;
constexpr uint32_t WS_DISABLED = 0x08000000u;
constexpr uint32_t WS_CAPTION = 0x00C00000u;
constexpr uint32_t WS_BORDER = 0x00800000u;
constexpr uint32_t WS_VSCROLL = 0x00200000u;
constexpr uint32_t WS_SYSMENU = 0x00080000u;
constexpr uint32_t WS_GROUP = 0x00020000u;
constexpr uint32_t WS_TABSTOP = 0x00010000u;
constexpr uint32_t DS_MODALFRAME = 0x00000080u;
constexpr uint32_t DS_SETFONT = 0x00000040u;

// Button styles (the low four bits are the kind).
constexpr uint32_t BS_PUSHBUTTON = 0x0;
constexpr uint32_t BS_DEFPUSHBUTTON = 0x1;
constexpr uint32_t BS_AUTOCHECKBOX = 0x3;
constexpr uint32_t BS_GROUPBOX = 0x7;
constexpr uint32_t BS_AUTORADIOBUTTON = 0x9;
constexpr uint32_t BS_TYPEMASK = 0xF;

// Edit styles.
constexpr uint32_t ES_MULTILINE = 0x0004u;
constexpr uint32_t ES_AUTOHSCROLL = 0x0080u;
constexpr uint32_t ES_READONLY = 0x0800u;
constexpr uint32_t ES_NUMBER = 0x2000u;

// List box styles.
constexpr uint32_t LBS_NOTIFY = 0x0001u;
constexpr uint32_t LBS_SORT = 0x0002u;
constexpr uint32_t LBS_NOINTEGRALHEIGHT = 0x0100u;

// Combo box styles.
constexpr uint32_t CBS_DROPDOWN = 0x0002u;
constexpr uint32_t CBS_SORT = 0x0100u;

// Static styles.
constexpr uint32_t SS_LEFT = 0x0000u;

// Control id of template items that have none.
constexpr int IDC_STATIC = -1;

// A rectangle in dialog units: position and size.
struct CDlgRect {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

struct CDlgItemTemplate {
    int id;
    EDlgClass cls;
    const char* text;
    CDlgRect rect;
    uint32_t style;
};

struct CDlgTemplate {
    int id;
    const char* caption;
    int cx;  // client size in dialog units
    int cy;
    uint32_t style;
    const char* font;
    int pointSize;
    std::span<const CDlgItemTemplate> items;
};

struct CDlgString {
    int id;
    const char* text;
};

// An icon. A terminal shows no pictures, so an icon is only a name.
struct CDlgIcon {
    int id;
    const char* name;
};

struct CDlgResources {
    std::span<const CDlgTemplate> templates;
    std::span<const CDlgString> strings;
    std::span<const CDlgIcon> icons;
};

using HICON = const CDlgIcon*;

// Installs the program's resources (the table must outlive its use).
void DlgSetResources(const CDlgResources* resources);
// The template with that id, or null.
const CDlgTemplate* DlgFindTemplate(int id);
// The string with that id; empty when there is none.
std::string DlgLoadString(int id);
// The icon with that id, or null.
HICON DlgLoadIcon(int id);
