#pragma once

// The numbers of the program's resources, named once: the command ids, the control ids of the main
// window and of each page, and the icon numbers (":/icons/<number>.svg").
//
// Control ids are the dialog templates' own, and each template numbers its controls by itself: the
// same number can name different controls on different pages (1032 is the reload command, a counter
// of the state page and the form's Ok button). A button whose id is also a command (CMD_) is reached
// through OnCommand as well, from a menu or a posted command; a button named IDC_ only calls its
// page's method.

// Commands: posted between pages, sent by the view and context menus, or both.
inline constexpr int CMD_ABOUT = 16;
inline constexpr int CMD_OPEN_DATABASE = 4097;
inline constexpr int CMD_VIEW_PAGE0 = 24577;
inline constexpr int CMD_VIEW_PAGE1 = 24578;
inline constexpr int CMD_VIEW_PAGE2 = 24579;
inline constexpr int CMD_ADD_RTU = 1031;
inline constexpr int CMD_RELOAD_RTU_LIST = 1032;
inline constexpr int CMD_EDIT_SELECTED_RTU = 1033;
inline constexpr int CMD_VIEW_RTU = 1034;
inline constexpr int CMD_SHOW_SELECTED_RTU = 8193;
inline constexpr int CMD_DELETE_HISTORY = 1042;
inline constexpr int CMD_EXPORT_HISTORY = 1058;
inline constexpr int CMD_LOAD_REGISTER_HISTORY = 1067;

// The main window.
inline constexpr int IDC_STATUS_LINE = 1003;
inline constexpr int IDC_TAB = 1004;
inline constexpr int IDC_LOOK_BUTTON = 1005;

// Page 0, the RTU list (its buttons are the commands above) and the RTU form it holds.
inline constexpr int IDC_RTU_LIST = 1030;
inline constexpr int IDC_RTU_LIST_EXPAND = 1035;
inline constexpr int IDC_FORM_HEADING = 1034;
inline constexpr int IDC_FORM_CONFIRM = 1032;
inline constexpr int IDC_FORM_CANCEL = 1033;
inline constexpr int IDC_FORM_DELETE = 1035;
// Row k of the form: its field and its label.
inline constexpr int IDC_FORM_FIRST_FIELD = 1001;
inline constexpr int IDC_FORM_FIRST_LABEL = 2001;

// Page 1, the raw data.
inline constexpr int IDC_RAW_DATA_LIST = 1002;
inline constexpr int IDC_RAW_DATA_RESET = 1066;

// Page 2, the RTU state: header, lamps and value buttons (each a channel whose history a click loads).
inline constexpr int IDC_STATE_BACK = 1023;
inline constexpr int IDC_STATE_STATUS = 1062;
inline constexpr int IDC_STATE_HEADER_ID = 1069;
inline constexpr int IDC_STATE_HEADER_NAME = 1070;
inline constexpr int IDC_DIN_GROUP = 1035;
inline constexpr int IDC_DIN_FIRST = 1007;
inline constexpr int IDC_DOUT_GROUP = 1036;
inline constexpr int IDC_DOUT_FIRST = 1015;
inline constexpr int IDC_AIN_GROUP = 1037;
inline constexpr int IDC_AIN_FIRST = 1028;
inline constexpr int IDC_GRAY_GROUP = 1038;
inline constexpr int IDC_GRAY_BUTTON = 1033;
inline constexpr int IDC_COUNTER_GROUP = 1039;
inline constexpr int IDC_COUNTER_BUTTONS[] = {1032, 1034, 1045, 1061};
inline constexpr int IDC_ETEMP_GROUP = 1044;
inline constexpr int IDC_ETEMP_FIRST = 1048;
inline constexpr int IDC_GPS_BUTTON = 1043;
inline constexpr int IDC_RTU_INFO_GROUP = 1060;
inline constexpr int IDC_POWER_BUTTON = 1024;
inline constexpr int IDC_SIGNAL_BUTTON = 1025;
inline constexpr int IDC_ITEMP_BUTTON = 1027;
// Page 2, the history area and its filters (export and delete are the commands above).
inline constexpr int IDC_STATE_HISTORY_TITLE = 1041;
inline constexpr int IDC_STATE_HISTORY_LIST = 1040;
inline constexpr int IDC_STATE_CHART = 1046;
inline constexpr int IDC_QUERY_HISTORY = 1054;
inline constexpr int IDC_TIME_RANGE = 1047;
inline constexpr int IDC_FROM_DATE = 1052;
inline constexpr int IDC_TO_DATE = 1053;
inline constexpr int IDC_VALUE_LABEL = 1059;
inline constexpr int IDC_VALUE_COMPARE = 1055;
inline constexpr int IDC_VALUE_EDIT = 1056;
inline constexpr int IDC_COUNTER_SOURCE = 1064;
inline constexpr int IDC_POINT_SIZE = 1065;
inline constexpr int IDC_AUTOFIT = 1057;

// Page 3, the Modbus registers.
inline constexpr int IDC_REGISTER_LIST = 1029;
inline constexpr int IDC_REGISTER_HISTORY = 1040;
inline constexpr int IDC_REGISTER_TITLE = 1068;
inline constexpr int IDC_REGISTER_EXPORT = 1058;

// Icons and bitmaps.
inline constexpr int IDI_APPLICATION = 128;
inline constexpr int IDI_LAMP_OFF = 131;
inline constexpr int IDI_LAMP_ON = 132;
inline constexpr int IDI_POWER_OFF = 133;
inline constexpr int IDI_POWER_ON = 134;
inline constexpr int IDI_SIGNAL = 135;
inline constexpr int IDI_INTERNAL_TEMPERATURE = 136;
inline constexpr int IDI_ANALOGUE_INPUT = 137;
inline constexpr int IDI_RECORD = 139;
inline constexpr int IDI_ADD = 142;
inline constexpr int IDI_CONFIRM = 144;
inline constexpr int IDI_CANCEL = 145;
inline constexpr int IDI_RELOAD = 146;
inline constexpr int IDI_DELETE = 148;
inline constexpr int IDI_STATE_FLAG = 150;
inline constexpr int IDI_VIEW = 151;
inline constexpr int IDI_FILTER = 153;
inline constexpr int IDI_EXPORT = 154;
inline constexpr int IDB_MENU_RTU_LIST = 159;
inline constexpr int IDB_MENU_RAW_DATA = 161;
inline constexpr int IDB_MENU_RTU_STATE = 163;
inline constexpr int IDB_STATUS_SERVER = 167;
inline constexpr int IDI_GRAY_CODE = 168;
inline constexpr int IDI_POINT_SIZE = 171;
inline constexpr int IDI_EXTERNAL_TEMPERATURE = 172;
inline constexpr int IDI_COUNTER = 173;
inline constexpr int IDI_COLLAPSE = 174;
inline constexpr int IDI_EXPAND = 175;
inline constexpr int IDI_RTU_HEADING = 176;
inline constexpr int IDI_RTU_ROW = 177;
