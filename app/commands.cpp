#include "app/commands.h"

namespace {

constexpr MenuItem FILE_ITEMS[] = {
    {"Load", ID_FILE_LOAD, false, false},
    {"Save", ID_FILE_SAVE, false, false},
    {"Save As...", ID_FILE_SAVEAS, true, false},
    {"Export UV Layout...", ID_FILE_EXPORTUV, true, false},
    {"E&xit", IDM_EXIT, false, false},
};
constexpr MenuItem EDIT_ITEMS[] = {
    {"Undo\tZ", ID_EDIT_UNDO, false, false},
    {"Redo\tX", ID_EDIT_REDO, true, false},
    {"Deselect All\tQ", ID_EDIT_DESELECTALL, false, false},
    {"Reset Cameras\tA", ID_EDIT_RESETCAMERAS, false, false},
    {"Centre Around Selected Edges\tN", ID_EDIT_CENTRE, false, false},
};
constexpr MenuItem EDGE_ITEMS[] = {
    {"Select\tE", ID_EDGE_SELECT, true, false},
    {"Cut Selected\tC", ID_EDGE_CUT, false, false},
    {"Weld Selected\tW", ID_EDGE_WELD, false, false},
    {"Auto Seams\tK", ID_EDGE_AUTOSEAMS, false, false},
};
constexpr MenuItem UV_ITEMS[] = {
    {"Select\tU", ID_UV_SELECT, false, false},        {"Move\tR", ID_UV_MOVE, false, false},
    {"Relax\tS", ID_UV_RELAX, true, false},           {"Pin Selected\tP", ID_UV_PIN, false, false},
    {"Un-pin Selected\tO", ID_UV_UNPIN, true, false}, {"Min U\tKeypad 4", ID_UV_MINU, false, false},
    {"Min V\tKeypad 8", ID_UV_MINV, false, false},    {"Max U\tKeypad 6", ID_UV_MAXU, false, false},
    {"Max V\tKeypad 2", ID_UV_MAXV, false, false},
};
constexpr MenuItem SWITCH_ITEMS[] = {
    {"LSCM", ID_SWITCH_LSCM, false, true},
    {"Fill Holes", ID_SWITCH_FILLHOLES, false, true},
    {"Tight Packing", ID_SWITCH_TIGHTPACK, false, true},
    {"Fix Flips", ID_SWITCH_FIXFLIPS, true, true},
    {"Wireframe", ID_SWITCH_WIREFRAME, false, true},
    {"Don't select back faces", ID_SWITCH_NOBACKFACES, false, true},
    {"Single Select", ID_SWITCH_SINGLESELECT, false, true},
};
constexpr MenuItem TEXTURE_ITEMS[] = {
    {"Checker", ID_TEXTURE_CHECKER, false, true},
    {"Colours/Numbers", ID_TEXTURE_COLOURNUMBERS, false, true},
    {"Show Stretch", ID_TEXTURE_STRETCH, false, true},
};
constexpr MenuItem HELP_ITEMS[] = {
    {"&About ...", IDM_ABOUT, false, false},
};

template <typename T, int N> constexpr int count_of(const T (&)[N]) {
    return N;
}

constexpr Menu MENUS[] = {
    {"File", FILE_ITEMS, count_of(FILE_ITEMS)},
    {"Edit", EDIT_ITEMS, count_of(EDIT_ITEMS)},
    {"Edge Mode", EDGE_ITEMS, count_of(EDGE_ITEMS)},
    {"UV Mode", UV_ITEMS, count_of(UV_ITEMS)},
    {"Switches", SWITCH_ITEMS, count_of(SWITCH_ITEMS)},
    {"Textures", TEXTURE_ITEMS, count_of(TEXTURE_ITEMS)},
    {"Help", HELP_ITEMS, count_of(HELP_ITEMS)},
};

constexpr ToolbarEntry TOOLBAR[] = {
    {0, ID_EDIT_UNDO, "Undo"},
    {1, ID_EDIT_REDO, "Redo"},
    {-1, 0, nullptr},
    {2, ID_EDGE_SELECT, "Edge Select"},
    {3, ID_EDGE_CUT, "Cut Edges"},
    {4, ID_EDGE_WELD, "Weld Edges"},
    {-1, 0, nullptr},
    {5, ID_UV_SELECT, "UV Select"},
    {6, ID_UV_MOVE, "UV Move"},
    {7, ID_UV_PIN, "Pin UVs"},
    {8, ID_UV_UNPIN, "Unpin UVs"},
    {9, ID_UV_RELAX, "Relax UVs"},
    {-1, 0, nullptr},
    {10, ID_UV_MINU, "Align to Minimum U"},
    {11, ID_UV_MINV, "Align to Minimum V"},
    {12, ID_UV_MAXU, "Align to Maximum U"},
    {13, ID_UV_MAXV, "Align to Maximum V"},
};

struct CommandKey {
    int id;
    int key;
};

constexpr CommandKey COMMAND_KEYS[] = {
    {ID_EDIT_UNDO, 'Z'},         {ID_EDIT_REDO, 'X'},      {ID_EDIT_DESELECTALL, 'Q'},
    {ID_EDIT_RESETCAMERAS, 'A'}, {ID_EDIT_CENTRE, 'N'},    {ID_EDGE_SELECT, 'E'},
    {ID_EDGE_CUT, 'C'},          {ID_EDGE_WELD, 'W'},      {ID_UV_SELECT, 'U'},
    {ID_UV_MOVE, 'R'},           {ID_UV_RELAX, 'S'},       {ID_UV_PIN, 'P'},
    {ID_UV_UNPIN, 'O'},          {ID_UV_MINU, VK_NUMPAD4}, {ID_UV_MINV, VK_NUMPAD8},
    {ID_UV_MAXU, VK_NUMPAD6},    {ID_UV_MAXV, VK_NUMPAD2}, {ID_TOPOLOGICAL, 'T'},
    {ID_EDGE_AUTOSEAMS, 'K'},
};

} // namespace

const Menu* menu_bar(int* count) {
    *count = count_of(MENUS);
    return MENUS;
}

const ToolbarEntry* toolbar_entries(int* count) {
    *count = count_of(TOOLBAR);
    return TOOLBAR;
}

const char* toolbar_tooltip(int id) {
    for (const ToolbarEntry& e : TOOLBAR)
        if (e.image >= 0 && e.id == id)
            return e.tooltip;
    return nullptr;
}

int command_key(int id) {
    for (const CommandKey& c : COMMAND_KEYS)
        if (c.id == id)
            return c.key;
    return 0;
}
