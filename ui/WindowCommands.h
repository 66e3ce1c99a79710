#pragma once

// Command ids of the window's command messages; cross-page actions post them instead of calling
// across pages.
inline constexpr int CMD_ABOUT = 16;
inline constexpr int CMD_OPEN_DATABASE = 4097;
inline constexpr int CMD_VIEW_PAGE0 = 24577;
inline constexpr int CMD_VIEW_PAGE1 = 24578;
inline constexpr int CMD_VIEW_PAGE2 = 24579;
inline constexpr int CMD_RELOAD_RTU_LIST = 1032;
inline constexpr int CMD_EDIT_SELECTED_RTU = 1033;
inline constexpr int CMD_SHOW_SELECTED_RTU = 8193;

// Control ids of the main window.
inline constexpr int IDC_STATUS_LINE = 1003;
inline constexpr int IDC_TAB = 1004;
inline constexpr int IDC_LOOK_BUTTON = 1005;
// Controls other windows reach through the tab control.
inline constexpr int IDC_RAW_DATA_LIST = 1002;
inline constexpr int IDC_REGISTER_LIST = 1029;
