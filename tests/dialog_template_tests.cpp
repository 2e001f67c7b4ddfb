// Dialog templates: the four dialogs linked into the program are read back from the executable's
// resources and decoded byte by byte (classic DLGTEMPLATE layout), then compared with the layout
// the dialog procedures and the manual's pictures rely on: caption, font, frame style and size of
// each dialog, and for every control in template order its id, class, kind, text and rectangle.
// A moved id or a control that turned into another kind breaks a dialog procedure silently, so
// each field is checked and a mismatch names the dialog, the control and the field.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

// What a control must be: its class atom, the style bits of its type field, and other style
// bits it must have or must not have.
enum Kind
{
    DEFPUSH, PUSH, GROUP, CHECK, RADIO,                   // button class
    TEXT, RIGHT, CENTRE, ICON, ETCHED,                    // static class
    COMBO, EDIT, EDIT_TAB, EDIT_NOTAB, HSCROLL,
};

struct KindRule
{
    const char* name;
    WORD atom;       // 0x80 button, 0x81 edit, 0x82 static, 0x84 scroll bar, 0x85 combo box
    DWORD typeMask;  // the type field of the style
    DWORD type;      // its value
    DWORD required;  // further bits that must be set
    DWORD forbidden; // bits that must be clear
};

static const KindRule KINDS[] = {
    {"default push button", 0x80, BS_TYPEMASK, BS_DEFPUSHBUTTON, 0, 0},
    {"push button", 0x80, BS_TYPEMASK, BS_PUSHBUTTON, 0, 0},
    {"group box", 0x80, BS_TYPEMASK, BS_GROUPBOX, 0, 0},
    // The procedures keep the check marks themselves: automatic kinds would toggle twice.
    {"check box", 0x80, BS_TYPEMASK, BS_CHECKBOX, 0, 0},
    {"radio button", 0x80, BS_TYPEMASK, BS_RADIOBUTTON, 0, 0},
    {"static text", 0x82, SS_TYPEMASK, SS_LEFT, 0, 0},
    {"right-aligned static", 0x82, SS_TYPEMASK, SS_RIGHT, 0, 0},
    {"centred static", 0x82, SS_TYPEMASK, SS_CENTER, 0, 0},
    {"icon", 0x82, SS_TYPEMASK, SS_ICON, 0, 0},
    {"etched frame", 0x82, SS_TYPEMASK, SS_ETCHEDFRAME, 0, 0},
    {"drop-down list", 0x85, 0x3, CBS_DROPDOWNLIST, WS_VSCROLL, 0},
    {"edit box", 0x81, 0, 0, WS_BORDER, 0},
    {"edit box, tab stop", 0x81, 0, 0, WS_BORDER | WS_TABSTOP, 0},
    {"edit box, no tab stop", 0x81, 0, 0, WS_BORDER, WS_TABSTOP},
    {"horizontal scroll bar", 0x84, SBS_VERT, SBS_HORZ, 0, 0},
};

static const WORD NO_ID = 0xFFFF;
static const char* const NOTICE = nullptr; // wording free, but the line must not be empty

struct ControlCase
{
    WORD id;
    Kind kind;
    const char* text;
    short x, y, cx, cy;
};

static const ControlCase PROGRAM_OPTIONS[] = {
    {1, DEFPUSH, "Ok", 150, 8, 50, 15},
    {2, PUSH, "Cancel", 150, 26, 50, 15},
    {12, GROUP, "Communications", 9, 6, 131, 36},
    {14, RIGHT, "Baud rate:", 22, 22, 35, 8},
    {13, COMBO, "", 64, 20, 58, 60},
    {110, GROUP, "Pan/Tilt Speed", 9, 45, 131, 63},
    {127, CHECK, "Accelerated Speed Mode", 19, 59, 99, 12},
    {115, HSCROLL, "", 18, 78, 76, 12},
    {112, EDIT, "", 103, 78, 29, 12},
    {NO_ID, CENTRE, "slow", 18, 93, 17, 8},
    {NO_ID, CENTRE, "fast", 80, 93, 15, 8},
    {NO_ID, CENTRE, "deg/sec", 102, 93, 31, 9},
    {111, GROUP, "Zoom Speed", 9, 111, 131, 45},
    {116, HSCROLL, "", 18, 125, 76, 12},
    {NO_ID, CENTRE, "slow", 18, 141, 17, 8},
    {NO_ID, CENTRE, "fast", 80, 141, 15, 8},
    {NO_ID, GROUP, "Options", 9, 160, 131, 60},
    {125, CHECK, "Large window display", 19, 173, 99, 12},
    {126, CHECK, "Window always on top", 19, 188, 98, 12},
    {124, CHECK, "Enable IR remote control", 19, 202, 94, 12},
};

static const ControlCase PRESET_CYCLE[] = {
    {102, PUSH, "Start", 13, 12, 44, 14},
    {103, PUSH, "Stop", 62, 12, 44, 14},
    {100, EDIT_TAB, "", 111, 12, 44, 14},
    {NO_ID, TEXT, "Set Cycles", 112, 31, 46, 8},
    {101, EDIT_NOTAB, "", 161, 12, 48, 14},
    {NO_ID, TEXT, "Accumulated Cycles", 164, 31, 72, 8},
    {104, PUSH, "Reset", 215, 12, 44, 14},
    {20, RADIO, "2", 30, 51, 23, 10},
    {21, RADIO, "5", 57, 51, 21, 10},
    {22, RADIO, "10", 84, 51, 24, 10},
    {23, RADIO, "15", 111, 51, 24, 10},
    {24, RADIO, "20", 138, 51, 24, 10},
    {25, RADIO, "25", 165, 51, 24, 10},
    {26, RADIO, "30", 192, 51, 24, 10},
    {NO_ID, TEXT, "seconds", 218, 51, 32, 10},
    {1, PUSH, "Exit", 215, 71, 44, 14},
};

static const ControlCase IMAGE_CONTROL[] = {
    {1, DEFPUSH, "OK", 169, 9, 50, 14},
    {2, PUSH, "Cancel", 169, 29, 50, 14},
    {112, GROUP, "Exposure Settings", 8, 6, 125, 165},
    {22, RADIO, "Auto", 32, 23, 38, 12},
    {23, RADIO, "Manual", 76, 23, 38, 12},
    {NO_ID, GROUP, "AGC", 15, 39, 112, 39},
    {115, HSCROLL, "", 24, 51, 94, 12},
    {NO_ID, CENTRE, "low", 21, 66, 17, 8},
    {NO_ID, CENTRE, "high", 105, 67, 15, 8},
    {NO_ID, GROUP, "Shutter Speed", 15, 81, 112, 40},
    {116, HSCROLL, "", 24, 93, 94, 12},
    {NO_ID, CENTRE, "1/60", 24, 108, 17, 8},
    {NO_ID, CENTRE, "1/10,000", 88, 109, 33, 8},
    {NO_ID, GROUP, "Iris", 15, 123, 112, 39},
    {117, HSCROLL, "", 24, 134, 94, 12},
    {NO_ID, CENTRE, "close", 24, 150, 17, 8},
    {NO_ID, CENTRE, "open", 101, 150, 18, 8},
    {111, GROUP, "White Balance", 140, 105, 113, 66},
    {20, RADIO, "Auto", 156, 122, 38, 12},
    {21, RADIO, "Manual", 200, 122, 38, 12},
    {118, HSCROLL, "", 149, 142, 94, 12},
    {NO_ID, CENTRE, "red", 145, 158, 17, 8},
    {NO_ID, CENTRE, "blue", 229, 158, 15, 8},
};

static const ControlCase ABOUT[] = {
    {2, ICON, "HLRICON", 8, 8, 18, 20},
    {4, CENTRE, "HL-R8 Camera For Windows", 43, 14, 101, 9},
    {102, ETCHED, "", 34, 27, 114, 59},
    {12, RIGHT, "Software Version:", 42, 34, 75, 9},
    {3, TEXT, "0.00", 122, 34, 23, 9},
    {10, RIGHT, "CCU Version:", 42, 46, 75, 9},
    {7, TEXT, "0.00", 122, 46, 22, 9},
    {9, RIGHT, "Camera Head Version:", 42, 58, 75, 9},
    {6, TEXT, "0.00", 122, 58, 23, 9},
    {11, RIGHT, "Pan Tilter Version:", 42, 70, 75, 9},
    {8, TEXT, "0.00", 122, 70, 22, 9},
    {5, CENTRE, NOTICE, 11, 95, 161, 9},
    {105, CENTRE, NOTICE, 16, 105, 152, 9},
    {1, DEFPUSH, "Ok", 62, 121, 61, 14},
};

struct DialogCase
{
    const char* resource;
    const char* caption;
    short cx, cy;
    const ControlCase* controls;
    size_t count;
};

static const DialogCase DIALOGS[] = {
    {"PROGRAMOPTIONS", "Program Options", 207, 229, PROGRAM_OPTIONS, ARRAYSIZE(PROGRAM_OPTIONS)},
    {"PRESETDLG", "Preset Cycle Mode", 273, 93, PRESET_CYCLE, ARRAYSIZE(PRESET_CYCLE)},
    {"IMAGECONTROL", "Image Control", 259, 178, IMAGE_CONTROL, ARRAYSIZE(IMAGE_CONTROL)},
    {"ABOUTDLG", "Norvo HL-R8", 182, 143, ABOUT, ARRAYSIZE(ABOUT)},
};

// A bounds-checked reader over the template bytes; running past the end clears ok.
struct Reader
{
    const BYTE* base;
    size_t size, pos;
    bool ok;
};

static WORD ReadWord(Reader& r)
{
    if (r.pos + 2 > r.size) { r.ok = false; return 0; }
    WORD w = (WORD)(r.base[r.pos] | r.base[r.pos + 1] << 8);
    r.pos += 2;
    return w;
}

static DWORD ReadDword(Reader& r)
{
    DWORD low = ReadWord(r);
    return low | (DWORD)ReadWord(r) << 16;
}

// A name field: 0x0000 (none, read as ""), 0xFFFF and an ordinal (read as "#n"), or a
// zero-terminated UTF-16 string. Every text the dialogs use is ASCII.
static std::string ReadName(Reader& r)
{
    WORD first = ReadWord(r);
    if (first == 0xFFFF) return "#" + std::to_string(ReadWord(r));
    std::string text;
    for (WORD c = first; c != 0 && r.ok; c = ReadWord(r)) text += c < 0x80 ? (char)c : '?';
    return text;
}

// The predefined classes by atom; a template may also spell them out by name.
static WORD ClassAtom(const std::string& name)
{
    static const char* const NAMES[] = {"button", "edit", "static", "listbox", "scrollbar", "combobox"};
    if (name.size() > 1 && name[0] == '#') return (WORD)std::stoi(name.substr(1));
    for (WORD i = 0; i < ARRAYSIZE(NAMES); ++i)
        if (lstrcmpiA(name.c_str(), NAMES[i]) == 0) return (WORD)(0x80 + i);
    return 0;
}

struct Item
{
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::string className, text;
};

struct Template
{
    DWORD style;
    WORD count;
    short cx, cy;
    std::string menu, windowClass, caption, fontName;
    WORD pointSize;
    std::vector<Item> items;
    bool ok;
};

static Template ParseTemplate(const BYTE* bytes, size_t size)
{
    Template t = {};
    Reader r = {bytes, size, 0, true};
    t.style = ReadDword(r);
    if ((t.style & 0xFFFF0000) == 0xFFFF0000) return t; // DLGTEMPLATEEX, not the classic layout
    ReadDword(r); // extended style
    t.count = ReadWord(r);
    ReadWord(r), ReadWord(r); // x, y: the dialog is centred when it opens
    t.cx = (short)ReadWord(r);
    t.cy = (short)ReadWord(r);
    t.menu = ReadName(r);
    t.windowClass = ReadName(r);
    t.caption = ReadName(r);
    if (t.style & DS_SETFONT)
    {
        t.pointSize = ReadWord(r);
        t.fontName = ReadName(r);
    }
    for (WORD i = 0; i < t.count && r.ok; ++i)
    {
        r.pos = (r.pos + 3) & ~(size_t)3;
        Item item;
        item.style = ReadDword(r);
        ReadDword(r); // extended style
        item.x = (short)ReadWord(r);
        item.y = (short)ReadWord(r);
        item.cx = (short)ReadWord(r);
        item.cy = (short)ReadWord(r);
        item.id = ReadWord(r);
        item.className = ReadName(r);
        item.text = ReadName(r);
        r.pos += ReadWord(r); // creation data follows its size word
        if (r.pos > r.size) r.ok = false;
        t.items.push_back(item);
    }
    t.ok = r.ok;
    return t;
}

TEST(DialogTemplates, EveryDialogMatchesItsLayout)
{
    const DWORD frame = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    for (const DialogCase& d : DIALOGS)
    {
        SCOPED_TRACE(std::string("dialog ") + d.resource);
        HRSRC found = FindResourceA(NULL, d.resource, (LPCSTR)RT_DIALOG);
        ASSERT_TRUE(found != NULL) << "template not linked in";
        const BYTE* bytes = (const BYTE*)LockResource(LoadResource(NULL, found));
        ASSERT_TRUE(bytes != NULL);
        Template t = ParseTemplate(bytes, SizeofResource(NULL, found));
        ASSERT_TRUE(t.ok) << "not a classic dialog template, or truncated";

        EXPECT_TRUE((t.style & frame) == frame)
            << "dialog style 0x" << std::hex << t.style << " lacks 0x" << (frame & ~t.style);
        EXPECT_EQ("", t.menu) << "dialog menu";
        EXPECT_EQ("", t.windowClass) << "dialog window class";
        EXPECT_EQ(d.caption, t.caption) << "dialog caption";
        EXPECT_EQ("MS Sans Serif", t.fontName) << "dialog font";
        EXPECT_EQ(8, t.pointSize) << "dialog font size";
        EXPECT_EQ(d.cx, t.cx) << "dialog width";
        EXPECT_EQ(d.cy, t.cy) << "dialog height";
        EXPECT_EQ(d.count, t.items.size()) << "control count";

        for (size_t i = 0; i < d.count && i < t.items.size(); ++i)
        {
            const ControlCase& want = d.controls[i];
            const KindRule& kind = KINDS[want.kind];
            const Item& got = t.items[i];
            const std::string where = "control " + std::to_string(i) + " (id " +
                std::to_string(want.id) + ", " + kind.name + "): ";
            const DWORD required = WS_CHILD | WS_VISIBLE | kind.required;

            EXPECT_EQ(want.id, got.id) << where << "id";
            EXPECT_EQ(kind.atom, ClassAtom(got.className)) << where << "class " << got.className;
            EXPECT_EQ(kind.type, got.style & kind.typeMask) << where << "type in style 0x" << std::hex << got.style;
            EXPECT_TRUE((got.style & required) == required)
                << where << "style 0x" << std::hex << got.style << " lacks 0x" << (required & ~got.style);
            EXPECT_TRUE((got.style & kind.forbidden) == 0)
                << where << "style 0x" << std::hex << got.style << " has unwanted 0x" << (got.style & kind.forbidden);
            if (want.text) EXPECT_EQ(want.text, got.text) << where << "text";
            else EXPECT_NE("", got.text) << where << "text";
            EXPECT_EQ(want.x, got.x) << where << "x";
            EXPECT_EQ(want.y, got.y) << where << "y";
            EXPECT_EQ(want.cx, got.cx) << where << "width";
            EXPECT_EQ(want.cy, got.cy) << where << "height";
        }
    }
}
