#pragma once

// The menu, toolbar and accelerator resources of the main window, as plain data: command ids,
// item texts, separators and the key that a command stands for. The window builds its menus
// and toolbar from these tables; the dispatcher runs commands by id.

// The input event codes (EVT_*) and view modes (MODE_*) are shared with the views.
#include "views/view_types.h"

// Virtual key numbers as the window reports them.
constexpr int VK_SHIFT = 16;
constexpr int VK_CONTROL = 17;
constexpr int VK_LEFT = 37;
constexpr int VK_RIGHT = 39;
constexpr int VK_NUMPAD2 = 98;
constexpr int VK_NUMPAD4 = 100;
constexpr int VK_NUMPAD6 = 102;
constexpr int VK_NUMPAD8 = 104;

// Command ids of the menu, toolbar and accelerators.
constexpr int IDM_EXIT = 105;
constexpr int IDM_ABOUT = 104;
constexpr int ID_FILE_LOAD = 32771;
constexpr int ID_FILE_SAVE = 32783;
constexpr int ID_FILE_SAVEAS = 32782;
constexpr int ID_EDIT_UNDO = 32784;
constexpr int ID_EDIT_REDO = 32785;
constexpr int ID_EDIT_DESELECTALL = 32797;
constexpr int ID_EDIT_RESETCAMERAS = 32798;
constexpr int ID_EDIT_CENTRE = 32806;
constexpr int ID_EDGE_SELECT = 32786;
constexpr int ID_EDGE_CUT = 32808;
constexpr int ID_EDGE_WELD = 32809;
constexpr int ID_UV_SELECT = 32789;
constexpr int ID_UV_MOVE = 32790;
constexpr int ID_UV_RELAX = 32791;
constexpr int ID_UV_PIN = 32796;
constexpr int ID_UV_UNPIN = 32795;
constexpr int ID_UV_MINU = 32811;
constexpr int ID_UV_MINV = 32812;
constexpr int ID_UV_MAXU = 32813;
constexpr int ID_UV_MAXV = 32814;
constexpr int ID_SWITCH_LSCM = 32774;
constexpr int ID_SWITCH_FILLHOLES = 32776;
constexpr int ID_SWITCH_WIREFRAME = 32778;
constexpr int ID_SWITCH_NOBACKFACES = 32780;
constexpr int ID_SWITCH_SINGLESELECT = 32781;
constexpr int ID_TEXTURE_CHECKER = 32800;
constexpr int ID_TEXTURE_COLOURNUMBERS = 32804;
constexpr int ID_TEXTURE_STRETCH = 32805;
constexpr int ID_TOPOLOGICAL = 32794; // no menu item: key T
// Commands of our own, after the last id of the original resources.
constexpr int ID_SWITCH_TIGHTPACK = 32815;
constexpr int ID_FILE_EXPORTUV = 32816;
constexpr int ID_SWITCH_FIXFLIPS = 32817;
constexpr int ID_EDGE_AUTOSEAMS = 32818;

// Resource strings 103 and 109.
constexpr const char* APP_TITLE = "Marrowby 1.1";
constexpr const char* APP_CLASS_NAME = "MARROWBY1_1";
constexpr const char* ABOUT_CAPTION = "About Marrowby 1.1";
constexpr const char* LOAD_FAILED_CAPTION = "Dialog";
constexpr const char* LOAD_FAILED_TEXT =
    "  OBJ file is missing either UV Coordinates or\n\t  Vertex Normal information.\n"
    "            Please re-export and try again.";
// Open and save dialogs: filter pairs and default extension.
constexpr const char* OBJ_FILTER_NAME = "OBJ Files (*.obj)";
constexpr const char* OBJ_FILTER_PATTERN = "*.obj";
constexpr const char* ALL_FILTER_NAME = "All Files (*.*)";
constexpr const char* OBJ_DEFAULT_EXTENSION = "obj";
// Export UV Layout dialog: the picture formats.
constexpr const char* SVG_FILTER_NAME = "SVG Pictures (*.svg)";
constexpr const char* PNG_FILTER_NAME = "PNG Pictures (*.png)";

struct MenuItem {
    const char* text; // with the key after a tab, as shown in the menu
    int id;
    bool separatorAfter;
    bool checkable;
};

struct Menu {
    const char* title;
    const MenuItem* items;
    int count;
};

// Menu 109, in order.
const Menu* menu_bar(int* count);

struct ToolbarEntry {
    int image; // index into the 16 x 16 strip; -1 for a separator
    int id;
    const char* tooltip;
};

// The 17 toolbar entries of bitmap 136, separators included.
const ToolbarEntry* toolbar_entries(int* count);
// The toolbar tooltip for a command id, or null.
const char* toolbar_tooltip(int id);

// The key a menu or toolbar command stands for (the command goes through the key table), or 0.
int command_key(int id);
