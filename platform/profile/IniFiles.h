#pragma once

// The INI files the program reads and the sections it reads from them, named once. Each file is
// opened relative to the current directory at every read, so an edit shows at the next read.
// Keys are named where they are read: the settings keys by ProfileSettings, the text keys (captions,
// messages, channel names) by the page or operation that shows the text.

// Settings: the server (SYSCONFIG), the database login (RTU_DB) and the RTU list's columns (RTU).
inline constexpr const char* kDataIniPath = "./data_rtu.ini";
// Window texts: titles, menus, buttons, the pages' captions.
inline constexpr const char* kUiIniPath = "./rtu_ui.ini";
// Message-box texts by section ERRORS, SUCCESS and QUESTION.
inline constexpr const char* kMessagesIniPath = "./Messages.ini";
// Channel and register names shown on the state and Modbus pages and in the history (DEVNAMES).
inline constexpr const char* kNamesIniPath = "./name_rtu.ini";

// Sections of data_rtu.ini.
inline constexpr const char* kServerSection = "SYSCONFIG";
inline constexpr const char* kDatabaseLoginSection = "RTU_DB";
inline constexpr const char* kRtuColumnsSection = "RTU";

// Sections of rtu_ui.ini.
inline constexpr const char* kTitlesSection = "Titles";
inline constexpr const char* kMenuSection = "Menu";
inline constexpr const char* kButtonsSection = "BUTTONS";
inline constexpr const char* kRtuListTextSection = "Page0Text";
inline constexpr const char* kRtuStateTextSection = "Page2Text";
inline constexpr const char* kModbusTextSection = "Page3Text";

// Sections of Messages.ini.
inline constexpr const char* kErrorsSection = "ERRORS";
inline constexpr const char* kSuccessSection = "SUCCESS";
inline constexpr const char* kQuestionSection = "QUESTION";

// The one section of name_rtu.ini.
inline constexpr const char* kDeviceNamesSection = "DEVNAMES";
